#include "inspection/rfidinspector.h"

RfidInspector::RfidInspector(DBManager &db)
    : QObject(nullptr)
    , mDb(db)
    , mClock(&QDateTime::currentDateTimeUtc)
{
}

RfidInspector::~RfidInspector() = default;

QDateTime RfidInspector::standardiseTime(const QDateTime &time)
{
    // Integer division truncates toward zero, also before the epoch.
    const qint64 seconds = time.toMSecsSinceEpoch() / 1000;
    return seconds % 2 != 0 ? time.addSecs(-1) : time;
}

void RfidInspector::setClock(Clock clock)
{
    mClock = clock ? std::move(clock) : Clock(&QDateTime::currentDateTimeUtc);
}

QDateTime RfidInspector::currentTime() const
{
    return mClock().toUTC();
}

InspectorResult RfidInspector::freshResult()
{
    InspectorResult result;
    result.reset();
    return result;
}
