#include "tarvik/axisstop.h"

#include "tarvik/sqlrow.h"
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

QString AxisStop::dbTableName()
{
    return QStringLiteral("AxisStop");
}

QString AxisStop::dbTableSchema()
{
    return sql::schema({{"id", "BIG INT"},
                        {"axisId", "INT"},
                        {"stopId", "INT"},
                        {"ordinal", "INT"},
                        {"parentStopsId", "INT"},
                        {"enabled", "INT"},
                        {"stopName", "VARCHAR(64)"},
                        {"stopIdentifier", "VARCHAR(64)"},
                        {"sameStateKm", "REAL"},
                        {"acrossStateKm", "REAL"},
                        {"acrossCarriersKm", "REAL"},
                        {"duration", "REAL"},
                        {"acceptPassengers", "INT"},
                        {"acceptParcels", "INT"},
                        {"disembarking", "INT"},
                        {"mainId", "INT"}},
                       "id");
}

AxisStop::Ptr AxisStop::fromSql(const QSqlQuery &query)
{
    auto stop = Ptr::create();
    stop->setId(static_cast<int>(query.value(0).toLongLong()));
    stop->setAxisId(query.value(1).toInt());
    stop->setStopId(query.value(2).toInt());
    stop->setOrdinal(query.value(3).toInt());
    stop->setParentStopId(query.value(4).toInt());
    stop->setEnabled(query.value(5).toBool());
    stop->setStopName(query.value(6).toString());
    stop->setStopIdentifier(query.value(7).toString());
    stop->setSameStateKm(query.value(8).toDouble());
    stop->setAcrossStateKm(query.value(9).toDouble());
    stop->setAcrossCarriersKm(query.value(10).toDouble());
    stop->setDuration(query.value(11).toDouble());
    stop->setAcceptPassengers(query.value(12).toBool());
    stop->setAcceptParcels(query.value(13).toBool());
    stop->setDisembarking(query.value(14).toBool());
    stop->setMainId(query.value(15).toInt());
    return stop;
}

QSqlQuery AxisStop::toSql(const QSqlDatabase &db) const
{
    // The blanks inside the column list are the statement's own.
    return sql::prepared(db,
                         QStringLiteral("INSERT OR REPLACE INTO %1 (id, axisId, stopId, ordinal, parentStopsId, enabled, "
                                        "stopName, stopIdentifier,      sameStateKm, acrossStateKm, acrossCarriersKm, "
                                        "duration, acceptPassengers, acceptParcels,     disembarking, mainId) "
                                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);")
                             .arg(dbTableName()),
                         {id(), axisId(), stopId(), ordinal(), parentStopId(), enabled(), stopName(), stopIdentifier(),
                          sameStateKm(), acrossStateKm(), acrossCarriersKm(), duration(), acceptPassengers(),
                          acceptParcels(), disembarking(), mainId()});
}

} // namespace tarvik
