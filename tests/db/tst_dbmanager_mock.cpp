#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "gatewayrig.h"

#include "support/goldenfile.h"
#include "support/logcapture.h"

// The gateway standing in for the database service, over the example back-end's data: every
// request of data/mock-requests.json and what it answered (topics, answers without their time
// stamp, the gateway's log lines) pinned in data/mock-answers.expected.json, which
// ZUB_WRITE_GOLDEN=1 writes.

class tst_DBManagerMock : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
        // The managers only read their files: no sync with a back-end, of which none listens.
        QVERIFY(mRig.prepare({{"db/mock_dbman", true}, {"tarvik/url", "http://127.0.0.1:9/example"}, {"tarvik/routeDataSyncMin", 0},
                              {"tarvik/fareDataSyncMin", 0}, {"tarvik/actionListSyncMin", 0}}));
        for (const QString name : {"routes.json", "fares.json"}) {
            QFile file(TEST_DATA_DIR "/" + name);
            QVERIFY(file.open(QIODevice::ReadOnly) && mRig.env().writeFile("tarvik/127_0_0_1/example/" + name, file.readAll()));
        }
        QVERIFY(mRig.start(mBroker, true) && mRig.peer().listen("zeto/db/response/#"));
        mLog = std::make_unique<LogCapture>();
        QTRY_VERIFY_WITH_TIMEOUT(mRig.db()->fareData()->findFareProduct(201), 10000);
        QVERIFY(mRig.db()->routeData()->findAxis(101));
    }

    void answers_data()
    {
        GoldenFile::addRows(JsonPath::readFile(MOCK_DATA_DIR "/mock-requests.json").object(), MOCK_DATA_DIR "/mock-answers.expected.json",
                            [this](const QString &, const QJsonValue &request) { return exchange(request.toString().toUtf8()); });
    }
    void answers()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(exchange(testCase.toString().toUtf8()), expected);
    }
private:
    QJsonObject exchange(const QByteArray &payload);

    BrokerFixture mBroker;
    GatewayRig mRig;
    std::unique_ptr<LogCapture> mLog;
    int mProbe = 1000;
};

// Publishes the raw request and a probe behind it; what the gateway did before answering the
// probe (it answers in the order of the requests). Answers are indented, not retained, and
// stamped with the local time without a zone, or marked as badly published.
QJsonObject tst_DBManagerMock::exchange(const QByteArray &payload)
{
    const QString probeTopic = QStringLiteral("zeto/db/response/probe/%1").arg(++mProbe);
    MqttPeer &mqtt = mRig.peer().mqtt();
    const int before = mqtt.messages().size();
    const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
    mLog->clear();
    mqtt.publish("zeto/db/request", payload);
    mqtt.publish("zeto/db/request", QStringLiteral(R"({"id":%1,"src":"probe","method":"getRoutes"})").arg(mProbe).toUtf8());
    if (!mqtt.waitForMessages(probeTopic, 1, 10000))
        return {};
    QJsonArray topics, answers, log;
    for (const MqttPeer::Message &message : mqtt.messages().mid(before)) {
        if (message.topic == probeTopic)
            break;
        if (!message.topic.startsWith("zeto/db/response/"))
            continue;
        QJsonObject answer = QJsonDocument::fromJson(message.payload).object();
        const QDateTime stamp = QDateTime::fromString(answer.take("timestamp").toString(), "yyyy-MM-ddThh:mm:ss");
        if (!message.payload.contains("\n    \"") || message.retain || stamp < since.addMSecs(-since.time().msec())
            || !(stamp <= QDateTime::currentDateTime()))
            answer.insert("badly-published", true);
        topics.append(message.topic);
        answers.append(answer);
    }
    for (const QString &line : mLog->texts()) {
        if (line.startsWith("[DBManager] ") && !line.contains(" msec") && !line.contains("probe"))
            log.append(line);
    }
    if (!log.isEmpty() && log.last() == "[DBManager] Handling 'getRoutes' DB request")
        log.removeLast(); // the probe's
    return {{"topics", topics}, {"answers", answers}, {"log", log}};
}

QTEST_GUILESS_MAIN(tst_DBManagerMock)
#include "tst_dbmanager_mock.moc"
