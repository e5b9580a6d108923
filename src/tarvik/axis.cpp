#include "tarvik/axis.h"

#include "framework/logger.h"
#include "tarvik/sqlrow.h"

#include <QJsonArray>

namespace tarvik {

namespace {
const QLatin1String kName("name");
const QLatin1String kLineCode("lineCode");
const QLatin1String kUserIdentifier("userIdentifier");
const QLatin1String kOppositeAxisId("oppositeAxisId");
const QLatin1String kOppositeAxisUuid("oppositeAxisUuid");
const QLatin1String kConsortiumId("consortiumId");
const QLatin1String kSyncTriangle("syncTriangle");
const QLatin1String kJointOperationCode("jointOperationCode");
const QLatin1String kCircularRoute("circularRoute");
const QLatin1String kUseAxisProducts("useAxisProducts");
const QLatin1String kStatus("status");
const QLatin1String kAxisStopList("axisStopList");
const QLatin1String kStopId("stopId");

QString yesNo(bool b)
{
    return b ? QStringLiteral("yes") : QStringLiteral("no");
}
} // namespace

Axis::Axis() = default;

Axis::Axis(const QJsonObject &json)
    : MultiLangObject(json)
{
    QJsonArray ids;
    for (const QJsonValue &entry : json::toArray(value(kAxisStopList))) {
        // A bare number is an id already: "routes.json" holds the list as written by toJson().
        ids.append(entry.isObject() ? json::toInt(entry.toObject().value(kStopId)) : json::toInt(entry));
    }
    setValue(kAxisStopList, ids);
}

Axis::~Axis() = default;

QString Axis::name() const { return json::toString(value(kName)); }
void Axis::setName(const QString &name) { setValue(kName, name); }
QString Axis::lineCode() const { return json::toString(value(kLineCode)); }
void Axis::setLineCode(const QString &lineCode) { setValue(kLineCode, lineCode); }
QString Axis::userIdentifier() const { return json::toString(value(kUserIdentifier)); }
void Axis::setUserIdentifier(const QString &userIdentifier) { setValue(kUserIdentifier, userIdentifier); }
int Axis::oppositeAxisId() const { return json::toInt(value(kOppositeAxisId)); }
void Axis::setOppositeAxisId(int oppositeAxisId) { setValue(kOppositeAxisId, oppositeAxisId); }
QString Axis::oppositeAxisUuid() const { return json::toString(value(kOppositeAxisUuid)); }
void Axis::setOppositeAxisUuid(const QString &oppositeAxisUuid)
{
    setValue(kOppositeAxisUuid, oppositeAxisUuid);
}
int Axis::consortiumId() const { return json::toInt(value(kConsortiumId)); }
void Axis::setConsortiumId(int consortiumId) { setValue(kConsortiumId, consortiumId); }
bool Axis::syncTriangle() const { return json::toBoolOrInt(value(kSyncTriangle)); }
void Axis::setSyncTriangle(bool syncTriangle) { setValue(kSyncTriangle, syncTriangle); }
QString Axis::jointOperationCode() const { return json::toString(value(kJointOperationCode)); }
void Axis::setJointOperationCode(const QString &code) { setValue(kJointOperationCode, code); }
bool Axis::circularRoute() const { return json::toBoolOrInt(value(kCircularRoute)); }
void Axis::setCircularRoute(bool circularRoute) { setValue(kCircularRoute, circularRoute); }
bool Axis::useAxisProducts() const { return json::toBoolOrInt(value(kUseAxisProducts)); }
void Axis::setUseAxisProducts(bool useAxisProducts) { setValue(kUseAxisProducts, useAxisProducts); }
bool Axis::status() const { return json::toBoolTrueWhenAbsent(value(kStatus)); }
void Axis::setStatus(bool status) { setValue(kStatus, status); }

QList<int> Axis::axisStopIds() const
{
    QList<int> ids;
    for (const QJsonValue &entry : json::toArray(value(kAxisStopList)))
        ids.append(json::toInt(entry));
    return ids;
}

const AxisStop::List &Axis::axisStops() const
{
    return mAxisStops;
}

void Axis::setAxisStops(const AxisStop::List &axisStops)
{
    mAxisStops = axisStops;
}

QSharedPointer<Axis> Axis::oppositeAxis() const
{
    return mOppositeAxis.toStrongRef();
}

void Axis::setOppositeAxis(QSharedPointer<Axis> oppositeAxis)
{
    mOppositeAxis = oppositeAxis;
}

Stop2::List Axis::stops() const
{
    Stop2::List result;
    for (const AxisStop::Ptr &axisStop : mAxisStops)
        result.append(axisStop ? axisStop->stop() : Stop2::Ptr());
    return result;
}

Stop2::List Axis::stopsInStopGroup(int stopGroupId) const
{
    Stop2::List result;
    for (const AxisStop::Ptr &axisStop : mAxisStops) {
        const Stop2::Ptr stop = axisStop ? axisStop->stop() : Stop2::Ptr();
        if (!stop)
            continue;
        const StopGroup2::Ptr group = stop->stopGroup();
        if (group && group->id() == stopGroupId)
            result.append(stop);
    }
    return result;
}

StopGroup2::List Axis::stopGroups() const
{
    StopGroup2::List result;
    for (const AxisStop::Ptr &axisStop : mAxisStops) {
        const Stop2::Ptr stop = axisStop ? axisStop->stop() : Stop2::Ptr();
        if (!stop)
            continue;
        const StopGroup2::Ptr group = stop->stopGroup();
        if (!group)
            continue;
        if (!result.isEmpty() && result.last()->id() == group->id())
            continue;
        result.append(StopGroup2::Ptr::create(group->toJson()));
    }
    for (const StopGroup2::Ptr &entry : qAsConst(result))
        entry->setStops(stopsInStopGroup(entry->id()));
    return result;
}

QString Axis::toString() const
{
    const QString none = QStringLiteral("<none>;");
    const Axis::Ptr opposite = oppositeAxis();
    const StopGroup2::List groups = stopGroups();
    const Stop2::List axisStops = stops();

    QStringList lines;
    lines << QStringLiteral("--- Axis ----------------------------------------")
          << QStringLiteral("ID               : [%1] %2/%3")
                 .arg(QString::number(id()), userIdentifier(), name())
          << QStringLiteral("Opposite Axis    : [%1] %2/%3")
                 .arg(QString::number(oppositeAxisId()),
                      opposite ? opposite->userIdentifier() : none,
                      opposite ? opposite->name() : none)
          << QStringLiteral("Carrier ID       : %1").arg(carrierId())
          << QStringLiteral("Status           : %1")
                 .arg(status() ? QStringLiteral("active") : QStringLiteral("inactive"))
          << QStringLiteral("Consortium ID    : %1").arg(consortiumId())
          << QStringLiteral("Circular Route   : %1").arg(yesNo(circularRoute()))
          << QStringLiteral("Use Axis FP      : %1").arg(yesNo(useAxisProducts()))
          << QStringLiteral("Sync Triangle    : %1").arg(yesNo(syncTriangle()))
          << QStringLiteral("Joint Op Code    : %1").arg(jointOperationCode())
          << QStringLiteral("Stop Groups      : %1").arg(groups.size());
    for (const StopGroup2::Ptr &group : groups)
        lines << QStringLiteral("  %1").arg(group->toString());
    lines << QStringLiteral("Stops            : %1").arg(axisStops.size());
    for (const Stop2::Ptr &stop : axisStops) {
        if (stop)
            lines << QStringLiteral("  %1").arg(stop->toString());
    }
    lines << QStringLiteral("-------------------------------------------------");
    return manager::Logger::joinLines(lines);
}

QString Axis::dbTableName()
{
    return QStringLiteral("Axis");
}

QString Axis::dbTableSchema()
{
    return sql::schema({{"id", "BIG INT"},
                        {"carrierId", "INT"},
                        {"name", "VARCHAR(64)"},
                        {"userIdentifier", "VARCHAR(64)"},
                        {"oppositeAxisId", "INT"},
                        {"oppositeAxisUuid", "VARCHAR(64)"},
                        {"consortiumId", "INT"},
                        {"syncTriangle", "INT"},
                        {"jointOperationCode", "VARCHAR(64)"},
                        {"circularRoute", "INT"},
                        {"useAxisProducts", "INT"},
                        {"status", "INT"},
                        {"multiLanguageFieldsMap", "VARCHAR(1024)"}},
                       "id");
}

Axis::Ptr Axis::fromSql(const QSqlQuery &query)
{
    auto axis = Ptr::create();
    axis->setId(static_cast<int>(query.value(0).toLongLong()));
    axis->setCarrierId(query.value(1).toInt());
    axis->setName(query.value(2).toString());
    axis->setUserIdentifier(query.value(3).toString());
    axis->setOppositeAxisId(query.value(4).toInt());
    axis->setOppositeAxisUuid(query.value(5).toString());
    axis->setConsortiumId(query.value(6).toInt());
    axis->setSyncTriangle(query.value(7).toBool());
    axis->setJointOperationCode(query.value(8).toString());
    axis->setCircularRoute(query.value(9).toBool());
    axis->setUseAxisProducts(query.value(10).toInt() != 0);
    axis->setStatus(query.value(11).toInt() != 0);
    axis->setMultiLang(sql::objectFromText(query.value(12)));
    return axis;
}

QSqlQuery Axis::toSql(const QSqlDatabase &db) const
{
    return sql::prepared(db,
                         QStringLiteral("INSERT OR REPLACE INTO %1 (id, carrierId, name, userIdentifier, oppositeAxisId, "
                                        "oppositeAxisUuid, consortiumId, syncTriangle, jointOperationCode, circularRoute, "
                                        "useAxisProducts, status, multiLanguageFieldsMap) "
                                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);")
                             .arg(dbTableName()),
                         {id(), carrierId(), name(), userIdentifier(), oppositeAxisId(), oppositeAxisUuid(),
                          consortiumId(), syncTriangle(), jointOperationCode(), circularRoute(), useAxisProducts(),
                          status(), sql::toText(multiLang())});
}

} // namespace tarvik
