#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "inspection/cardinspector.h"

#include "support/harness.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString kAutoread = QStringLiteral("zeto/rfid/card/autoread");
const QString kTag = QStringLiteral("[card_inspector]  ");

QJsonObject sampleObject(const QString &name) { return JsonPath::readFile(CARDS_DIR "/" + name + ".json").object(); }
QByteArray sample(const QString &name) { return QJsonDocument(sampleObject(name)).toJson(QJsonDocument::Compact); }

} // namespace

// The inspection service on a private broker, a peer in the card reader's and the database
// service's place.
class tst_CardInspector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }
    void init();
    void cleanup() { mRig.reset(); }
    void tappedCardGivesReaderRequestsAndResult_data();
    void tappedCardGivesReaderRequestsAndResult();

private:
    // What a test starts, torn down in reverse order.
    struct Rig
    {
        TestEnv env;
        LogCapture log;
        MqttPeer peer;
        manager::MqttClient client;
        std::unique_ptr<DBManager> db;
        std::unique_ptr<CardInspector> inspector;
    };
    // The reader requests seen, as "<topic below zeto/rfid/> <payload>".
    QStringList requests() const;

    BrokerFixture mBroker;
    std::unique_ptr<Rig> mRig;
};

// Builds the row's service as the controller does; once the client's own probe comes back, the
// broker holds every subscription. The device record then names the row's carrier.
void tst_CardInspector::init()
{
    QFETCH(QJsonObject, row);
    mRig = std::make_unique<Rig>();
    Rig &r = *mRig;
    QVERIFY(Harness::useSettings(r.env));
    QVERIFY(r.peer.connectTo(mBroker.host(), mBroker.port()) && r.peer.subscribe("zeto/rfid/#", 2));
    Configuration().set("rfid/card_type", row["cardTypes"].toString());
    r.db = std::make_unique<DBManager>(&r.client);
    r.inspector = std::make_unique<CardInspector>(&r.client, *r.db);
    QSignalSpy device(r.db.get(), &DBManager::onDeviceChanged);
    QVERIFY(Harness::connect(r.client, mBroker));
    r.peer.publish("zeto/db/status", R"({"service":true,"state":1,"device":{"carrierId":)" + QByteArray::number(row["carrier"].toInt()) + "}}");
    QVERIFY(device.wait(5000));
    r.peer.clear();
}

QStringList tst_CardInspector::requests() const
{
    QStringList out;
    for (const MqttPeer::Message &message : mRig->peer.messages()) {
        if (message.topic.contains(QLatin1String("/request/")))
            out << message.topic.mid(10) + ' ' + QString::fromUtf8(message.payload);
    }
    return out;
}

// One tap each, from data/cardinspection.json: a card sent first while the reader's signals are
// blocked ("dropped"), the card and the key taken "without", the reader requests and log lines
// (after kTag) expected, and the result ("inspected" -1: cardInspectionError).
void tst_CardInspector::tappedCardGivesReaderRequestsAndResult_data()
{
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue &row : JsonPath::readFile(TEST_DATA_DIR "/cardinspection.json").array())
        QTest::newRow(qPrintable(row["row"].toString())) << row.toObject();
}

void tst_CardInspector::tappedCardGivesReaderRequestsAndResult()
{
    QFETCH(QJsonObject, row);
    const int inspected = row["inspected"].toInt();
    QStringList expectedRequests = row["requests"].toVariant().toStringList();
    expectedRequests.replaceInStrings("@emv-data.expected", sample("emv-data.expected"));
    QSignalSpy results(mRig->inspector.get(), &CardInspector::inspectedCard);
    QSignalSpy errors(mRig->inspector.get(), &CardInspector::cardInspectionError);
    if (row.contains("dropped")) {
        QSignalSpy heard(&mRig->client, &manager::MqttClient::received);
        mRig->log.clear();
        mRig->inspector->blockRfidSignals(true);
        QVERIFY(mRig->peer.publish(kAutoread, sample(row["dropped"].toString())) >= 0);
        QVERIFY(heard.wait(5000));
        QCoreApplication::processEvents();
        QVERIFY(mRig->log.texts().filter("[card_inspector]").isEmpty());
        mRig->inspector->blockRfidSignals(false);
    }
    const QJsonObject card = JsonPath::removed(sampleObject(row["card"].toString()), row["without"].toString());
    QVERIFY(mRig->peer.publish(kAutoread, QJsonDocument(card).toJson(QJsonDocument::Compact)) >= 0);
    QTRY_COMPARE_WITH_TIMEOUT(requests().size(), expectedRequests.size(), 5000);
    QCOMPARE(requests(), expectedRequests);
    QCOMPARE(QList<int>({errors.count(), results.count()}), QList<int>({inspected < 0, inspected >= 0}));
    if (inspected >= 0)
        QCOMPARE(results.at(0).at(0).value<InspectorResult>().getResult(), inspected == 1);
    for (const QString &line : row["logs"].toVariant().toStringList())
        QVERIFY2(mRig->log.contains(kTag + line), qPrintable(line));
}

QTEST_GUILESS_MAIN(tst_CardInspector)
#include "tst_cardinspector.moc"
