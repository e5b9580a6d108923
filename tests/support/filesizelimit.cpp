#include "support/filesizelimit.h"

#include <QtGlobal>

#include <csignal>

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    if (getrlimit(RLIMIT_FSIZE, &mPrevious) != 0)
        return;
    rlimit limited = mPrevious;
    limited.rlim_cur = mPrevious.rlim_max == RLIM_INFINITY ? bytes : qMin(bytes, mPrevious.rlim_max);
    mPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
    mActive = setrlimit(RLIMIT_FSIZE, &limited) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (mActive)
        setrlimit(RLIMIT_FSIZE, &mPrevious);
    std::signal(SIGXFSZ, mPreviousHandler ? mPreviousHandler : SIG_DFL);
}
