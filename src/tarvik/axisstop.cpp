#include "tarvik/axisstop.h"

#include "tarvik/stop2.h"

namespace tarvik {

namespace {
const QLatin1String kAxisId("axisId");
const QLatin1String kStopId("stopId");
const QLatin1String kOrdinal("ordinal");
const QLatin1String kParentStopsId("parentStopsId");
const QLatin1String kEnabled("enabled");
const QLatin1String kStopName("stopName");
const QLatin1String kStopIdentifier("stopIdentifier");
const QLatin1String kSameStateKm("sameSateKm");
const QLatin1String kAcrossStateKm("acrossSateKm");
const QLatin1String kAcrossCarriersKm("acrossCarriersKm");
const QLatin1String kDuration("duration");
const QLatin1String kAcceptPassengers("acceptPassengers");
const QLatin1String kAcceptParcels("acceptParcels");
const QLatin1String kDisembarking("disembarking");
const QLatin1String kMainId("mainId");
} // namespace

AxisStop::AxisStop() = default;

AxisStop::AxisStop(const QJsonObject &json)
    : Object(json)
{
}

AxisStop::~AxisStop() = default;

int AxisStop::axisId() const { return json::toInt(value(kAxisId)); }
void AxisStop::setAxisId(int axisId) { setValue(kAxisId, axisId); }
int AxisStop::stopId() const { return json::toInt(value(kStopId)); }
void AxisStop::setStopId(int stopId) { setValue(kStopId, stopId); }
int AxisStop::ordinal() const { return json::toInt(value(kOrdinal)); }
void AxisStop::setOrdinal(int ordinal) { setValue(kOrdinal, ordinal); }
int AxisStop::parentStopId() const { return json::toInt(value(kParentStopsId)); }
void AxisStop::setParentStopId(int parentStopId) { setValue(kParentStopsId, parentStopId); }
bool AxisStop::enabled() const { return json::toBool(value(kEnabled)); }
void AxisStop::setEnabled(bool enabled) { setValue(kEnabled, enabled); }
QString AxisStop::stopName() const { return json::toString(value(kStopName)); }
void AxisStop::setStopName(const QString &stopName) { setValue(kStopName, stopName); }
QString AxisStop::stopIdentifier() const { return json::toString(value(kStopIdentifier)); }
void AxisStop::setStopIdentifier(const QString &stopIdentifier) { setValue(kStopIdentifier, stopIdentifier); }
double AxisStop::sameStateKm() const { return json::toDouble(value(kSameStateKm)); }
void AxisStop::setSameStateKm(double km) { setValue(kSameStateKm, km); }
double AxisStop::acrossStateKm() const { return json::toDouble(value(kAcrossStateKm)); }
void AxisStop::setAcrossStateKm(double km) { setValue(kAcrossStateKm, km); }
double AxisStop::acrossCarriersKm() const { return json::toDouble(value(kAcrossCarriersKm)); }
void AxisStop::setAcrossCarriersKm(double km) { setValue(kAcrossCarriersKm, km); }
double AxisStop::duration() const { return json::toDouble(value(kDuration)); }
void AxisStop::setDuration(double duration) { setValue(kDuration, duration); }
bool AxisStop::acceptPassengers() const { return json::toBool(value(kAcceptPassengers)); }
void AxisStop::setAcceptPassengers(bool accept) { setValue(kAcceptPassengers, accept); }
bool AxisStop::acceptParcels() const { return json::toBool(value(kAcceptParcels)); }
void AxisStop::setAcceptParcels(bool accept) { setValue(kAcceptParcels, accept); }
bool AxisStop::disembarking() const { return json::toBool(value(kDisembarking)); }
void AxisStop::setDisembarking(bool disembarking) { setValue(kDisembarking, disembarking); }
int AxisStop::mainId() const { return json::toInt(value(kMainId)); }
void AxisStop::setMainId(int mainId) { setValue(kMainId, mainId); }

QSharedPointer<Stop2> AxisStop::stop() const
{
    return mStop;
}

void AxisStop::setStop(QSharedPointer<Stop2> stop)
{
    mStop = std::move(stop);
}

QString AxisStop::toString() const
{
    return QStringLiteral("(%1) [%2] %3 --> %4")
        .arg(QString::number(ordinal()), QString::number(id()), QString::number(axisId()),
             mStop ? mStop->toString() : QStringLiteral("<none>"));
}

} // namespace tarvik
