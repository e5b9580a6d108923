#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <mutex>

class QJsonObject;

// The gateway's customer look-ups at the back-end: at most one per customer or card in
// flight, at most Capacity in all, and a card the back-end answered without a customer is
// not asked again before the retry time has passed. Taps ask on the validation thread,
// answers end on the main thread: any thread.
class CustomerRequests
{
public:
    enum Verdict { Send, InFlight, RecentlyUnknown, Full };

    // Below the network layer's six connections per host: the syncs keep one of their own.
    static constexpr int Capacity = 4;

    using Clock = std::function<qint64()>; // milliseconds on a clock that never jumps

    CustomerRequests();

    // The key of a look-up by customer id, by card, or of the request body that was sent.
    static QString key(int customerId);
    static QString key(const QString &cardId);
    static QString key(const QJsonObject &request);

    // Send: the look-up is counted in flight until end() is called with its key.
    Verdict begin(const QString &key);
    // `customers` found by the answer; negative when no answer came (the next tap asks again).
    void end(const QString &key, int customers);
    int inFlight() const;

    void setRetryMs(qint64 ms);
    void setClock(Clock clock);

private:
    void forgetExpired(qint64 now);

    mutable std::mutex mMutex;
    QSet<QString> mInFlight;
    QHash<QString, qint64> mUnknownUntil; // by key: the clock's time of the next look-up
    int mSweepAt = 64;
    qint64 mRetryMs = 5 * 60000;
    Clock mClock;
};
