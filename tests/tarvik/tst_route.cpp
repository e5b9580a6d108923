#include "tarvik/fareproducts.h"
#include "tarvik/route.h"

#include "support/logcapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QThread>
#include <QtTest>

#include <stdexcept>

using tarvik::FareProduct;
using tarvik::FareProducts;
using tarvik::Route;
using tarvik::RouteProgress;
using tarvik::Stop;

class tst_Route : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void parsesStartedRoute();
    void throwsOnBadRoute_data();
    void throwsOnBadRoute();
    void mergesZonesSharingAnId();
    void startStopIsFirstLowestOrdinal();
    void nextStopId_data();
    void nextStopId();
    void departure_data();
    void departure();
    void positionJson();
    void equalProductIdsKeepArrivalOrder();
    void passengerTypesAccumulate();
    void acceptRouteProgress_data();
    void acceptRouteProgress();
    void productWithoutZoneIdsNeedsZoneMaxId();
    void firstRouteProgress();
    void summaryTextAndLog();
    void copiesMoveOnSeparateThreads();
};

namespace {

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QJsonObject zone(int id, int ordinal, const QList<QPair<int, int>> &stops, const QString &name = QString())
{
    QJsonArray list;
    for (const auto &s : stops)
        list.append(QJsonObject{{"id", s.first}, {"ordinal", s.second}, {"name", QStringLiteral("S%1").arg(s.first)},
                                {"publicStopId", QString::number(s.first * 10)}, {"latitude", 45.5}, {"longitude", 13.5}});
    return QJsonObject{{"id", id}, {"name", name.isEmpty() ? QStringLiteral("Z%1").arg(id) : name},
                       {"publicStopGroupId", QString::number(id * 10)}, {"ordinal", ordinal}, {"stops", list}};
}

QJsonObject routeMessage(const QJsonArray &zones, bool useAxisProducts = false)
{
    return QJsonObject{
        {"status", "start"},
        {"data", QJsonObject{
             {"axis", QJsonObject{{"routeId", 12}, {"name", "Line 12"}, {"publicRouteId", "120"}, {"useAxisProducts", useAxisProducts}}},
             {"routeExecution", QJsonObject{{"departureDate", "2026-07-01T08:30:00Z"}, {"tripsExecutionId", 77}, {"tripsRouteId", 88}}},
             {"stopGroups", zones}}}};
}

// Zone 2 holds stops 21-24 (ordinals 1-4), zone 3 stops 31-35 (ordinals 5-9).
QJsonObject twoZones(bool useAxisProducts = false)
{
    return routeMessage({zone(2, 1, {{21, 1}, {22, 2}, {23, 3}, {24, 4}}, "Centre"),
                         zone(3, 2, {{31, 5}, {32, 6}, {33, 7}, {34, 8}, {35, 9}}, "Suburb")},
                        useAxisProducts);
}

FareProducts products(const QByteArray &list)
{
    return FareProducts(parse(R"({"axisId":12,"products":[)" + list + "]}"));
}

QJsonObject progress(const QString &event, int axisId, int stopId)
{
    return QJsonObject{{"event", event}, {"routeId", axisId}, {"stopId", stopId}, {"progress%", 10}, {"stopSequence", 1}};
}

QString throwText(const QJsonObject &json)
{
    try {
        Route route(json);
    } catch (const std::runtime_error &e) {
        return QString::fromLatin1(e.what());
    }
    return QString();
}

QList<int> stopIds(const QVector<Stop> &stops)
{
    QList<int> ids;
    for (const Stop &stop : stops)
        ids.append(stop.getId());
    return ids;
}

} // namespace

void tst_Route::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
}

void tst_Route::cleanupTestCase()
{
    QLoggingCategory::setFilterRules(QString());
}

void tst_Route::parsesStartedRoute()
{
    const Route route(twoZones(true));
    QCOMPARE(route.getStatus(), 0);
    QCOMPARE(route.getAxisId(), 12);
    QCOMPARE(route.getPublicId(), 120);
    QCOMPARE(route.getAxisName(), QStringLiteral("Line 12"));
    QVERIFY(route.useAxisProducts());
    QCOMPARE(route.getRouteExecution().tripsExecutionId, 77);
    QCOMPARE(route.getRouteExecution().tripsRouteId, 88);
    QVERIFY(route.containsStopGroupId(2));
    QVERIFY(route.containsStopGroupId(3));
    QVERIFY(!route.containsStopGroupId(4));
    QVERIFY(route.containsStopId(35));
    QVERIFY(!route.containsStopId(36));
    QCOMPARE(stopIds(route.getStops()), (QList<int>{21, 22, 23, 24, 31, 32, 33, 34, 35}));
    QCOMPARE(route.getCurrentStop().getId(), 21);
    QCOMPARE(route.getCurrentStopGroup().getId(), 2);
    QCOMPARE(route.getStopGroupFromStop(33).getName(), QStringLiteral("Suburb"));
    QCOMPARE(route.getStopGroupFromStop(99).getId(), 0);
    QCOMPARE(route.getStop(33).getPublicId(), 330);
    QCOMPARE(route.getStop(99).getId(), 0);
    QVERIFY(route.getFareProducts().empty());
    QCOMPARE(route.findFareProduct(1).getId(), 0);

    // publicRouteId as a number is not the OBU's digit text
    QJsonObject numeric = twoZones();
    QJsonObject data = numeric["data"].toObject();
    QJsonObject axis = data["axis"].toObject();
    axis["publicRouteId"] = 120;
    axis["useAxisProducts"] = 1;
    data["axis"] = axis;
    numeric["data"] = data;
    const Route other(numeric);
    QCOMPARE(other.getPublicId(), 0);
    QVERIFY(!other.useAxisProducts());
}

void tst_Route::throwsOnBadRoute_data()
{
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty-is-ended") << QJsonObject() << "";
    QTest::newRow("end-with-data") << QJsonDocument::fromJson(R"({"status":"end","data":{"axis":{"routeId":12}}})").object()
                                   << "";
    QTest::newRow("status-missing") << QJsonObject{{"data", QJsonObject()}} << "Unknown route mStatus";
    QTest::newRow("start-no-data") << QJsonObject{{"status", "start"}} << "No StopGroup received";
    QJsonObject notArray = twoZones();
    QJsonObject data = notArray["data"].toObject();
    data["stopGroups"] = zone(2, 1, {{21, 1}});
    notArray["data"] = data;
    QTest::newRow("zones-not-array") << notArray << "No StopGroup received";
    QTest::newRow("zone-without-stops") << routeMessage({zone(2, 1, {{21, 1}}), zone(3, 2, {})}) << "No Stop received";
}

void tst_Route::throwsOnBadRoute()
{
    QFETCH(QJsonObject, json);
    QFETCH(QString, expected);
    QCOMPARE(throwText(json), expected);
    if (expected.isEmpty()) {
        const Route route(json);
        QVERIFY(route.getStatus() == 1 && route.getAxisId() == 0 && route.getStops().isEmpty());
        QCOMPARE(route.getFirstRouteProgress().getStopId(), 0);
    }
}

void tst_Route::mergesZonesSharingAnId()
{
    const Route route(routeMessage({zone(4, 3, {{41, 1}, {42, 2}}, "First"),
                                    zone(4, 1, {{43, 3}, {44, 4}}, "Second")}));
    const tarvik::StopGroup merged = route.getStopGroupFromStop(41);
    QCOMPARE(merged.getName(), QStringLiteral("First"));
    QCOMPARE(merged.getOrdinals(), (std::vector<int>{3, 1}));
    QCOMPARE(merged.getStops().size(), size_t(4));
    // Ordinal 1 of the second object beats 3: its lowest-ordinal stop starts the route.
    QCOMPARE(route.getCurrentStop().getId(), 43);
    QCOMPARE(route.getCurrentStopGroup().getId(), 4);
    QCOMPARE(stopIds(route.getStops()), (QList<int>{41, 42, 43, 44}));

    // A merged stop whose ordinal is taken is dropped from the zone but stays listed; when it
    // was chosen as the start, the route starts in no zone.
    const Route clash(routeMessage({zone(4, 3, {{41, 1}, {42, 2}}), zone(4, 1, {{43, 2}})}));
    QVERIFY(!clash.containsStopId(43));
    QCOMPARE(stopIds(clash.getStops()), (QList<int>{41, 42, 43}));
    QCOMPARE(clash.getCurrentStop().getId(), 0);
    QCOMPARE(clash.toJson()["zoneId"].toInt(), 0);
}

void tst_Route::startStopIsFirstLowestOrdinal()
{
    const Route route(routeMessage({zone(1, 5, {{11, 1}}), zone(2, 2, {{22, 3}, {21, 2}}), zone(3, 2, {{31, 4}})}));
    QCOMPARE(route.getCurrentStop().getId(), 21);

    const Route merged(routeMessage({zone(4, 3, {{41, 1}}), zone(4, 1, {{45, 5}, {44, 4}})}));
    QCOMPARE(merged.getCurrentStop().getId(), 44);
}

void tst_Route::nextStopId_data()
{
    QTest::addColumn<int>("stopId");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside-zone") << 21 << 22;
    QTest::newRow("across-zones") << 24 << 31;
    QTest::newRow("last") << 35 << -1;
    QTest::newRow("off-route") << 99 << -1;
    QTest::newRow("gap-in-ordinals") << 40 << -1;
}

void tst_Route::nextStopId()
{
    QFETCH(int, stopId);
    QFETCH(int, expected);
    // Zone 5 lists a second stop of ordinal 3 after zone 2's stop 23; stop 40 has no successor.
    const Route route(routeMessage({zone(2, 1, {{21, 1}, {22, 2}, {23, 3}, {24, 4}}),
                                    zone(3, 2, {{31, 5}, {32, 6}, {33, 7}, {34, 8}, {35, 9}}),
                                    zone(5, 3, {{50, 3}, {40, 20}})}));
    QCOMPARE(route.getNextStopId(stopId), expected);
}

void tst_Route::departure_data()
{
    QTest::addColumn<QJsonValue>("departureDate");
    QTest::addColumn<qint64>("expectedUtc");  // seconds when the zone is UTC
    QTest::addColumn<qint64>("expectedWest"); // seconds under America/New_York (summer: UTC-4)
    QTest::newRow("trailing-z-is-local") << QJsonValue("2026-07-01T08:30:00Z") << qint64(1782894600) << qint64(1782909000);
    QTest::newRow("winter") << QJsonValue("2026-01-15T23:59:59Z") << qint64(1768521599) << qint64(1768539599);
    QTest::newRow("without-z") << QJsonValue("2026-07-01T08:30:00") << qint64(0) << qint64(0);
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << qint64(0) << qint64(0);
    QTest::newRow("number") << QJsonValue(1782894600) << qint64(0) << qint64(0);
    QTest::newRow("beyond-32-bits") << QJsonValue("2040-01-01T00:00:00Z") << qint64(0) << qint64(0);
}

void tst_Route::departure()
{
    QFETCH(QJsonValue, departureDate);
    QFETCH(qint64, expectedUtc);
    QFETCH(qint64, expectedWest);
    const bool west = qgetenv("TZ") == "America/New_York";
    if (west) // without tzdata the zone silently becomes UTC
        QCOMPARE(QDateTime(QDate(2026, 7, 1), QTime(8, 30)).offsetFromUtc(), -4 * 3600);

    QJsonObject json = twoZones();
    QJsonObject data = json["data"].toObject();
    QJsonObject execution = data["routeExecution"].toObject();
    if (departureDate.isUndefined())
        execution.remove("departureDate");
    else
        execution["departureDate"] = departureDate;
    data["routeExecution"] = execution;
    json["data"] = data;
    const Route route(json);
    QCOMPARE(qint64(route.getRouteExecution().departureDate), west ? expectedWest : expectedUtc);
    QCOMPARE(route.toJson()["departure"].toVariant().toLongLong(), west ? expectedWest : expectedUtc);
}

void tst_Route::positionJson()
{
    Route route(twoZones());
    const auto position = [&route] { return QString::fromUtf8(QJsonDocument(route.toJson()).toJson(QJsonDocument::Compact)); };
    const bool west = qgetenv("TZ") == "America/New_York";
    const QString departure = west ? "1782909000" : "1782894600";
    QCOMPARE(position(), QString(R"({"axisId":12,"axisName":"Line 12","departure":%1,"executionId":77,)"
                                 R"("stopId":21,"stopName":"S21","zoneId":2,"zoneName":"Centre"})").arg(departure));
    QVERIFY(route.acceptRouteProgress(RouteProgress(parse(R"({"event":"arrived","routeId":12,"stopId":32})"))));
    QCOMPARE(position(), QString(R"({"axisId":12,"axisName":"Line 12","departure":%1,"executionId":77,)"
                                 R"("stopId":32,"stopName":"S32","zoneId":3,"zoneName":"Suburb"})").arg(departure));
    route.setCurrentStopId(99);
    QCOMPARE(position(), QString(R"({"axisId":12,"axisName":"Line 12","departure":%1,"executionId":77,)"
                                 R"("stopId":0,"stopName":"","zoneId":0,"zoneName":""})").arg(departure));
}

void tst_Route::equalProductIdsKeepArrivalOrder()
{
    Route route(twoZones());
    route.setFareProducts(products(R"(
        {"fareProductId":5,"fareProductName":"First","fromStopGroupId":2,"toStopGroupId":3},
        {"fareProductId":5,"fareProductName":"Second","fromStopGroupId":2,"toStopGroupId":3},
        {"fareProductId":5,"fareProductName":"Third","isCityZoneFare":true,"validStopGroups":[9]})"));
    QCOMPARE(route.findFareProduct(5).getName(), QStringLiteral("First"));
    QStringList order;
    for (const auto &entry : route.getFareProducts())
        order << entry.second.getName();
    QCOMPARE(order, (QStringList{"First", "Second", "Third"}));

    QVERIFY(route.validFareProducts().isEmpty()); // nothing decided yet
    QVERIFY(route.acceptRouteProgress(RouteProgress(12, 22)));
    const QMap<int, FareProduct> valid = route.validFareProducts();
    QCOMPARE(valid.size(), 1);
    QCOMPARE(valid.value(5).getName(), QStringLiteral("Second")); // the last active of id 5
    QVERIFY(valid.value(5).getActive());
}

void tst_Route::passengerTypesAccumulate()
{
    Route route(twoZones());
    route.setFareProducts(products(R"(
        {"fareProductId":9,"passengerTypes":[{"id":7,"code":"PT_LATE","description":"Late"}]},
        {"fareProductId":3,"passengerTypes":[{"id":7,"code":"PT_ADULT","description":"Adult"},{"id":1,"code":"PT_CHILD","description":"Child"}]})"));
    route.setFareProducts(products(R"({"fareProductId":4,"passengerTypes":[{"id":7,"code":"PT_NEW","description":"Renamed"},
                                                                            {"id":8,"code":"PT_OLD","description":"Senior"}]})"));
    QCOMPARE(route.getPassengerTypes(), (QMap<int, QString>{{1, "Child"}, {7, "Adult"}, {8, "Senior"}}));
    QCOMPARE(route.getPassengerTypeName(7), QStringLiteral("Adult"));
    QCOMPARE(route.getPassengerTypeName(2), QString());
    QCOMPARE(route.getFareProducts().size(), size_t(1)); // products are replaced, names are not

    // Look-ups ask the current products in ascending id.
    QCOMPARE(route.findPassengerType(7).code, QStringLiteral("PT_NEW"));
    QCOMPARE(route.findPassengerType(QStringLiteral("PT_OLD")).id, 8);
    QCOMPARE(route.findPassengerType(QStringLiteral("PT_ADULT")).id, 0);
    QCOMPARE(route.findPassengerType(1).id, 0);
}

void tst_Route::acceptRouteProgress_data()
{
    QTest::addColumn<bool>("useAxis");
    QTest::addColumn<int>("start");       // current stop set before the event; 0 keeps the parsed one (21)
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("axisId");
    QTest::addColumn<int>("stopId");
    QTest::addColumn<QByteArray>("product"); // keys beside "fareProductId":1
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("currentStop"); // 0 when the current stop lies in no zone
    QTest::addColumn<QString>("warning");

    const QByteArray window23 = R"("fromStopGroupId":2,"toStopGroupId":3)";
    const QString axisWarning = "[tarvik.route] RouteProgress.routeId(13) does not refer to current routeId(12)";

    // The checks: axis first, then stop.
    QTest::newRow("axis-mismatch") << false << 0 << "arrived" << 13 << 32 << window23 << false << false << 21 << axisWarning;
    QTest::newRow("unknown-stop") << false << 0 << "arrived" << 12 << 99 << window23 << false << false << 21
                                  << "[tarvik.route] RouteProgress.stopId(99) is not part of current Route";
    // Moving the current stop.
    QTest::newRow("approaching-moves") << false << 0 << "approaching" << 12 << 32 << window23 << true << true << 32 << "";
    QTest::newRow("leaving-keeps-stop") << false << 23 << "leaving" << 12 << 32 << QByteArray(R"("fromStopGroupId":2,"toStopGroupId":2)")
                                        << true << true << 23 << "";
    QTest::newRow("leaving-decides-old-zone") << false << 23 << "leaving" << 12 << 32 << QByteArray(R"("fromStopGroupId":3,"toStopGroupId":3)")
                                              << true << false << 23 << "";
    // Axis rule, exclusive in axis mode.
    QTest::newRow("axis-fare-this-axis") << true << 0 << "arrived" << 12 << 21 << QByteArray(R"("isAxisFare":true,"axisId":12)")
                                         << true << true << 21 << "";
    QTest::newRow("axis-fare-other-axis") << true << 0 << "arrived" << 12 << 21 << QByteArray(R"("isAxisFare":true,"axisId":13)")
                                          << true << false << 21 << "";
    QTest::newRow("axis-mode-excludes-city-zone") << true << 0 << "arrived" << 12 << 21
                                                  << QByteArray(R"("isCityZoneFare":true,"validStopGroups":[2])") << true << false << 21 << "";
    QTest::newRow("axis-mode-excludes-window") << true << 0 << "arrived" << 12 << 21 << window23 << true << false << 21 << "";
    // City-zone rule, before the same-zone rule.
    QTest::newRow("city-zone-listed") << false << 0 << "arrived" << 12 << 21 << QByteArray(R"("isCityZoneFare":true,"validStopGroups":[3,2])")
                                      << true << true << 21 << "";
    QTest::newRow("city-zone-not-listed") << false << 0 << "arrived" << 12 << 21 << QByteArray(R"("isCityZoneFare":true,"validStopGroups":[3])")
                                          << true << false << 21 << "";
    QTest::newRow("city-zone-before-same-zone") << false << 0 << "arrived" << 12 << 21
                                                << QByteArray(R"("isCityZoneFare":true,"validStopGroups":[3],"fromStopGroupId":2,"toStopGroupId":2)")
                                                << true << false << 21 << "";
    // Same-zone rule, before the anywhere flags.
    QTest::newRow("same-zone-here") << false << 0 << "arrived" << 12 << 24 << QByteArray(R"("fromStopGroupId":2,"toStopGroupId":2)")
                                    << true << true << 24 << "";
    QTest::newRow("no-zone-ids-never-active") << false << 0 << "arrived" << 12 << 24 << QByteArray(R"("fareProductName":"Any")")
                                              << true << false << 24 << "";
    // Window rule.
    QTest::newRow("window-at-start") << false << 0 << "arrived" << 12 << 21 << window23 << true << true << 21 << "";
    QTest::newRow("window-backwards") << false << 0 << "arrived" << 12 << 22 << QByteArray(R"("fromStopGroupId":3,"toStopGroupId":2)")
                                      << true << false << 22 << "";
    QTest::newRow("window-unknown-to-zone-inside") << false << 0 << "arrived" << 12 << 31 << QByteArray(R"("fromStopGroupId":3,"toStopGroupId":7)")
                                                   << true << true << 31 << "";
    QTest::newRow("window-unknown-from-zone") << false << 0 << "arrived" << 12 << 21 << QByteArray(R"("fromStopGroupId":7,"toStopGroupId":2)")
                                              << true << true << 21 << "";
    QTest::newRow("window-from-anywhere") << false << 0 << "arrived" << 12 << 24 << QByteArray(R"("toStopGroupId":2)") << true << true << 24 << "";
    QTest::newRow("window-to-anywhere") << false << 0 << "arrived" << 12 << 31 << QByteArray(R"("fromStopGroupId":3)") << true << true << 31 << "";
    // Current stop in no zone (only a leaving event keeps it there): zone-bound products are off.
    QTest::newRow("no-zone-window") << false << 99 << "leaving" << 12 << 21 << QByteArray(R"("toStopGroupId":2)") << true << false << 0 << "";
    QTest::newRow("no-zone-axis-rule") << true << 99 << "leaving" << 12 << 21 << QByteArray(R"("isAxisFare":true,"axisId":12)")
                                       << true << true << 0 << "";
}

void tst_Route::acceptRouteProgress()
{
    QFETCH(bool, useAxis);
    QFETCH(int, start);
    QFETCH(QString, event);
    QFETCH(int, axisId);
    QFETCH(int, stopId);
    QFETCH(QByteArray, product);
    QFETCH(bool, accepted);
    QFETCH(bool, active);
    QFETCH(int, currentStop);
    QFETCH(QString, warning);

    Route route(twoZones(useAxis));
    route.setFareProducts(products(R"({"fareProductId":1,)" + product + "}"));
    if (start)
        route.setCurrentStopId(start);
    const RouteProgress event_(progress(event, axisId, stopId));

    LogCapture logs;
    QCOMPARE(route.canAcceptRouteProgress(event_), accepted);
    QCOMPARE(route.acceptRouteProgress(event_), accepted);
    QCOMPARE(route.findFareProduct(1).getActive(), active);
    QCOMPARE(route.getCurrentStop().getId(), currentStop);

    QStringList warnings;
    for (const auto &entry : logs.entries()) {
        if (entry.type == QtWarningMsg)
            warnings << entry.text;
    }
    QCOMPARE(warnings, warning.isEmpty() ? QStringList() : (QStringList{warning, warning}));
    QCOMPARE(logs.count("[tarvik.route] Start checking FareProduct validity..."), accepted ? 1 : 0);
    QCOMPARE(logs.count("[tarvik.route] Done checking FareProduct validity!"), accepted ? 1 : 0);
    if (accepted) {
        const QString verb = active ? "Enabling" : "Disabling";
        QVERIFY2(logs.containsPart("[tarvik.fareProduct] " + verb + " FareProduct '"), qPrintable(logs.texts().join('\n')));
    }
}

void tst_Route::productWithoutZoneIdsNeedsZoneMaxId()
{
    Route route(routeMessage({zone(2, 1, {{21, 1}}), zone(INT_MAX, 2, {{91, 2}})}));
    route.setFareProducts(products(R"({"fareProductId":1})"));
    QVERIFY(route.acceptRouteProgress(RouteProgress(12, 21)));
    QVERIFY(!route.findFareProduct(1).getActive());
    QVERIFY(route.acceptRouteProgress(RouteProgress(12, 91)));
    QVERIFY(route.findFareProduct(1).getActive());
}

void tst_Route::firstRouteProgress()
{
    // Zone ids 5, 8, 6 with ordinals 3, 1, 1: zone 6 is the first in ascending id holding 1.
    Route route(routeMessage({zone(5, 3, {{51, 1}}), zone(8, 1, {{81, 2}}), zone(6, 1, {{62, 4}, {61, 3}})}));
    route.setCurrentStopId(51);
    const RouteProgress first = route.getFirstRouteProgress();
    QCOMPARE(first.getAxisId(), 12);
    QCOMPARE(first.getStopId(), 61);
    QCOMPARE(first.getEventType(), int(RouteProgress::Approaching));
    QVERIFY(!first.getHasGpsLock());
    QCOMPARE(route.getCurrentStop().getId(), 51); // not changed

    // Merged ordinal lists count too: zone 4's second object brings ordinal 0.
    const Route merged(routeMessage({zone(2, 1, {{21, 1}}), zone(4, 5, {{41, 2}}), zone(4, 0, {{42, 3}})}));
    QCOMPARE(merged.getFirstRouteProgress().getStopId(), 41);

    const Route unordered(routeMessage({zone(2, INT_MAX, {{21, 1}})}));
    QCOMPARE(unordered.getFirstRouteProgress().getStopId(), 0);
    QCOMPARE(unordered.getCurrentStop().getId(), 0);
}

void tst_Route::summaryTextAndLog()
{
    Route route(twoZones(true));
    route.setFareProducts(products(R"({"fareProductId":5,"fareProductName":"Day","isAxisFare":true,"axisId":12},
                                      {"fareProductId":5,"fareProductName":"Day2"})"));
    route.setCarrierId(4);
    route.setVehicleId(QStringLiteral("BUS-7"));
    route.setDeviceId(900);
    QCOMPARE(route.getCarrierId(), 4);
    QCOMPARE(route.getVehicleId(), QStringLiteral("BUS-7"));
    QCOMPARE(route.getDeviceId(), 900);
    QCOMPARE(route.toString(), (QStringList{
        "=== ROUTE ===================================",
        " Axis ID     : 12",
        " Public ID   : 120",
        " Axis Name   : Line 12",
        " # of FPs    : 2",
        " # of Zones  : 2",
        " # of Stops  : 9",
        " Carrier ID  : 4",
        " Vehicle ID  : BUS-7",
        " Device  ID  : 900",
        " Use Axis FP : YES",
        "=============================================",
    }));

    const Route small(routeMessage({zone(3, 2, {{31, 5}}, "Suburb"), zone(2, 1, {{21, 1}}, "Centre")}));
    Route withProducts = small;
    withProducts.setFareProducts(products(R"({"fareProductId":5,"fareProductName":"Day","fromStopGroupId":2,"toStopGroupId":3})"));
    LogCapture logs;
    withProducts.log();
    QCOMPARE(logs.texts(), (QStringList{
        "[tarvik.route] Route 'Line 12'(mAxisId=12)",
        "[tarvik.stopgroup] Stop Group 'Centre' (id=2, ordinals=std::vector(1))",
        "[tarvik.stop]     Stop 'S21' (id=21, ordinal=1)",
        "[tarvik.stopgroup] Stop Group 'Suburb' (id=3, ordinals=std::vector(2))",
        "[tarvik.stop]     Stop 'S31' (id=31, ordinal=5)",
        "[tarvik.fareProduct]     FareProduct 'Day' (id=5, fromSG=2, toSG=3, type=)",
    }));
    QCOMPARE(small.toString().at(4), QStringLiteral(" # of FPs    : 0"));
    QCOMPARE(small.toString().at(10), QStringLiteral(" Use Axis FP : NO"));
}

void tst_Route::copiesMoveOnSeparateThreads()
{
    // The controller, the validation worker and the announcer each move their own copy.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    Route shared(twoZones());
    shared.setFareProducts(products(R"({"fareProductId":1,"fromStopGroupId":2,"toStopGroupId":2},
                                       {"fareProductId":2,"fromStopGroupId":3,"toStopGroupId":3})"));
    const QList<int> finalStops{24, 35, 22};
    QList<Route> results{shared, shared, shared};
    QList<QThread *> threads;
    for (int t = 0; t < finalStops.size(); ++t) {
        threads << QThread::create([&results, &shared, t, last = finalStops.at(t)] {
            Route mine = shared; // copied on this thread
            const QList<int> stops{21, 22, 23, 24, 31, 32, 33, 34, 35};
            for (int i = 0; i < 300; ++i)
                mine.acceptRouteProgress(RouteProgress(12, stops.at((i + t) % stops.size())));
            mine.acceptRouteProgress(RouteProgress(12, last));
            results[t] = mine;
        });
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait(30000));
        delete thread;
    }
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
    for (int t = 0; t < finalStops.size(); ++t) {
        const bool inZone2 = finalStops.at(t) < 30;
        QCOMPARE(results.at(t).getCurrentStop().getId(), finalStops.at(t));
        QCOMPARE(results.at(t).findFareProduct(1).getActive(), inZone2);
        QCOMPARE(results.at(t).findFareProduct(2).getActive(), !inZone2);
    }
    QCOMPARE(shared.getCurrentStop().getId(), 21);
    QVERIFY(shared.validFareProducts().isEmpty());
}


QTEST_GUILESS_MAIN(tst_Route)
#include "tst_route.moc"
