#pragma once

#include <QtGlobal>

#include <csignal>
#include <sys/resource.h>

// Makes this process's file writes beyond `bytes` fail, as a full disk would, while it lives
// (writes report an error instead of raising SIGXFSZ). Only the soft limit is lowered, so the
// previous limit comes back on destruction.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (getrlimit(RLIMIT_FSIZE, &mPrevious) != 0)
            return;
        rlimit limited = mPrevious;
        limited.rlim_cur = mPrevious.rlim_max == RLIM_INFINITY ? bytes : qMin(bytes, mPrevious.rlim_max);
        mPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
        mActive = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        if (mActive)
            setrlimit(RLIMIT_FSIZE, &mPrevious);
        std::signal(SIGXFSZ, mPreviousHandler ? mPreviousHandler : SIG_DFL);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    bool isActive() const { return mActive; }

private:
    rlimit mPrevious{};
    void (*mPreviousHandler)(int) = nullptr;
    bool mActive = false;
};
