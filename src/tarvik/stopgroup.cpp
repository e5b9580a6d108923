#include "tarvik/stopgroup.h"

#include "tarvik/jsonread.h"

#include <QDebug>

#include <stdexcept>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik.stopgroup] ";
}

StopGroup::StopGroup(const QJsonObject &json)
{
    fromJson(json);
}

void StopGroup::fromJson(const QJsonObject &json)
{
    mId = json::readInt(json, QLatin1String("id"));
    mName = json::readString(json, QLatin1String("name"));
    mPublicStopGroupId = json::toIntFromDigits(json.value(QLatin1String("publicStopGroupId")));
    mOrdinals.push_back(json::readInt(json, QLatin1String("ordinal")));

    // A later stop with an ordinal already present is dropped: the set keeps the first.
    const QJsonArray stops = json::readArray(json, QLatin1String("stops"));
    for (const QJsonValue &value : stops)
        mStops.insert(Stop(json::toObject(value)));

    if (mStops.empty())
        throw std::runtime_error("No Stop received");
}

bool StopGroup::containsStopId(int id) const
{
    for (const Stop &stop : mStops) {
        if (stop.getId() == id)
            return true;
    }
    return false;
}

void StopGroup::insertStops(const std::set<Stop> &stops)
{
    mStops.insert(stops.begin(), stops.end());
}

void StopGroup::insertOrdinals(const std::vector<int> &ordinals)
{
    mOrdinals.insert(mOrdinals.end(), ordinals.begin(), ordinals.end());
}

QString StopGroup::toString() const
{
    return QStringLiteral("(%1) %2 (pubId=%3)").arg(QString::number(mId), mName, QString::number(mPublicStopGroupId));
}

void StopGroup::log() const
{
    qInfo().noquote().nospace() << kTag << "Stop Group '" << mName << "' " << "(id=" << mId
                                << ", ordinals=" << mOrdinals << ")";
    for (const Stop &stop : mStops)
        stop.log();
}

} // namespace tarvik
