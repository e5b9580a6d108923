#include "tarvik/routeprogress.h"

#include "tarvik/jsonread.h"

namespace tarvik {

RouteProgress::RouteProgress(int axisId, int stopId)
    : mAxisId(axisId)
    , mStopId(stopId)
{
}

RouteProgress::RouteProgress(const QJsonObject &json)
{
    const QString event = json::readString(json, QLatin1String("event"));
    if (event == QLatin1String("arrived"))
        mEventType = Arrived;
    else if (event == QLatin1String("leaving"))
        mEventType = Leaving;

    // The OBU sends null while it has no GPS fix; a missing key still counts as a fix.
    const QJsonValue progress = json.value(QLatin1String("progress%"));
    mHasGpsLock = !progress.isNull();
    mProgress = json::toInt(progress);

    mAxisId = json::readInt(json, QLatin1String("routeId"));
    mStopId = json::readInt(json, QLatin1String("stopId"));
    mStopSequence = json::readInt(json, QLatin1String("stopSequence"));
}

QString RouteProgress::getEventTypeStr() const
{
    switch (mEventType) {
    case Approaching:
        return QStringLiteral("Approaching");
    case Arrived:
        return QStringLiteral("Arrived");
    case Leaving:
        return QStringLiteral("Leaving");
    }
    return QStringLiteral("Unknown");
}

} // namespace tarvik
