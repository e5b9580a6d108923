#include "support/logcapture.h"

#include <QAtomicPointer>

#include <mutex>

namespace {
QAtomicPointer<LogCapture> gActive;
}

LogCapture::LogCapture()
{
    gActive.storeRelease(this);
    mPrevious = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(mPrevious);
    gActive.storeRelease(nullptr);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    LogCapture *self = gActive.loadAcquire();
    if (!self)
        return;
    std::lock_guard<std::mutex> lock(self->mMutex);
    self->mEntries.append({type, text});
}

QList<LogCapture::Entry> LogCapture::entries() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mEntries;
}

QStringList LogCapture::texts() const
{
    QStringList out;
    for (const auto &e : entries())
        out.append(e.text);
    return out;
}

bool LogCapture::contains(const QString &text) const
{
    return count(text) > 0;
}

bool LogCapture::containsPart(const QString &fragment) const
{
    for (const auto &e : entries()) {
        if (e.text.contains(fragment))
            return true;
    }
    return false;
}

int LogCapture::count(const QString &text) const
{
    int n = 0;
    for (const auto &e : entries())
        n += (e.text == text) ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mEntries.clear();
}
