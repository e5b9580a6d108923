#include "tarvik/action.h"
#include "tarvik/axis.h"
#include "tarvik/axisstop.h"
#include "tarvik/basefare.h"
#include "tarvik/cappingrule.h"
#include "tarvik/cappingrulestopgroup.h"
#include "tarvik/customer.h"
#include "tarvik/fareproduct.h"
#include "tarvik/fareproduct2.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpaymentmethod.h"
#include "tarvik/fareproducts.h"
#include "tarvik/keyvalue.h"
#include "tarvik/passengertype.h"
#include "tarvik/paymentchannel.h"
#include "tarvik/paymentmethod.h"
#include "tarvik/routeprogress.h"
#include "tarvik/stop.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup.h"
#include "tarvik/stopgroup2.h"
#include "tarvik/stopgroupstops.h"
#include "tarvik/ticketmaterial.h"

#include "support/goldenfile.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"

#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <functional>
#include <stdexcept>

using namespace tarvik;

// Every record of the OBU and the back-end read from the samples of data/records.json and
// written out as what the code reads: its text and log, the getters the text leaves out, its snapshot
// read back.
// The outputs are pinned in data/records[.west].expected.json.
namespace {

// The values as QDebug prints them, one after the other; texts unquoted.
template <typename... Args>
QString dumpOf(const Args &...values)
{
    QString out;
    (QDebug(&out).noquote() << ... << values);
    return out.left(out.size() - 1); // the space after the last
}

template <typename T>
QStringList logOf(const T &record)
{
    LogCapture capture;
    record.log();
    return capture.texts();
}

QList<int> stopIds(const std::set<Stop> &stops)
{
    QList<int> ids;
    for (const Stop &stop : stops)
        ids << stop.getId();
    return ids;
}

using Dumper = std::function<QString(const QJsonObject &)>;

// A record of type T read from the sample `o` as `r`, dumped as the values given.
#define DUMP(T, ...) {#T, [](const QJsonObject &o) { const T r(o); return dumpOf(__VA_ARGS__); }}

// The getters a record's text leaves out and that nothing else reads, and the dates in any zone.
const QMap<QString, Dumper> &dumpers()
{
    static const QMap<QString, Dumper> map = {
        DUMP(Stop, r.toString(), logOf(r)),
        DUMP(StopGroup, r.getPublicId(), stopIds(r.getStops()), r.toString(), logOf(r)),
        DUMP(RouteProgress, r.getEventTypeStr(), r.getProgress(), r.getStopSequence(), r.getHasGpsLock()),
        {"FareProduct", [](const QJsonObject &o) {
             const FareProduct r(o);
             const auto types = r.getPassengerTypes();
             const auto first = r.findPassengerType(types.isEmpty() ? 0 : types.firstKey());
             return dumpOf(r.getValidFrom(), r.getFromAnywhere(), r.getToAnywhere(), r.getValidPerRoute(),
                           r.getAxisId(), r.getNumberOfTrips(), r.getValidityPeriodMin(), r.isAxisFare(), r.isZoneFare(),
                           r.getValidStopGroupIds(), r.getTicketMaterials(), types, first.code, first.discount,
                           first.isDefault, first.active, first.ageFrom, first.ageTo, first.gracePeriod, first.category,
                           r.toString(), logOf(r)); }},
        {"FareProducts", [](const QJsonObject &o) {
             const FareProducts r(o);
             QStringList order;
             for (const auto &entry : r.getFareProducts())
                 order << QString::number(entry.first) + ':' + entry.second.getName();
             return dumpOf(r.getAxisId(), r.isCorrupted(), order); }},
        DUMP(Stop2, r.carrierId(), r.address(), r.phone(), r.multiLang(QStringLiteral("en")), StopGroupStops(o).ordinal(),
             StopGroupStops(o).stopIdentifier(), StopGroupStops(o).stopName(), StopGroupStops(o).enabled(),
             StopGroupStops(o).latitude(), StopGroupStops(o).longitude(), StopGroupStops(o).mainId()),
        DUMP(StopGroup2, r.carrierId(), r.name(), r.axisId(), r.defaultStopId(), r.ordinal(), r.contains(0), r.toString()),
        DUMP(Axis, r.lineCode(), r.oppositeAxisUuid(), r.axisStopIds(), r.toString()),
        DUMP(AxisStop, r.carrierId(), r.parentStopId(), r.enabled(), r.stopName(), r.stopIdentifier(), r.sameStateKm(),
             r.acrossStateKm(), r.acrossCarriersKm(), r.duration(), r.acceptPassengers(), r.acceptParcels(),
             r.disembarking(), r.mainId(), r.toString()),
        DUMP(TicketMaterial, r.carrierId(), r.mainId(), r.name(), r.toString(), PaymentChannel(o).toString(),
             PaymentMethod(o).toString(), FareProductBaseFare(o).fareProductId(), FareProductPaymentMethod(o).paymentMethodId()),
        DUMP(PassengerType, r.carrierId(), r.mainId(), r.name(), r.toString()),
        DUMP(BaseFare, r.carrierId(), r.mainId(), r.name(), r.isKmFare(), r.fareAmount(), r.sameStateFareAmount(),
             r.acrossStateFareAmount(), r.acrossCarriersFareAmount(), r.minKmFareAmount(), r.activationDate(),
             r.baseFareExtraCharges(), r.baseFareAxisRoutes(), r.toString()),
        DUMP(FareProduct2, r.carrierId(), r.validFrom(), r.fareRoundingCeiling(), r.isPersonalized(), r.perBaseFare(),
             r.activationDate(), r.expirationDate(), r.isAxisFare(), r.isActivated(), r.toString()),
        DUMP(CappingRule, r.active(), r.code(), r.logDate(), r.lastEdited(), r.validIn(0), r.toString(),
             CappingRule::fromSnapshot(r.snapshot())->toString() == r.toString(), CappingRuleStopGroup(o).toString(),
             CappingRuleStopGroup::fromSnapshot(CappingRuleStopGroup(o).snapshot())->toString()),
        DUMP(Customer, r.accountCreationDate(), r.toString()),
        DUMP(KeyValue, r.toString()),
        DUMP(Action, r.passengerTypeExpirationDate(), r.actionDate(), r.toString(),
             Action::fromSnapshot(r.snapshot())->toJson() == r.toJson()),
    };
    return map;
}

QString dump(const QString &record, const QJsonObject &json)
{
    try {
        return dumpers().value(record)(json);
    } catch (const std::runtime_error &e) {
        return QStringLiteral("throws ") + QLatin1String(e.what());
    }
}

// One for each zone: the west run shows which dates are read as local time and which as instants.
const QString Expected = GoldenFile::path(TEST_DATA_DIR "/records");

} // namespace

class tst_Records : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsSamples_data();
    void readsSamples();
    void badSnapshotsGiveEmptyRecords();
    void axisRowsThroughSqlite();
};

void tst_Records::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
    if (qgetenv("TZ") == "America/New_York") // without tzdata the zone silently becomes UTC
        QCOMPARE(QDateTime(QDate(2026, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_Records::readsSamples_data()
{
    QTest::addColumn<QJsonArray>("samples");
    const QJsonObject samples = JsonPath::readFile(TEST_DATA_DIR "/records.json").object();
    QVERIFY(!samples.isEmpty());
    for (auto it = samples.begin(); it != samples.end(); ++it) {
        QVERIFY2(dumpers().contains(it.key()), qPrintable(it.key()));
        QTest::addRow("%s", qPrintable(it.key())) << it.value().toArray();
    }
}

void tst_Records::readsSamples()
{
    QFETCH(QJsonArray, samples);
    QJsonArray dumps;
    for (const QJsonValue &sample : samples)
        dumps.append(dump(QTest::currentDataTag(), sample.toObject()));
    const QByteArray diff = GoldenFile::mismatch(Expected, QTest::currentDataTag(), dumps);
    QVERIFY2(diff.isEmpty(), diff.constData());
}

void tst_Records::badSnapshotsGiveEmptyRecords()
{
    for (const QString &snapshot : {QString(), QStringLiteral("not base64!"), QStringLiteral("WzEsMl0=")}) {
        QCOMPARE(CappingRule::fromSnapshot(snapshot)->toString(), CappingRule().toString());
        QCOMPARE(CappingRuleStopGroup::fromSnapshot(snapshot)->id(), 0);
        QCOMPARE(Action::fromSnapshot(snapshot)->toJson(), QJsonObject());
    }
}

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// The record written with toSql into a table made from its own schema, then read back from SELECT *.
template <typename T>
QJsonObject throughTable(const QSqlDatabase &db, const T &record)
{
    QSqlQuery create(db);
    if (!create.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(T::dbTableName(), T::dbTableSchema())))
        return {{"create", create.lastError().text()}};
    QSqlQuery insert = record.toSql(db);
    if (!insert.exec())
        return {{"insert", insert.lastError().text()}};
    QSqlQuery select(QStringLiteral("SELECT * FROM ") + T::dbTableName(), db);
    return select.next() ? T::fromSql(select)->toJson() : QJsonObject{{"select", select.lastError().text()}};
}

} // namespace

void tst_Records::axisRowsThroughSqlite()
{
    QTemporaryDir dir;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(dir.filePath(QStringLiteral("rows.db")));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));

        QCOMPARE(Axis::dbTableSchema(),
                 "id                     BIG INT,carrierId              INT,name                   VARCHAR(64),"
                 "userIdentifier         VARCHAR(64),oppositeAxisId         INT,oppositeAxisUuid       VARCHAR(64),"
                 "consortiumId           INT,syncTriangle           INT,jointOperationCode     VARCHAR(64),"
                 "circularRoute          INT,useAxisProducts        INT,status                 INT,"
                 "multiLanguageFieldsMap VARCHAR(1024),PRIMARY KEY (id)");
        QCOMPARE(AxisStop::dbTableSchema(),
                 "id               BIG INT,axisId           INT,stopId           INT,ordinal          INT,"
                 "parentStopsId    INT,enabled          INT,stopName         VARCHAR(64),stopIdentifier   VARCHAR(64),"
                 "sameStateKm      REAL,acrossStateKm    REAL,acrossCarriersKm REAL,duration         REAL,"
                 "acceptPassengers INT,acceptParcels    INT,disembarking     INT,mainId           INT,PRIMARY KEY (id)");
        QCOMPARE(Axis().toSql(db).lastQuery(),
                 "INSERT OR REPLACE INTO Axis (id, carrierId, name, userIdentifier, oppositeAxisId, oppositeAxisUuid, "
                 "consortiumId, syncTriangle, jointOperationCode, circularRoute, useAxisProducts, status, "
                 "multiLanguageFieldsMap) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);");
        QCOMPARE(AxisStop().toSql(db).lastQuery(),
                 "INSERT OR REPLACE INTO AxisStop (id, axisId, stopId, ordinal, parentStopsId, enabled, stopName, "
                 "stopIdentifier,      sameStateKm, acrossStateKm, acrossCarriersKm, duration, acceptPassengers, "
                 "acceptParcels,     disembarking, mainId) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);");

        // Every column comes back; the line code, the stop list and the stop's carrier have none.
        const Axis axis(object(R"({"id":7,"carriersId":2,"name":"Line 7","lineCode":"7","userIdentifier":"L7",
            "oppositeAxisId":8,"oppositeAxisUuid":"u-8","consortiumId":4,"syncTriangle":1,"jointOperationCode":"JX",
            "circularRoute":false,"useAxisProducts":true,"status":false,"axisStopList":[{"stopId":5}],
            "multiLanguageFieldsMap":{"name":{"el":"Epta","en":"Seven"}}})"));
        QCOMPARE(throughTable(db, axis), object(R"({"id":7,"carriersId":2,"name":"Line 7","userIdentifier":"L7",
            "oppositeAxisId":8,"oppositeAxisUuid":"u-8","consortiumId":4,"syncTriangle":true,"jointOperationCode":"JX",
            "circularRoute":false,"useAxisProducts":true,"status":false,
            "multiLanguageFieldsMap":{"name":{"el":"Epta","en":"Seven"}}})"));
        const QJsonObject stop = object(R"({"id":17,"axisId":4,"stopId":5,"ordinal":3,"parentStopsId":6,"enabled":true,
            "stopName":"Port","stopIdentifier":"P1","sameSateKm":3.5,"acrossSateKm":1.25,"acrossCarriersKm":0.75,
            "duration":12.5,"acceptPassengers":true,"acceptParcels":false,"disembarking":true,"mainId":9})");
        QJsonObject withCarrier = stop;
        withCarrier.insert("carriersId", 2);
        QCOMPARE(throughTable(db, AxisStop(withCarrier)), stop);

        // A row written by someone else: NULL texts read empty, a map that does not parse reads as none.
        QSqlQuery other(db);
        QVERIFY2(other.exec("DELETE FROM Axis") && other.exec("INSERT INTO Axis (id, name, multiLanguageFieldsMap, status)"
                                                              " VALUES (4294967301, NULL, '{\"name\":', 2)"),
                 qPrintable(other.lastError().text()));
        QVERIFY(other.exec("SELECT * FROM Axis") && other.next());
        const Axis::Ptr read = Axis::fromSql(other);
        QCOMPARE(read->id(), 5); // narrowed from 64 bits
        QCOMPARE(read->toJson().value("name"), QJsonValue(QString("")));
        QCOMPARE(read->toJson().value("jointOperationCode"), QJsonValue(QString("")));
        QCOMPARE(read->multiLang(), QJsonObject());
        QVERIFY(read->status());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
