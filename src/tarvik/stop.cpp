#include "tarvik/stop.h"

#include "tarvik/jsonread.h"

#include <QDebug>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik.stop] ";
}

Stop::Stop(const QJsonObject &json)
{
    fromJson(json);
}

void Stop::fromJson(const QJsonObject &json)
{
    mId = json::readInt(json, QLatin1String("id"));
    mLatitude = float(json::readDouble(json, QLatin1String("latitude")));
    mLongitude = float(json::readDouble(json, QLatin1String("longitude")));
    mName = json::readString(json, QLatin1String("name"));
    mOrdinal = json::readInt(json, QLatin1String("ordinal"));
    mPublicStopId = json::toIntFromDigits(json.value(QLatin1String("publicStopId")));
}

QString Stop::toString() const
{
    return QStringLiteral("(%1) %2 (pubId=%3)").arg(QString::number(mId), mName, QString::number(mPublicStopId));
}

void Stop::log() const
{
    qInfo().noquote().nospace() << kTag << "    Stop '" << mName << "' " << "(id=" << mId << ", ordinal=" << mOrdinal << ")";
}

} // namespace tarvik
