#include "tarvik/stopgroupstops.h"

namespace tarvik {

namespace {
const QLatin1String kStopGroupId("stopGroupId");
const QLatin1String kStopId("stopId");
const QLatin1String kOrdinal("ordinal");
const QLatin1String kStopIdentifier("stopIdentifier");
const QLatin1String kStopName("stopName");
const QLatin1String kEnabled("enabled");
const QLatin1String kLatitude("latitude");
const QLatin1String kLongitude("longitude");
const QLatin1String kMainId("mainId");
} // namespace

StopGroupStops::StopGroupStops() = default;

StopGroupStops::StopGroupStops(const QJsonObject &json)
    : Object(json)
{
}

StopGroupStops::~StopGroupStops() = default;

int StopGroupStops::stopGroupId() const { return json::toInt(value(kStopGroupId)); }
void StopGroupStops::setStopGroupId(int stopGroupId) { setValue(kStopGroupId, stopGroupId); }
int StopGroupStops::stopId() const { return json::toInt(value(kStopId)); }
void StopGroupStops::setStopId(int stopId) { setValue(kStopId, stopId); }
int StopGroupStops::ordinal() const { return json::toInt(value(kOrdinal)); }
void StopGroupStops::setOrdinal(int ordinal) { setValue(kOrdinal, ordinal); }
QString StopGroupStops::stopIdentifier() const { return json::toString(value(kStopIdentifier)); }
void StopGroupStops::setStopIdentifier(const QString &stopIdentifier)
{
    setValue(kStopIdentifier, stopIdentifier);
}
QString StopGroupStops::stopName() const { return json::toString(value(kStopName)); }
void StopGroupStops::setStopName(const QString &stopName) { setValue(kStopName, stopName); }
bool StopGroupStops::enabled() const { return json::toBool(value(kEnabled)); }
void StopGroupStops::setEnabled(bool enabled) { setValue(kEnabled, enabled); }
double StopGroupStops::latitude() const { return json::toDoubleFromText(value(kLatitude)); }
void StopGroupStops::setLatitude(double latitude) { setValue(kLatitude, latitude); }
double StopGroupStops::longitude() const { return json::toDoubleFromText(value(kLongitude)); }
void StopGroupStops::setLongitude(double longitude) { setValue(kLongitude, longitude); }
int StopGroupStops::mainId() const { return json::toInt(value(kMainId)); }
void StopGroupStops::setMainId(int mainId) { setValue(kMainId, mainId); }

} // namespace tarvik
