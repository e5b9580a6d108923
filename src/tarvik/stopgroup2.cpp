#include "tarvik/stopgroup2.h"

namespace tarvik {

namespace {
const QLatin1String kName("name");
const QLatin1String kUserIdentifier("userIdentifier");
const QLatin1String kAxisId("axisId");
const QLatin1String kDefaultStopId("defaultStopId");
const QLatin1String kOrdinal("ordinal");
} // namespace

StopGroup2::StopGroup2() = default;

StopGroup2::StopGroup2(const QJsonObject &json)
    : MultiLangObject(json)
{
}

StopGroup2::~StopGroup2() = default;

QString StopGroup2::name() const { return json::toString(value(kName)); }
void StopGroup2::setName(const QString &name) { setValue(kName, name); }
QString StopGroup2::userIdentifier() const { return json::toString(value(kUserIdentifier)); }
void StopGroup2::setUserIdentifier(const QString &userIdentifier)
{
    setValue(kUserIdentifier, userIdentifier);
}
int StopGroup2::axisId() const { return json::toInt(value(kAxisId)); }
void StopGroup2::setAxisId(int axisId) { setValue(kAxisId, axisId); }
int StopGroup2::defaultStopId() const { return json::toInt(value(kDefaultStopId)); }
void StopGroup2::setDefaultStopId(int defaultStopId) { setValue(kDefaultStopId, defaultStopId); }
int StopGroup2::ordinal() const { return json::toInt(value(kOrdinal)); }
void StopGroup2::setOrdinal(int ordinal) { setValue(kOrdinal, ordinal); }

Stop2::List StopGroup2::stops() const
{
    return mStops;
}

void StopGroup2::setStops(const Stop2::List &stops)
{
    mStops = stops;
}

bool StopGroup2::contains(int stopId) const
{
    for (const Stop2::Ptr &stop : mStops) {
        if (stop && stop->id() == stopId)
            return true;
    }
    return false;
}

QString StopGroup2::toString() const
{
    return QStringLiteral("[%1] %2/%3/%4 (%5 Stops)")
        .arg(QString::number(id()), userIdentifier(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")), QString::number(mStops.size()));
}

} // namespace tarvik
