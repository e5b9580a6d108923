#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "inspection/zetodesinspector_v3.h"
#include "rfid/zetodes_v3/card.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <climits>

namespace {

const QDateTime kLastSecond(QDate(2025, 2, 6), QTime(23, 59, 58), Qt::UTC);
const QDateTime kNextMorning(QDate(2025, 2, 7), QTime(8, 0), Qt::UTC);

QJsonObject named(int id, const QString &greek)
{
    return {{"id", id}, {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"el", greek}}}}}};
}

QJsonObject product(int type, int id, int status, int days, int left = 0, const char *activation = "2025-01-31T18:30:00Z")
{
    return {{"productType", type}, {"productId", id}, {"status", status}, {"initialValue", days},
            {"remainingValue", left}, {"issueTimestamp", "2025-01-30T10:00:00Z"}, {"activationTimestamp", activation}};
}

QJsonObject ride(int transType, int productId)
{
    return {{"transType", transType}, {"transCounter", 56}, {"transAmount", 0}, {"deviceId", 3114}, {"deviceType", 6},
            {"boardingStopId", 1402}, {"productId", productId}, {"routeExecutionId", 99817}, {"routeId", 12},
            {"vehicleId", 305}, {"alightingStopId", 0}, {"initialTimestamp", "2025-02-06T07:00:00Z"},
            {"transTimestamp", "2025-02-06T07:30:00Z"}};
}

struct CardData
{
    QList<QJsonObject> products{product(1, 501, 15, 7)}; // slots 0.., all present
    QJsonArray usageLog{ride(21, 501)};
    int status = 0, counter = 57, carrier = 7;
    bool employee = false;

    QJsonObject json() const
    {
        QJsonObject flags{{"employee", employee}, {"personalized", false}, {"hasEPurse", false}};
        QJsonObject data{{"transactionCounter", counter}, {"usageLog", usageLog}};
        for (int slot = 0; slot < 3; ++slot) {
            flags.insert(QStringLiteral("hasProduct%1").arg(slot), slot < products.size());
            if (slot < products.size())
                data.insert(QStringLiteral("product%1").arg(slot), products.at(slot));
        }
        data.insert("state", QJsonObject{{"status", status}, {"statusDeviceId", 1}, {"statusDeviceType", 1},
                                         {"passengerType", 2}, {"statusTimestamp", "2023-09-01T08:00:00Z"}, {"flags", flags}});
        data.insert("info", QJsonObject{{"version", 1}, {"carrierId", carrier}, {"issuerId", 3},
                                        {"passengerId", 4711}, {"passengerTypeExpiryDate", "2030-06-30"},
                                        {"issueTimestamp", "2023-09-01T08:00:00Z"}});
        return {{"uid", "04A1B2"}, {"type", 256}, {"template", "ZetoDESv3"}, {"data", data}};
    }
};

// The database service's status message, fed straight through the client's received().
void setDevice(manager::MqttClient &client, int carrierId)
{
    emit client.received(R"({"service":true,"state":1,"device":{"carrierId":)" + QByteArray::number(carrierId) + "}}",
                         "zeto/db/status");
}

} // namespace

// The DES v3 inspector on a gateway whose catalogues come from files; no broker, no back-end.
class tst_ZetoDesInspectorV3 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void inspects_data();
    void inspects();
    void namesAndMissingData();
    void standardiseTime();

private:
    TestEnv mEnv;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
};

void tst_ZetoDesInspectorV3::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2025, 2, 6), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    QVERIFY(mEnv.writeFile("zub.conf", QByteArray()));
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.settingsFile()));
    Configuration config;
    config.set("tarvik/url", "http://127.0.0.1:9/bo"); // nothing listens: the files only
    config.set("tarvik/storagePath", mEnv.filePath("tarvik"));
    for (const char *key : {"tarvik/routeDataSyncMin", "tarvik/fareDataSyncMin", "tarvik/actionListSyncMin"})
        config.set(key, 0);
    const QJsonObject routes{{"Axis", QJsonArray{named(12, "Γραμμή 12")}}, {"Stops", QJsonArray{named(1402, "Πλατεία")}},
                             {"StopGroups", QJsonArray{named(10, "Ζώνη Α")}},
                             {"StopGroupStops", QJsonArray{QJsonObject{{"id", 1}, {"stopGroupId", 10}, {"stopId", 1402}}}}};
    QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/routes.json", QJsonDocument(routes).toJson()));
    const QJsonObject fares{{"FareProducts", QJsonArray{named(501, "Μηνιαία")}}};
    QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/fares.json", QJsonDocument(fares).toJson()));
    mDb = std::make_unique<DBManager>(&mClient);
    mDb->initialize();
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(501), 10000);
    QTRY_VERIFY(mDb->routeData()->findStop(1402) && mDb->routeData()->findStop(1402)->stopGroup());
    setDevice(mClient, 7);
}

void tst_ZetoDesInspectorV3::inspects_data()
{
    QTest::addColumn<QJsonObject>("card");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("hourly"); // "zub/period_pass_hourly"
    QTest::addColumn<int>("denyReason");
    QTest::addColumn<int>("transType");
    QTest::addColumn<int>("fareProductId");
    QTest::addColumn<QJsonValue>("detail"); // "periodPass" or "storedJourneys" of the JSON

    const auto days = [](int n) { return QJsonValue(QJsonObject{{"remainingDays", n}}); };
    const auto rides = [](int before, int after, const char *boarding = "") {
        return QJsonValue(QJsonObject{{"before", before}, {"after", after}, {"boardingTime", boarding}});
    };
    CardData s;
    const auto row = [&s](const QString &name, int deny, int type, int product, const QJsonValue &detail,
                          const QDateTime &now = kLastSecond, bool hourly = true) {
        QTest::newRow(qPrintable(name)) << s.json() << now << hourly << deny << type << product << detail;
    };
    row("pass-hourly-last-second", 0, 8, 501, days(1));
    row("pass-midnight-last-second", 0, 8, 501, days(1), kLastSecond, false);
    row("pass-hourly-next-morning", 0, 8, 501, days(0), kNextMorning);
    row("pass-midnight-next-morning", 0, 8, 501, days(0), kNextMorning, false);
    row("local-clock", 0, 8, 501, days(1), kLastSecond.toLocalTime());
    s.products = {product(1, 501, 15, 7, 0, "2025-02-08T00:00:00Z")};
    row("pass-not-yet-active", 0, 8, 501, days(7));
    s.products = {product(1, 501, 33, INT_MAX)};
    row("pass-pending", 0, 8, 501, days(INT_MAX));
    s.products = {product(1, 501, 15, 7), product(2, 610, 15, 10, 7), product(1, 501, 12, 7)};
    row("expired-pass-before-active", 0, 8, 501, days(0));
    s.products = {product(2, 501, 15, 10, 7), product(1, 501, 15, 7)};
    s.usageLog = {ride(22, 501)};
    row("pass-before-journeys", 0, 8, 501, days(1));
    s.products = {product(2, 610, 15, 10, 7)};
    s.usageLog = {ride(22, 610)};
    row("journeys-on-card", 0, 5, 610, rides(8, 7));
    s.usageLog = {ride(20, 610)};
    row("transfer-on-card", 0, 12, 610, rides(7, 7, "2025-02-06T07:00:00Z"));
    s.products = {product(2, 610, 15, 10, INT_MAX)};
    s.usageLog = {ride(22, 610)};
    row("journeys-clamped", 0, 5, 610, rides(INT_MAX, INT_MAX));
    s.products = {product(1, 501, 15, 7)};
    s.usageLog = {ride(20, 501)};
    row("transfer-paid-by-pass", 0, 8, 501, days(1));
    s.usageLog = {ride(20, 777)};
    row("transfer-from-log", 0, 12, 777, rides(0, 0, "2025-02-06T07:00:00Z"));
    s.usageLog = {ride(22, 777)};
    row("journeys-from-log", 0, 5, 777, rides(1, 0));
    s.usageLog = {ride(21, 777)};
    row("pass-from-log", 0, 8, 777, days(0));
    s.usageLog = {ride(23, 900)};
    row("epurse-ride", 202, 8, 0, days(0));
    s.usageLog = {};
    row("empty-log", 202, 8, 0, days(0));
    s.status = 6;
    row("monitored-empty-log", 202, 8, 0, days(0));
    s.usageLog = {ride(21, 501)};
    for (const auto &status : QList<QPair<int, int>>{{7, 0}, {1, 200}, {2, 251}, {3, 250}, {4, 252}, {5, 255},
                                                    {8, 0}, {9, 253}, {13, 254}, {10, 200}}) {
        s.status = status.first;
        row(QStringLiteral("status-%1").arg(status.first), status.second, 8, status.second ? 0 : 501,
            days(status.second ? 0 : 1));
    }
    s.status = 1;
    s.counter = 0;
    row("counter-0-before-not-issued", 206, 8, 0, days(0));
    s.status = 0;
    s.counter = 65536;
    row("counter-65536", 206, 8, 0, days(0));
    s.counter = 57;
    s.carrier = 8;
    row("other-carrier", 200, 8, 0, days(0));
    s = CardData();
    s.employee = true;
    s.counter = 0;
    row("employee-before-counter", 200, 8, 0, days(0));
}

void tst_ZetoDesInspectorV3::inspects()
{
    QFETCH(QJsonObject, card);
    QFETCH(QDateTime, now);
    QFETCH(int, denyReason);
    QFETCH(int, transType);
    QFETCH(bool, hourly);
    Configuration().set("zub/period_pass_hourly", hourly);
    ZetoDesInspector_v3 inspector(*mDb);
    inspector.setClock([now] { return now; });
    ZetoDes_v3::Card model(card);

    QCOMPARE(inspector.inspectCard(&model), denyReason == 0);
    const QJsonObject json = inspector.getResult().toJson();
    QCOMPARE(json["result"].toBool(), denyReason == 0);
    QCOMPARE(json["denyReason"]["id"].toInt(), denyReason);
    QCOMPARE(json["transType"].toInt(), transType);
    QTEST(json["fareProductId"].toInt(), "fareProductId");
    QTEST(json[transType == 8 ? "periodPass" : "storedJourneys"], "detail");
    QCOMPARE(json[transType == 8 ? "storedJourneys" : "periodPass"], QJsonValue(QJsonValue::Null));
}

// Names come from the catalogues; without them (no back-end link) and without a device
// record the ids are still reported; a card of another layout keeps nothing of the card before.
void tst_ZetoDesInspectorV3::namesAndMissingData()
{
    ZetoDes_v3::Card card(CardData().json());
    LogCapture log;
    ZetoDesInspector_v3 inspector(*mDb);
    QVERIFY(inspector.inspectCard(&card));
    QJsonObject route{{"boardingStopId", 1402}, {"routeId", 12}, {"routeExecutionId", 99817},
                      {"axisName", "Γραμμή 12"}, {"stopName", "Πλατεία"}, {"zoneName", "Ζώνη Α"}};
    QCOMPARE(inspector.getResult().toJson()["route"].toObject(), route);
    QCOMPARE(inspector.getResult().toJson()["fareProductName"].toString(), QStringLiteral("Μηνιαία"));
    QCOMPARE(inspector.getResult().toJson()["deviceType"].toString(), QStringLiteral("VALIDATOR"));
    QVERIFY(log.contains("[inspector::ZetoDESv3]   [0] (501/PeriodPass/ACTIVE)"));

    manager::MqttClient client;
    DBManager bare(&client); // never initialised: no catalogues, no device record yet
    ZetoDesInspector_v3 alone(bare);
    QVERIFY(!alone.inspectCard(&card));
    QCOMPARE(alone.getResult().getDenyReason(), InspectorResult::CardInvalid);
    QVERIFY(log.containsPart("[inspector::ZetoDESv3] WARN: No device record"));
    setDevice(client, 7);
    QVERIFY(alone.inspectCard(&card));
    route["axisName"] = route["stopName"] = route["zoneName"] = "";
    QCOMPARE(alone.getResult().toJson()["route"].toObject(), route);
    QCOMPARE(alone.getResult().toJson()["fareProductId"].toInt(), 501);

    InspectorResult invalid;
    invalid.reset();
    invalid.setDenyReason(InspectorResult::CardInvalid);
    QVERIFY(!alone.inspectCard(nullptr));
    QCOMPARE(alone.getResult().toJson(), invalid.toJson());
    QVERIFY(log.contains("[inspector::ZetoDESv3] Card object creation failed"));
}

// Even to the second, counted toward zero from the epoch; milliseconds and zone kept.
void tst_ZetoDesInspectorV3::standardiseTime()
{
    const QDateTime odd(QDate(2025, 2, 6), QTime(12, 0, 1, 500));
    QCOMPARE(RfidInspector::standardiseTime(odd), QDateTime(QDate(2025, 2, 6), QTime(12, 0, 0, 500)));
    QCOMPARE(RfidInspector::standardiseTime(odd.addMSecs(1499)), odd.addMSecs(1499));
    const QDateTime beforeEpoch = QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC); // -1 s: odd
    QCOMPARE(RfidInspector::standardiseTime(beforeEpoch), QDateTime::fromMSecsSinceEpoch(-2500, Qt::UTC));
}

QTEST_GUILESS_MAIN(tst_ZetoDesInspectorV3)
#include "tst_zetodesinspector_v3.moc"
