#include "db/customerrequests.h"

#include <QElapsedTimer>
#include <QJsonObject>

namespace {

qint64 monotonicMs()
{
    static const QElapsedTimer start = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return start.elapsed();
}

} // namespace

CustomerRequests::CustomerRequests() : mClock(monotonicMs) {}

QString CustomerRequests::key(int customerId)
{
    return QStringLiteral("id:%1").arg(customerId);
}

QString CustomerRequests::key(const QString &cardId)
{
    return QStringLiteral("card:") + cardId;
}

QString CustomerRequests::key(const QJsonObject &request)
{
    const QJsonValue id = request.value(QLatin1String("id"));
    return id.isDouble() ? key(id.toInt()) : key(request.value(QLatin1String("smartCardUuid")).toString());
}

CustomerRequests::Verdict CustomerRequests::begin(const QString &key)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (mInFlight.contains(key))
        return InFlight;
    const auto unknown = mUnknownUntil.constFind(key);
    if (unknown != mUnknownUntil.constEnd()) {
        if (mClock() < *unknown)
            return RecentlyUnknown;
        mUnknownUntil.erase(unknown);
    }
    if (mInFlight.size() >= Capacity)
        return Full;
    mInFlight.insert(key);
    return Send;
}

void CustomerRequests::end(const QString &key, int customers)
{
    std::lock_guard<std::mutex> lock(mMutex);
    if (!mInFlight.remove(key) || customers != 0)
        return;
    const qint64 now = mClock();
    // Cards tapped once are never asked again: their entries go once they have expired.
    if (mUnknownUntil.size() >= mSweepAt) {
        forgetExpired(now);
        mSweepAt = qMax(64, 2 * mUnknownUntil.size());
    }
    mUnknownUntil.insert(key, now + mRetryMs);
}

int CustomerRequests::inFlight() const
{
    std::lock_guard<std::mutex> lock(mMutex);
    return mInFlight.size();
}

void CustomerRequests::setRetryMs(qint64 ms)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mRetryMs = qMax<qint64>(0, ms);
}

void CustomerRequests::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(mMutex);
    mClock = clock ? std::move(clock) : Clock(monotonicMs);
}

void CustomerRequests::forgetExpired(qint64 now)
{
    for (auto it = mUnknownUntil.begin(); it != mUnknownUntil.end();) {
        if (it.value() <= now)
            it = mUnknownUntil.erase(it);
        else
            ++it;
    }
}
