#include "support/logcapture.h"

#include <QAtomicPointer>

namespace {
QAtomicPointer<LogCapture> gActive;
}

LogCapture::LogCapture()
{
    gActive.storeRelease(this);
    mPrevious = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (LogCapture *self = gActive.loadAcquire()) {
            std::lock_guard<std::mutex> lock(self->mMutex);
            self->mEntries.append({type, text});
        }
    });
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(mPrevious);
    gActive.storeRelease(nullptr);
}

QStringList LogCapture::texts() const
{
    QStringList out;
    for (const auto &e : entries())
        out.append(e.text);
    return out;
}
