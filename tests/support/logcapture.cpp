#include "support/logcapture.h"

#include <QAtomicPointer>

#include <algorithm>

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
    if (LogCapture *self = gActive.loadAcquire()) {
        std::lock_guard<std::mutex> lock(self->mMutex);
        self->mEntries.append({type, text});
    }
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

bool LogCapture::containsPart(const QString &fragment) const
{
    const QStringList all = texts();
    return std::any_of(all.cbegin(), all.cend(), [&](const QString &text) { return text.contains(fragment); });
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(mMutex);
    mEntries.clear();
}
