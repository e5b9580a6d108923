#include "app/stopsignals.h"

#include "app/zub.h"
#include "framework/logtag.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int StopSignalNumbers[] = {SIGTERM, SIGINT};

// Written by the handler, read on the main thread: [0] is written, [1] is read.
int gPipe[2] = {-1, -1};
volatile sig_atomic_t gStopping = 0;

// Only async-signal-safe calls in here.
extern "C" void onStopSignal(int number)
{
    if (gStopping) {
        // The clean-up hangs or takes too long for whoever sent the second signal.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    gStopping = 1;
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(gPipe[0], &byte, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gPipe) != 0) {
        ZUB::Log.critical(QStringLiteral("ERROR: No stop signal handling: ") + QString::fromUtf8(std::strerror(errno)));
        return;
    }
    ::fcntl(gPipe[0], F_SETFL, ::fcntl(gPipe[0], F_GETFL) | O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : StopSignalNumbers)
        ::sigaction(number, &action, nullptr);
}

StopSignals::~StopSignals()
{
    // Default handling first: a signal from here on must not write into closed descriptors.
    for (int number : StopSignalNumbers)
        std::signal(number, SIG_DFL);
    delete mNotifier;
    for (int &fd : gPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void StopSignals::watch()
{
    if (mNotifier || gPipe[1] < 0)
        return;
    mNotifier = new QSocketNotifier(gPipe[1], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &StopSignals::onReadable);
}

void StopSignals::onReadable()
{
    char number = 0;
    if (::read(gPipe[1], &number, 1) != 1)
        return;
    mNotifier->setEnabled(false); // the first signal is the one that counts
    ZUB::Log.info(QLatin1String(number == SIGINT ? "SIGINT" : "SIGTERM") + QStringLiteral(" received, stopping"));
    emit stopRequested(number);
}
