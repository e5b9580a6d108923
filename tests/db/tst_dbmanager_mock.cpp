#include "db/dbmanager.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "gatewayrig.h"

#include "support/jsonpath.h"
#include "support/logcapture.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

// The gateway standing in for the database service, over the example back-end's data: every
// request of data/mock-requests.json and what it answered (topics, answers without their time
// stamp, the gateway's log lines) pinned in data/mock-answers.expected.json, which
// ZUB_WRITE_GOLDEN=1 writes.
namespace {

const QString kRequestTopic = QStringLiteral("zeto/db/request");
const QString Expected = QStringLiteral(MOCK_DATA_DIR "/mock-answers.expected.json");

QByteArray request(int id, const QString &src, const QString &method)
{
    return QJsonDocument(QJsonObject{{"id", id}, {"src", src}, {"method", method}}).toJson(QJsonDocument::Compact);
}

} // namespace

class tst_DBManagerMock : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { mLog = std::make_unique<LogCapture>(); }
    void cleanup() { mLog.reset(); }

    void answers_data();
    void answers();
    void timestampIsLocalTimeWithoutZone();
    void notAnsweredWhileMockOffOrWithoutData();

private:
    // Publishes the raw request and a probe behind it; what the gateway did before answering
    // the probe: it answers in the order of the requests.
    QJsonObject exchange(const QByteArray &payload);

    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<LogCapture> mLog;
    int mProbe = 1000;
};

QJsonObject tst_DBManagerMock::exchange(const QByteArray &payload)
{
    const QString probeTopic = QStringLiteral("zeto/db/response/probe/%1").arg(++mProbe);
    MqttPeer &mqtt = mRig.peer().mqtt();
    const int before = mqtt.messages().size();
    mLog->clear();
    mqtt.publish(kRequestTopic, payload);
    mqtt.publish(kRequestTopic, request(mProbe, "probe", "getRoutes"));
    if (!mqtt.waitForMessages(probeTopic, 1, 10000))
        return {};
    QJsonArray topics, answers;
    for (const MqttPeer::Message &message : mqtt.messages().mid(before)) {
        if (message.topic == probeTopic)
            break;
        if (!message.topic.startsWith(QLatin1String("zeto/db/response/")))
            continue;
        QJsonObject answer = QJsonDocument::fromJson(message.payload).object();
        // Indented, as the service writes its answers; the time stamp has a test of its own.
        if (!message.payload.contains("\n    \"") || message.retain || !answer.contains("timestamp"))
            answer.insert("badly-published", true);
        answer.remove("timestamp");
        topics.append(message.topic);
        answers.append(answer);
    }
    QJsonArray log;
    for (const QString &line : mLog->texts()) {
        if (line.startsWith(QLatin1String("[DBManager] ")) && !line.contains(QLatin1String("probe"))
            && !line.contains(QLatin1String(" msec")))
            log.append(line);
    }
    if (log.size() > 0 && log.last().toString() == QLatin1String("[DBManager] Handling 'getRoutes' DB request"))
        log.removeLast(); // the probe's
    return QJsonObject{{"topics", topics}, {"answers", answers}, {"log", log}};
}

void tst_DBManagerMock::initTestCase()
{
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    // The managers only read their files: no sync with a back-end, of which none listens.
    QVERIFY(mRig.prepare({{"db/mock_dbman", true}, {"tarvik/url", "http://127.0.0.1:9/example"},
                          {"tarvik/routeDataSyncMin", 0}, {"tarvik/fareDataSyncMin", 0},
                          {"tarvik/actionListSyncMin", 0}}));
    for (const char *name : {"routes.json", "fares.json"}) {
        QFile file(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(name));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QVERIFY(mRig.env().writeFile(QStringLiteral("tarvik/127_0_0_1/example/") + QLatin1String(name), file.readAll()));
    }
    QVERIFY(mRig.start(mBroker, true));
    QVERIFY(mRig.peer().listen(QStringLiteral("zeto/db/response/#")));
    QTRY_VERIFY_WITH_TIMEOUT(mRig.db()->fareData()->findFareProduct(201), 10000);
    QVERIFY(mRig.db()->routeData()->findAxis(101));

    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        mLog = std::make_unique<LogCapture>();
        const QJsonObject requests = JsonPath::readFile(QStringLiteral(MOCK_DATA_DIR "/mock-requests.json")).object();
        QJsonObject expected;
        for (auto it = requests.begin(); it != requests.end(); ++it)
            expected.insert(it.key(), exchange(it.value().toString().toUtf8()));
        QFile file(Expected);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(expected).toJson());
        mLog.reset();
    }
}

void tst_DBManagerMock::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QJsonObject>("expected");
    const QJsonObject requests = JsonPath::readFile(QStringLiteral(MOCK_DATA_DIR "/mock-requests.json")).object();
    const QJsonObject expected = JsonPath::readFile(Expected).object();
    QVERIFY(!requests.isEmpty());
    for (auto it = requests.begin(); it != requests.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.value().toString().toUtf8() << expected.value(it.key()).toObject();
}

void tst_DBManagerMock::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QJsonObject, expected);
    const QJsonObject actual = exchange(request);
    QVERIFY2(actual == expected, JsonPath::describeMismatch(actual, expected).constData());
}

void tst_DBManagerMock::timestampIsLocalTimeWithoutZone()
{
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY2(QDateTime::currentDateTime().offsetFromUtc() < 0, "no time-zone data for America/New_York");
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    MqttPeer &mqtt = mRig.peer().mqtt();
    mqtt.publish(kRequestTopic, request(1, "stamp", "getFareProducts"));
    QVERIFY(mqtt.waitForMessages(QStringLiteral("zeto/db/response/stamp/1"), 1, 10000));
    const QString stamp = QJsonDocument::fromJson(mqtt.messages(QStringLiteral("zeto/db/response/stamp/1")).first().payload)
                              .object().value("timestamp").toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d$").match(stamp).hasMatch(), qPrintable(stamp));
    const QDateTime read = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-ddThh:mm:ss"));
    QVERIFY2(read >= before.addMSecs(-before.time().msec()) && read <= QDateTime::currentDateTime(), qPrintable(stamp));
}

void tst_DBManagerMock::notAnsweredWhileMockOffOrWithoutData()
{
    GatewayRig::setSetting(QStringLiteral("db/mock_dbman"), false);
    MqttPeer &mqtt = mRig.peer().mqtt();
    mqtt.publish(kRequestTopic, request(21, "ui", "getRoutes"));
    QSignalSpy single(mRig.db(), &DBManager::onPaperTicketIssuingStarted);
    mqtt.publish(kRequestTopic, request(23, "ui", "issueSingleTicket"));
    QVERIFY(single.wait(10000));
    QCOMPARE(mqtt.count(QStringLiteral("zeto/db/response/ui/21")), 0);

    // Without a back-end link there is no data to answer from: empty answers, a failure for
    // the stop groups of an axis.
    GatewayRig::setSetting(QStringLiteral("db/mock_dbman"), true);
    GatewayRig::setSetting(QStringLiteral("tarvik/url"), QString());
    mRig.stop();
    QVERIFY(mRig.start(mBroker, true));
    QVERIFY(mRig.peer().listen(QStringLiteral("zeto/db/response/#")));
    QCOMPARE(mRig.db()->routeData(), nullptr);
    const QJsonObject routes = exchange(request(31, "ui", "getRoutes"));
    QCOMPARE(routes.value("answers").toArray().at(0).toObject().value("resp"), QJsonValue(QJsonArray()));
    const QJsonObject groups = exchange(R"({"id":33,"src":"ui","method":"getStopGroups","params":[{"name":"axis_id","value":5}]})");
    QCOMPARE(groups.value("answers").toArray().at(0).toObject().value("error").toObject().value("error"),
             QJsonValue("Could not find axis id : 5"));
}

QTEST_GUILESS_MAIN(tst_DBManagerMock)
#include "tst_dbmanager_mock.moc"
