#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kRequestTopic = QStringLiteral("zeto/db/request");
const QString kPaper = QStringLiteral("TM_PAPER_TICKET");

QJsonObject names(const QJsonObject &byLanguage)
{
    return QJsonObject{{QStringLiteral("name"), byLanguage}};
}

QJsonArray ints(const QList<int> &values)
{
    QJsonArray array;
    for (const int v : values)
        array.append(v);
    return array;
}

QJsonObject stopGroup(int id, const QString &publicId)
{
    return {{"id", id},
            {"userIdentifier", publicId},
            {"multiLanguageFieldsMap", names({{"en", "Zone " + publicId}, {"el", "Ζώνη " + publicId}})}};
}

QJsonObject stop(int id, double latitude)
{
    return {{"id", id},
            {"userIdentifier", QStringLiteral("S%1").arg(id)},
            {"latitude", latitude},
            {"longitude", QStringLiteral("%1").arg(latitude + 1)},
            {"multiLanguageFieldsMap", names({{"en", QStringLiteral("Stop %1").arg(id)}})}};
}

// Axes 1 (no status, two name fields), 2 (status false), 3 (status true, a number as its
// name) and 5 (zones A, B, A again, along stops 1 to 4). Zones: A 10 (stops 1, 2, 4), B 20
// (stop 3), C 30 (no stops on any axis).
QJsonObject network()
{
    QJsonArray axisStops;
    int row = 1;
    for (const int stopId : {1, 2, 3, 4})
        axisStops.append(QJsonObject{{"id", row}, {"axisId", 5}, {"stopId", stopId}, {"ordinal", row}}), ++row;
    return {
        {"Axis",
         QJsonArray{
             QJsonObject{{"id", 1},
                         {"userIdentifier", "L1"},
                         {"multiLanguageFieldsMap",
                          QJsonObject{{"zname", QJsonObject{{"en", "Later field"}}},
                                      {"aname", QJsonObject{{"en", "Line one"}, {"el", "Γραμμή ένα"}}}}}},
             QJsonObject{{"id", 2}, {"userIdentifier", "L2"}, {"status", false}},
             QJsonObject{{"id", 3}, {"userIdentifier", "L3"}, {"status", true},
                         {"multiLanguageFieldsMap", names({{"en", 5}})}},
             QJsonObject{{"id", 5}, {"userIdentifier", "L5"}},
         }},
        {"AxisStops", axisStops},
        {"Stops", QJsonArray{stop(1, 40.5), stop(2, 40.25), stop(3, 41), stop(4, 42)}},
        {"StopGroups", QJsonArray{stopGroup(10, "A"), stopGroup(20, "B"), stopGroup(30, "C")}},
        {"StopGroupStops",
         QJsonArray{QJsonObject{{"id", 1}, {"stopGroupId", 10}, {"stopId", 1}},
                    QJsonObject{{"id", 2}, {"stopGroupId", 10}, {"stopId", 2}},
                    QJsonObject{{"id", 3}, {"stopGroupId", 20}, {"stopId", 3}},
                    QJsonObject{{"id", 4}, {"stopGroupId", 10}, {"stopId", 4}}}},
    };
}

// Products sold by the driver on paper, on axis 5: 1 (a zone fare A to B and a city-zone fare
// over A, C, B), 2 (no position, no colour; axis fare), 3 (axis fare and a city-zone fare
// without zones), 4 (axis fare and a zone fare to an unknown zone), 6 (sold on cards only).
QJsonObject catalogue()
{
    const auto coded = [](int id, const QString &code) { return QJsonObject{{"id", id}, {"code", code}}; };
    const auto link = [](const QString &key, const QList<QPair<int, int>> &pairs) {
        QJsonArray rows;
        int id = 1;
        for (const auto &pair : pairs)
            rows.append(QJsonObject{{"id", id++}, {"fareProductId", pair.first}, {key, pair.second}});
        return rows;
    };
    const auto product = [](int id, QJsonObject keys) {
        keys.insert("id", id);
        keys.insert("carriersId", 7);
        keys.insert("expirationDate", 4102444800000.0);
        keys.insert("multiLanguageFieldsMap", names({{"el", QStringLiteral("Προϊόν %1").arg(id)},
                                                     {"en", QStringLiteral("Product %1").arg(id)}}));
        return keys;
    };
    return {
        {"TicketMaterials", QJsonArray{coded(1, kPaper), coded(2, "TM_CARD")}},
        {"PaymentChannels", QJsonArray{coded(1, "PC_DRIVER")}},
        {"PaymentMethods", QJsonArray{coded(1, "PM_CASH")}},
        {"PassengerTypes",
         QJsonArray{QJsonObject{{"id", 1},
                                {"code", "PT_ADULT"},
                                {"ageFrom", 18},
                                {"ageTo", 64},
                                {"discount", 0.25},
                                {"gracePeriod", "P1D"},
                                {"category", 2},
                                {"default", true},
                                {"active", true},
                                {"multiLanguageFieldsMap", names({{"el", "Ενήλικας"}, {"en", "Adult"}})}}}},
        {"BaseFares",
         QJsonArray{QJsonObject{{"id", 1}, {"isZoneFare", true}, {"zoneFrom", 10}, {"zoneTo", 20}},
                    QJsonObject{{"id", 2}, {"isCityZoneFare", true}, {"cityZoneFareStopGroups", ints({10, 30, 20})}},
                    QJsonObject{{"id", 3}, {"isAxisFare", true}, {"axisId", 5}},
                    QJsonObject{{"id", 4}, {"isCityZoneFare", true}, {"cityZoneFareStopGroups", QJsonArray()}},
                    QJsonObject{{"id", 5}, {"isZoneFare", true}, {"zoneFrom", 10}, {"zoneTo", 99}}}},
        {"FareProducts",
         QJsonArray{product(1, {{"color", "#FF0000"}, {"position", 2}, {"fareFixed", 1.5}, {"fareDiscount", 0.5},
                                {"validFrom", "FROM_VALIDATION"}, {"validityUnit", "MINUTES"},
                                {"validityDuration", 90}, {"isReturnFare", true}}),
                    product(2, {{"color", ""}, {"position", 0}, {"calculatedPrice", 250}}),
                    product(3, {{"position", -3}}), product(4, QJsonObject()), product(6, QJsonObject())}},
        {"FareProductBaseFares", link("baseFareId", {{1, 1}, {1, 2}, {2, 3}, {3, 3}, {3, 4}, {4, 3}, {4, 5}, {6, 3}})},
        {"FareProductPassengerTypes", link("passengerTypeId", {{1, 1}})},
        {"FareProductTicketMaterials", link("ticketMaterialId", {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 2}})},
        {"FareProductPaymentMethods", link("paymentMethodId", {{1, 1}})},
        {"FareProductPaymentChannels", link("paymentChannelId", {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {6, 1}})},
        {"CappingRules", QJsonArray{QJsonObject{{"id", 1}, {"productType", "E_PURSE"}}}},
        {"CappingRuleStopGroups", QJsonArray{QJsonObject{{"id", 1}, {"ruleId", 1}, {"stopGroupId", 10}}}},
    };
}

QByteArray request(const QJsonValue &id, const QJsonValue &src, const QString &method,
                   const QJsonValue &params = QJsonValue::Undefined)
{
    QJsonObject object{{"method", method}};
    if (!id.isUndefined())
        object.insert("id", id);
    if (!src.isUndefined())
        object.insert("src", src);
    if (!params.isUndefined())
        object.insert("params", params);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonArray axisParam(const QJsonValue &value, const QString &name = QStringLiteral("axis_id"))
{
    return QJsonArray{QJsonObject{{"name", name}, {"value", value}}};
}

QJsonObject ok(const QString &method, const QJsonArray &resp)
{
    return {{"method", method}, {"error", QJsonObject{{"error", ""}, {"id", 0}}}, {"resp", resp}};
}

QJsonObject failed(const QString &method, const QString &text)
{
    return {{"method", method}, {"error", QJsonObject{{"error", text}, {"id", 301}}}, {"resp", QJsonValue::Null}};
}

QJsonObject route(int id, const QString &publicId, const QJsonArray &name)
{
    return {{"id", id}, {"allowReserveSeats", QJsonValue::Null}, {"publicAxisId", publicId}, {"name", name}};
}

QJsonArray zoneName(const QString &publicId)
{
    return QJsonArray{QJsonObject{{"lang", "el"}, {"value", "Ζώνη " + publicId}},
                      QJsonObject{{"lang", "en"}, {"value", "Zone " + publicId}}};
}

QJsonObject stopGroupRef(int id, const QString &publicId)
{
    return {{"id", id}, {"name", zoneName(publicId)}, {"publicStopGroupId", publicId}};
}

QJsonObject stopAnswer(int id, int ordinal, double latitude, int groupId, const QString &groupPublicId)
{
    return {{"id", id},
            {"ordinal", ordinal},
            {"name", QJsonArray{QJsonObject{{"lang", "en"}, {"value", QStringLiteral("Stop %1").arg(id)}}}},
            {"latitude", latitude},
            {"longitude", latitude + 1},
            {"publicStopId", QStringLiteral("S%1").arg(id)},
            {"salesEnabled", true},
            {"stopGroup", stopGroupRef(groupId, groupPublicId)}};
}

QJsonObject groupAnswer(int id, int ordinal, const QString &publicId, const QJsonArray &stops)
{
    return {{"id", id}, {"ordinal", ordinal}, {"publicStopGroupId", publicId}, {"name", zoneName(publicId)},
            {"stops", stops}};
}

// Axis 5's groups: A (stops 1, 2, 4), B (stop 3), A again.
QJsonArray axisFiveGroups()
{
    const auto groupA = [](int first) {
        return QJsonArray{stopAnswer(1, first, 40.5, 10, "A"), stopAnswer(2, first + 1, 40.25, 10, "A"),
                          stopAnswer(4, first + 2, 42, 10, "A")};
    };
    return QJsonArray{groupAnswer(10, 1, "A", groupA(1)),
                      groupAnswer(20, 4, "B", QJsonArray{stopAnswer(3, 4, 41, 20, "B")}),
                      groupAnswer(10, 5, "A", groupA(5))};
}

QString text(const QJsonValue &value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Indented));
}

} // namespace

class tst_DBManagerMock : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void answers_data();
    void answers();
    void fareProductRecords();
    void fareProductLogLines();
    void timestampIsLocalTimeWithoutZone();
    void dropped_data();
    void dropped();
    void paperTicketRequestsRaiseSignals_data();
    void paperTicketRequestsRaiseSignals();
    void notAnsweredWhileMockOff();
    void exampleDataAnswers();
    void withoutBackendLinkAnswersEmpty();

private:
    void setSetting(const QString &key, const QVariant &value);
    // Publishes the raw request and a probe behind it; the answers that came before the
    // probe's, in order: the gateway answers in the order of the requests.
    QList<MqttPeer::Message> exchange(const QByteArray &payload);
    DBManager *startGateway(const QString &url);

    BrokerFixture mBroker;
    TestEnv mEnv;
    std::unique_ptr<DbServicePeer> mPeer;
    std::unique_ptr<manager::MqttClient> mClient;
    std::unique_ptr<DBManager> mDb;
    std::unique_ptr<LogCapture> mLog;
    int mProbe = 1000;
};

void tst_DBManagerMock::setSetting(const QString &key, const QVariant &value)
{
    Configuration config;
    config.set(key, value);
}

DBManager *tst_DBManagerMock::startGateway(const QString &url)
{
    setSetting(QStringLiteral("tarvik/url"), url);
    mClient = std::make_unique<manager::MqttClient>();
    mClient->setHostname(mBroker.host());
    mClient->setPort(mBroker.port());
    mClient->setClientId(QStringLiteral("zub-mock-test-%1").arg(++mProbe));
    mDb = std::make_unique<DBManager>(mClient.get());
    QSignalSpy connected(mClient.get(), &manager::MqttClient::connected);
    mClient->connect();
    if (!connected.wait(10000))
        return nullptr;
    mDb->initialize();
    // The request topic is the gateway's last subscription: once a request gets an answer,
    // the gateway hears them all.
    const bool heard = QTest::qWaitFor(
        [&] {
            mPeer->mqtt().publish(kRequestTopic, request(mProbe, "probe", "getRoutes"));
            return mPeer->mqtt().waitForMessages(QStringLiteral("zeto/db/response/probe/%1").arg(mProbe), 1, 50);
        },
        10000);
    return heard ? mDb.get() : nullptr;
}

void tst_DBManagerMock::initTestCase()
{
    QVERIFY(mEnv.isValid());
    QVERIFY(mEnv.writeFile(QStringLiteral("zub.conf"), QByteArray()));
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.settingsFile()));
    setSetting(QStringLiteral("db/mock_dbman"), true);
    setSetting(QStringLiteral("tarvik/storagePath"), mEnv.filePath(QStringLiteral("tarvik")));
    // The managers only read their files: no sync with a back-end.
    setSetting(QStringLiteral("tarvik/routeDataSyncMin"), 0);
    setSetting(QStringLiteral("tarvik/fareDataSyncMin"), 0);
    setSetting(QStringLiteral("tarvik/actionListSyncMin"), 0);
    QVERIFY(mEnv.writeFile(QStringLiteral("tarvik/127_0_0_1/bo/routes.json"), QJsonDocument(network()).toJson()));
    QVERIFY(mEnv.writeFile(QStringLiteral("tarvik/127_0_0_1/bo/fares.json"), QJsonDocument(catalogue()).toJson()));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mPeer = std::make_unique<DbServicePeer>();
    QVERIFY(mPeer->connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(mPeer->listen(QStringLiteral("zeto/db/response/#")));

    // Nothing listens there: the back-end is never asked.
    QVERIFY(startGateway(QStringLiteral("http://127.0.0.1:9/bo")));
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData()->findFareProduct(1), 10000);
    QVERIFY(mDb->routeData()->findAxis(5));
}

void tst_DBManagerMock::cleanupTestCase()
{
    mDb.reset();
    mClient.reset();
    mPeer.reset();
}

void tst_DBManagerMock::init()
{
    setSetting(QStringLiteral("db/mock_dbman"), true);
    mPeer->clear();
    mLog = std::make_unique<LogCapture>();
}

void tst_DBManagerMock::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
    mLog.reset();
}

QList<MqttPeer::Message> tst_DBManagerMock::exchange(const QByteArray &payload)
{
    const int probe = ++mProbe;
    const QString probeTopic = QStringLiteral("zeto/db/response/probe/%1").arg(probe);
    const int before = mPeer->mqtt().messages().size();
    mPeer->mqtt().publish(kRequestTopic, payload);
    mPeer->mqtt().publish(kRequestTopic, request(probe, "probe", "getRoutes"));
    if (!mPeer->mqtt().waitForMessages(probeTopic, 1, 10000))
        return {};
    QList<MqttPeer::Message> answers;
    for (const MqttPeer::Message &message : mPeer->mqtt().messages().mid(before)) {
        if (message.topic == probeTopic)
            break;
        if (message.topic.startsWith(QLatin1String("zeto/db/response/")))
            answers << message;
    }
    return answers;
}

void tst_DBManagerMock::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("expectedTopic");
    QTest::addColumn<QJsonObject>("expected");
    QTest::addColumn<QString>("expectedLog");

    const QJsonArray routes{
        route(1, "L1", QJsonArray{QJsonObject{{"lang", "el"}, {"value", "Γραμμή ένα"}},
                                  QJsonObject{{"lang", "en"}, {"value", "Line one"}}}),
        route(3, "L3", QJsonArray{QJsonObject{{"lang", "en"}, {"value", ""}}}),
        route(5, "L5", QJsonArray()),
    };
    const QString handlingRoutes = QStringLiteral("[DBManager] Handling 'getRoutes' DB request");
    const QString handlingStops = QStringLiteral("[DBManager] Handling 'getStopGroups' DB request");
    const QString handlingFares = QStringLiteral("[DBManager] Handling 'getFareProducts' DB request");
    const QString missing = QStringLiteral("Parameter Missing: 'axis_id'");

    QTest::newRow("routes") << request(7, "ui", "getRoutes") << "zeto/db/response/ui/7"
                            << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("routes-params-ignored") << request(8, "ui", "getRoutes", "garbage") << "zeto/db/response/ui/8"
                                           << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("id-as-text") << request("7", "ui", "getRoutes") << "zeto/db/response/ui/0"
                                << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("id-with-fraction") << request(7.5, "ui", "getRoutes") << "zeto/db/response/ui/0"
                                      << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("id-absent") << request(QJsonValue::Undefined, "ui", "getRoutes") << "zeto/db/response/ui/0"
                               << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("id-negative") << request(-4, "ui", "getRoutes") << "zeto/db/response/ui/-4"
                                 << ok("getRoutes", routes) << handlingRoutes;
    QTest::newRow("src-with-percent") << request(3, "%2x", "getRoutes") << "zeto/db/response/%2x/3"
                                      << ok("getRoutes", routes) << handlingRoutes;

    QTest::newRow("stop-groups") << request(9, "ui", "getStopGroups", axisParam(5)) << "zeto/db/response/ui/9"
                                 << ok("getStopGroups", axisFiveGroups()) << handlingStops;
    QTest::newRow("stop-groups-axis-without-stops")
        << request(9, "ui", "getStopGroups", axisParam(1)) << "zeto/db/response/ui/9" << ok("getStopGroups", {})
        << handlingStops;
    QTest::newRow("stop-groups-unknown-axis")
        << request(9, "ui", "getStopGroups", axisParam(12)) << "zeto/db/response/ui/9"
        << failed("getStopGroups", "Could not find axis id : 12") << "[DBManager] ERROR: Could not find axis : 12";
    QTest::newRow("stop-groups-no-params")
        << request(9, "ui", "getStopGroups") << "zeto/db/response/ui/9" << failed("getStopGroups", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getStopGroups' request params";
    QTest::newRow("stop-groups-negative-axis")
        << request(9, "ui", "getStopGroups", axisParam(-1)) << "zeto/db/response/ui/9"
        << failed("getStopGroups", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getStopGroups' request params";
    QTest::newRow("stop-groups-prefixed-name")
        << request(9, "ui", "getStopGroups", axisParam(5, "route_axis_id")) << "zeto/db/response/ui/9"
        << ok("getStopGroups", axisFiveGroups()) << handlingStops;
    QTest::newRow("stop-groups-last-axis-counts")
        << request(9, "ui", "getStopGroups",
                   QJsonArray{QJsonObject{{"name", "axis_id"}, {"value", 12}}, QJsonObject{{"name", "lang"}},
                              QJsonObject{{"name", "axis_id"}, {"value", 5}}})
        << "zeto/db/response/ui/9" << ok("getStopGroups", axisFiveGroups()) << handlingStops;
    QTest::newRow("stop-groups-name-case-differs")
        << request(9, "ui", "getStopGroups", axisParam(5, "AXIS_ID")) << "zeto/db/response/ui/9"
        << failed("getStopGroups", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getStopGroups' request params";
    QTest::newRow("stop-groups-params-not-objects")
        << request(9, "ui", "getStopGroups", QJsonArray{5, "axis_id", QJsonValue::Null}) << "zeto/db/response/ui/9"
        << failed("getStopGroups", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getStopGroups' request params";

    QTest::newRow("fare-products-no-params")
        << request(4, "ui", "getFareProducts", QJsonArray()) << "zeto/db/response/ui/4"
        << failed("getFareProducts", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getFareProducts' request params";
    QTest::newRow("fare-products-negative-axis")
        << request(4, "ui", "getFareProducts", axisParam(-1)) << "zeto/db/response/ui/4"
        << failed("getFareProducts", missing)
        << "[DBManager] ERROR: Could not find axis_id in 'getFareProducts' request params";
    QJsonObject empty = ok("getFareProducts", {});
    empty.insert("numberOfColumns", 3);
    QTest::newRow("fare-products-unknown-axis")
        << request(4, "ui", "getFareProducts", axisParam(12)) << "zeto/db/response/ui/4" << empty << handlingFares;
    QTest::newRow("fare-products-axis-as-text")
        << request(4, "ui", "getFareProducts", axisParam("5")) << "zeto/db/response/ui/4" << empty << handlingFares;
}

void tst_DBManagerMock::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, expectedTopic);
    QFETCH(QJsonObject, expected);
    QFETCH(QString, expectedLog);

    const QList<MqttPeer::Message> answers = exchange(request);
    QCOMPARE(answers.size(), 1);
    QCOMPARE(answers.first().topic, expectedTopic);
    QCOMPARE(answers.first().qos, 0);
    QVERIFY(!answers.first().retain);
    // Indented, as the service writes its answers.
    QVERIFY(answers.first().payload.contains("\n    \""));
    QJsonObject answer = QJsonDocument::fromJson(answers.first().payload).object();
    QVERIFY(answer.contains("timestamp"));
    answer.remove("timestamp");
    QVERIFY2(answer == expected, qPrintable(text(answer) + " expected " + text(expected)));
    QVERIFY2(mLog->contains(expectedLog), qPrintable(mLog->texts().join('\n')));
}

void tst_DBManagerMock::fareProductRecords()
{
    const QList<MqttPeer::Message> answers = exchange(request(11, "ui", "getFareProducts", axisParam(5)));
    QCOMPARE(answers.size(), 1);
    const QJsonObject answer = QJsonDocument::fromJson(answers.first().payload).object();
    QCOMPARE(answer.value("numberOfColumns"), QJsonValue(3));
    QCOMPARE(answer.value("error").toObject(), (QJsonObject{{"error", ""}, {"id", 0}}));

    const QJsonArray records = answer.value("resp").toArray();
    // Products come in ascending id; within one, its base fares in the fare manager's link
    // order, which is not fixed: compare them sorted.
    QList<QPair<int, QString>> seen;
    QHash<QString, QJsonObject> byFare;
    for (const QJsonValue &record : records) {
        const QString zones = QString::fromUtf8(QJsonDocument(record["validStopGroups"].toArray()).toJson(QJsonDocument::Compact));
        seen << qMakePair(record["fareProductId"].toInt(), zones);
        byFare.insert(QStringLiteral("%1:%2").arg(record["fareProductId"].toInt()).arg(zones), record.toObject());
    }
    for (int i = 1; i < seen.size(); ++i)
        QVERIFY(seen.at(i - 1).first <= seen.at(i).first);
    std::sort(seen.begin(), seen.end());
    // Product 6 is sold on cards only; each product gives one record per base fare.
    const QList<QPair<int, QString>> expectedSeen{
        {1, "[10,20]"}, {1, "[10,30,20]"}, {2, "[0,0]"}, {3, "[0,0]"}, {3, "[]"}, {4, "[0,0]"}, {4, "[10,99]"},
    };
    QCOMPARE(seen, expectedSeen);

    const QJsonObject passenger{{"id", 1},          {"code", "PT_ADULT"}, {"ageFrom", 18},  {"ageTo", 64},
                                {"description", "Ενήλικας"}, {"discount", 0.25}, {"gracePeriod", "P1D"},
                                {"category", 2},    {"isDefault", true},  {"active", true}};
    const QJsonObject first{
        {"axisId", QJsonValue::Null},
        {"carrierId", 7},
        {"color", "#FF0000"},
        {"fareDiscount", 0.5},
        {"fareProductId", 1},
        {"fareProductName", "Προϊόν 1"},
        {"hasExpired", false},
        {"image", ""},
        {"isAxisFare", false},
        {"isCityZoneFare", false},
        {"isDaily", false},
        {"isPaperTicket", true},
        {"isReturnFee", true},
        {"isZoneFare", true},
        {"passengerTypes", QJsonArray{passenger}},
        {"paymentChannel", QJsonArray{QJsonObject{{"paymentChannel", QJsonObject{{"id", 1}, {"code", "PC_DRIVER"}}}}}},
        {"paymentMethod", QJsonArray{QJsonObject{{"paymentMethod", QJsonObject{{"id", 1}, {"code", "PM_CASH"}}}}}},
        {"position", 2},
        {"price", 1.5},
        {"ticketMaterial", QJsonArray{QJsonObject{{"ticketMaterial", QJsonObject{{"id", 1}, {"code", kPaper}}}}}},
        {"validFrom", "FROM_VALIDATION"},
        {"validPerRoute", false},
        {"validStopGroups", ints({10, 20})},
        {"fromStopGroupId", 10},
        {"toStopGroupId", 20},
        {"validityPeriodMin", 90},
    };
    const QJsonObject zoneRecord = byFare.value("1:[10,20]");
    QVERIFY2(zoneRecord == first, qPrintable(text(zoneRecord) + " expected " + text(first)));

    // The second record differs only in the base fare's fields.
    QJsonObject second = first;
    second["isZoneFare"] = false;
    second["isCityZoneFare"] = true;
    second["validStopGroups"] = ints({10, 30, 20});
    second["toStopGroupId"] = 20;
    const QJsonObject cityRecord = byFare.value("1:[10,30,20]");
    QVERIFY2(cityRecord == second, qPrintable(text(cityRecord) + " expected " + text(second)));

    // No position and no colour read as null; so does a negative position.
    const QJsonObject plain = byFare.value("2:[0,0]");
    QCOMPARE(plain["color"], QJsonValue(QJsonValue::Null));
    QCOMPARE(plain["position"], QJsonValue(QJsonValue::Null));
    QCOMPARE(plain["price"], QJsonValue(2.5));
    QCOMPARE(plain["isAxisFare"], QJsonValue(true));
    QCOMPARE(byFare.value("3:[0,0]")["position"], QJsonValue(QJsonValue::Null));
    // A city-zone fare without zones still answers.
    const QJsonObject noZones = byFare.value("3:[]");
    QCOMPARE(noZones["isCityZoneFare"], QJsonValue(true));
    QCOMPARE(noZones["fromStopGroupId"], QJsonValue(0));
    QCOMPARE(noZones["toStopGroupId"], QJsonValue(0));
    QCOMPARE(noZones["passengerTypes"], QJsonValue(QJsonArray()));
}

void tst_DBManagerMock::fareProductLogLines()
{
    QCOMPARE(exchange(request(12, "ui", "getFareProducts", axisParam(5))).size(), 1);
    QStringList lines = mLog->texts().filter(QStringLiteral("| FP : "));
    lines.sort();
    QStringList expected{
        "[DBManager]  -      ZONE | FP : Product 1 | A --> B | [10,20]",
        "[DBManager]  - CITY ZONE | FP : Product 1 | A --> B | [10,30,20]",
        "[DBManager]  -      ZONE | FP : Product 2 | ? --> ? | [0,0]",
        "[DBManager]  -      ZONE | FP : Product 3 | ? --> ? | [0,0]",
        "[DBManager]  - CITY ZONE | FP : Product 3 | ? --> ? | []",
        "[DBManager]  -      ZONE | FP : Product 4 | ? --> ? | [0,0]",
        "[DBManager]  -      ZONE | FP : Product 4 | A --> ? | [10,99]",
    };
    expected.sort();
    QCOMPARE(lines, expected);
}

void tst_DBManagerMock::timestampIsLocalTimeWithoutZone()
{
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY2(QDateTime::currentDateTime().offsetFromUtc() < 0, "no time-zone data for America/New_York");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const QList<MqttPeer::Message> answers = exchange(request(1, "ui", "getFareProducts"));
    QCOMPARE(answers.size(), 1);
    const QString stamp = QJsonDocument::fromJson(answers.first().payload).object().value("timestamp").toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(stamp).hasMatch(), qPrintable(stamp));
    const QDateTime read = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    QVERIFY2(read >= before.addMSecs(-before.time().msec()) && read <= QDateTime::currentDateTime(), qPrintable(stamp));
}

void tst_DBManagerMock::dropped_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("expectedLog"); // empty: nothing logged about it

    QTest::newRow("src-empty") << request(1, "", "getRoutes")
                               << "[DBManager] WARN: Dropped 'getRoutes' DB request : unusable src \"\"";
    QTest::newRow("src-absent") << request(1, QJsonValue::Undefined, "getStopGroups", axisParam(5))
                                << "[DBManager] WARN: Dropped 'getStopGroups' DB request : unusable src \"\"";
    QTest::newRow("src-not-text") << request(1, 5, "getRoutes")
                                  << "[DBManager] WARN: Dropped 'getRoutes' DB request : unusable src \"\"";
    QTest::newRow("src-separator") << request(1, "ui/other", "getRoutes")
                                   << "[DBManager] WARN: Dropped 'getRoutes' DB request : unusable src \"ui/other\"";
    QTest::newRow("src-plus") << request(1, "+", "getFareProducts", axisParam(5))
                              << "[DBManager] WARN: Dropped 'getFareProducts' DB request : unusable src \"+\"";
    QTest::newRow("src-hash") << request(1, "ui#", "getRoutes")
                              << "[DBManager] WARN: Dropped 'getRoutes' DB request : unusable src \"ui#\"";
    QTest::newRow("src-nul") << request(1, QString::fromUtf8("ui\0x", 4), "getRoutes")
                             << "[DBManager] WARN: Dropped 'getRoutes' DB request : unusable src \"ui\\u0000x\"";
    QTest::newRow("unknown-method") << request(1, "ui", "getSomething") << QString();
    QTest::newRow("method-case") << request(1, "ui", "GetRoutes") << QString();
    QTest::newRow("own-request") << request("3", "zub", "getValidatedTicket") << QString();
    QTest::newRow("not-an-object") << QByteArray("[1, 2, 3]") << QString();
    QTest::newRow("malformed") << QByteArray("{\"method\": \"getRoutes\"")
                               << "[DBManager] Received malformed data on topic: zeto/db/request";
}

void tst_DBManagerMock::dropped()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, expectedLog);

    QCOMPARE(exchange(request).size(), 0);
    QStringList lines = mLog->texts().filter(QStringLiteral("[DBManager] "));
    lines = lines.filter(QRegularExpression(QStringLiteral("^(?!.*(probe|Handling 'getRoutes')).*$")));
    QCOMPARE(lines, expectedLog.isEmpty() ? QStringList() : QStringList{expectedLog});
}

void tst_DBManagerMock::paperTicketRequestsRaiseSignals_data()
{
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("expectedSingle");
    QTest::addColumn<int>("expectedMultiple");
    QTest::newRow("single") << "issueSingleTicket" << 1 << 0;
    QTest::newRow("multiple") << "issueMultipleTickets" << 0 << 1;
    QTest::newRow("other") << "issueTickets" << 0 << 0;
}

void tst_DBManagerMock::paperTicketRequestsRaiseSignals()
{
    QFETCH(QString, method);
    QFETCH(int, expectedSingle);
    QFETCH(int, expectedMultiple);

    QSignalSpy single(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
    QSignalSpy multiple(mDb.get(), &DBManager::onMultipleTicketsIssuingStarted);
    // Whatever its requester: nothing is published on a topic made from it.
    QCOMPARE(exchange(request(2, "", method)).size(), 0);
    QCOMPARE(single.count(), expectedSingle);
    QCOMPARE(multiple.count(), expectedMultiple);
}

void tst_DBManagerMock::notAnsweredWhileMockOff()
{
    setSetting(QStringLiteral("db/mock_dbman"), false);
    mPeer->mqtt().publish(kRequestTopic, request(21, "ui", "getRoutes"));
    mPeer->mqtt().publish(kRequestTopic, request(22, "ui", "getRoutes"));
    QSignalSpy single(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
    mPeer->mqtt().publish(kRequestTopic, request(23, "ui", "issueSingleTicket"));
    QVERIFY(single.wait(10000));
    QCOMPARE(mPeer->mqtt().count(QStringLiteral("zeto/db/response/ui/21")), 0);
    QCOMPARE(mPeer->mqtt().count(QStringLiteral("zeto/db/response/ui/22")), 0);
}

// The data of the example back-end (scripts/run --backend) load and give the answers the
// README promises. Replaces the gateway of the tests before it.
void tst_DBManagerMock::exampleDataAnswers()
{
    for (const char *name : {"routes.json", "fares.json"}) {
        QFile file(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(name));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QVERIFY(mEnv.writeFile(QStringLiteral("tarvik/127_0_0_1/example/") + QLatin1String(name), file.readAll()));
    }
    mDb.reset();
    mClient.reset();
    QVERIFY(startGateway(QStringLiteral("http://127.0.0.1:9/example")));
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData()->findFareProduct(201), 10000);

    const auto resp = [this](const QByteArray &payload) {
        const QList<MqttPeer::Message> answers = exchange(payload);
        return answers.isEmpty() ? QJsonArray() : QJsonDocument::fromJson(answers.first().payload)["resp"].toArray();
    };
    QCOMPARE(resp(request(1, "ui", "getRoutes")).size(), 2);
    const QJsonArray groups = resp(request(2, "ui", "getStopGroups", axisParam(101)));
    QCOMPARE(groups.size(), 3);
    QCOMPARE(groups.last()["ordinal"], QJsonValue(5));
    QCOMPARE(groups.last()["stops"].toArray().last()["publicStopId"], QJsonValue("S06"));
    QSet<int> products;
    for (const QJsonValue &record : resp(request(3, "ui", "getFareProducts", axisParam(101))))
        products << record["fareProductId"].toInt();
    QCOMPARE(products, (QSet<int>{201, 202, 203}));
}

// Runs last: it replaces the gateway of the other tests by one without a back-end link.
void tst_DBManagerMock::withoutBackendLinkAnswersEmpty()
{
    mDb.reset();
    mClient.reset();
    QVERIFY(startGateway(QString()));
    QCOMPARE(mDb->routeData(), nullptr);
    QCOMPARE(mDb->fareData(), nullptr);

    QJsonObject fares = ok("getFareProducts", {});
    fares.insert("numberOfColumns", 3);
    const QList<QPair<QByteArray, QJsonObject>> exchanges{
        {request(31, "ui", "getRoutes"), ok("getRoutes", {})},
        {request(32, "ui", "getFareProducts", axisParam(5)), fares},
        {request(33, "ui", "getStopGroups", axisParam(5)), failed("getStopGroups", "Could not find axis id : 5")},
    };
    for (const auto &pair : exchanges) {
        const QList<MqttPeer::Message> answers = exchange(pair.first);
        QCOMPARE(answers.size(), 1);
        QJsonObject answer = QJsonDocument::fromJson(answers.first().payload).object();
        answer.remove("timestamp");
        QVERIFY2(answer == pair.second, qPrintable(text(answer)));
    }
}

QTEST_GUILESS_MAIN(tst_DBManagerMock)
#include "tst_dbmanager_mock.moc"
