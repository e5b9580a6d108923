#include "qr/qrmanager.h"
#include "support/harness.h"
#include "support/logcapture.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QVariantMap mapOf(const QByteArray &json) { return QJsonDocument::fromJson(json).object().toVariantMap(); }

} // namespace

// The scanner client against a private broker, with a test peer in the scanner service's place.
class tst_QRManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }
    void cleanup() { mRig.reset(); }
    void scanningFlagFollowsAnswersAndStatus_data();
    void scanningFlagFollowsAnswersAndStatus();
    void messageGivesItsSignalAndLogLines_data();
    void messageGivesItsSignalAndLogLines();

private:
    bool start(const QByteArray &ini = QByteArray());
    QString gate();

    BrokerFixture mBroker;
    // What a test starts, torn down in reverse order.
    struct Rig
    {
        TestEnv env;
        QrScannerPeer peer;
        manager::MqttClient client;
        LogCapture log;
        std::unique_ptr<QRManager> manager;
        QList<QPair<QString, QVariant>> fired; // the manager's signals, named, with their value
    };
    std::unique_ptr<Rig> mRig;
};

// Settings, peer, manager and its client, which holds every subscription of the manager.
bool tst_QRManager::start(const QByteArray &ini)
{
    mRig = std::make_unique<Rig>();
    if (!Harness::useSettings(mRig->env, ini) || !mRig->peer.connectTo(mBroker.host(), mBroker.port()))
        return false;
    mRig->manager = std::make_unique<QRManager>(&mRig->client);
    auto record = [this](const char *name) {
        return [this, name](const auto &value) { mRig->fired.append({QLatin1String(name), QVariant::fromValue(value)}); };
    };
    connect(mRig->manager.get(), &QRManager::status, this, record("status"));
    connect(mRig->manager.get(), &QRManager::info, this, record("info"));
    connect(mRig->manager.get(), &QRManager::config, this, record("config"));
    connect(mRig->manager.get(), &QRManager::error, this, record("error"));
    connect(mRig->manager.get(), &QRManager::ticketScanned, this, record("ticketScanned"));
    connect(mRig->manager.get(), &QRManager::maintenanceQrScanned, this,
            [this](const QJsonObject &data) { mRig->fired.append({"maintenanceQrScanned", data.toVariantMap()}); });
    const bool ok = Harness::connect(mRig->client, mBroker);
    mRig->log.clear();
    return ok;
}

// Which of enable() and disable() goes out tells the scanning flag (exactly one does).
QString tst_QRManager::gate()
{
    mRig->peer.clear();
    mRig->manager->enable();
    mRig->manager->disable();
    mRig->manager->reset(); // a fence: the client's messages arrive in order
    if (!mRig->peer.waitForCommands(2))
        return QStringLiteral("timeout");
    const QStringList seen = mRig->peer.commands();
    return seen.size() == 2 && seen.at(1) == QLatin1String("reset") ? seen.at(0) : seen.join(',');
}

void tst_QRManager::scanningFlagFollowsAnswersAndStatus_data()
{
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QString>("health");
    QTest::addColumn<QString>("gate");
    const auto report = [](const char *service, const char *active, const char *enabled) {
        return QStringLiteral(R"({"service":%1,"device":{"active":%2,"enabled":%3}})").arg(service, active, enabled).toUtf8();
    };
    QTest::newRow("scanning") << report("true", "true", "true") << "GOOD" << "disable";
    QTest::newRow("active-not-enabled") << report("true", "true", "false") << "GOOD" << "enable";
    QTest::newRow("not-active") << report("true", "false", "true") << "WARNING" << "enable";
    QTest::newRow("service-not-boolean") << report("1", "true", "true") << "CRITICAL" << "enable";
    QTest::newRow("empty-payload") << QByteArray() << "CRITICAL" << "enable";
}

void tst_QRManager::scanningFlagFollowsAnswersAndStatus()
{
    QFETCH(QByteArray, report);
    QFETCH(QString, health);
    QFETCH(QString, gate);
    QVERIFY(start());
    QCOMPARE(mRig->manager->serviceStatus(), QString());
    QCOMPARE(this->gate(), QStringLiteral("enable"));
    // The peer answers a command with the state it leads to; the flag follows only that.
    mRig->peer.setAnswering(true);
    mRig->manager->enable();
    QTRY_COMPARE(mRig->fired.size(), 1);
    mRig->peer.setAnswering(false);
    QCOMPARE(this->gate(), QStringLiteral("disable"));
    QCOMPARE(mRig->log.count("[qr] Disable request"), 1);

    QVERIFY(mRig->peer.publishRaw("status", report));
    QTRY_COMPARE(mRig->fired.size(), 2);
    QCOMPARE(mRig->fired.last(), qMakePair(QStringLiteral("status"), QVariant(mapOf(report))));
    QCOMPARE(mRig->manager->serviceStatus(), health);
    QCOMPARE(this->gate(), gate);

    // Not gated; the body indented, one member per line.
    const QVariantMap config{{"beep", true}, {"mode", 2}};
    const QByteArray body = QJsonDocument(QJsonObject::fromVariantMap(config)).toJson();
    mRig->peer.clear();
    QVERIFY(QMetaObject::invokeMethod(mRig->manager.get(), "setConfig", Q_ARG(QVariantMap, config)));
    QVERIFY(mRig->peer.waitForCommands(1));
    QCOMPARE(mRig->peer.lastPayload("config/set"), body);
    QVERIFY(mRig->log.contains("[qr] Set configuration request:\n" + body));
}

// The rows of data/messages.json, and those whose texts are built here.
void tst_QRManager::messageGivesItsSignalAndLogLines_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("subTopic");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("signal"); // empty: nothing emitted
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QStringList>("logs"); // each logged, the last one last of all
    const auto scanned = [](const QString &text) { return QJsonDocument(QJsonObject{{"data", text}}).toJson(); };
    const auto enciphered = [](const QByteArray &plain) { return QrTestKey::encipher(QrTestKey::pad(plain)); };
    for (const QJsonValue &row : JsonPath::readFile(TEST_DATA_DIR "/messages.json").array()) {
        const QJsonValue payload = row["payload"];
        const QByteArray bytes = row["scan"].isString() ? scanned(row["scan"].toString())
            : row["cipher"].isString()                  ? scanned(enciphered(row["cipher"].toString().toLatin1()))
            : payload.isString() ? payload.toString().toUtf8() : QJsonDocument::fromVariant(payload.toVariant()).toJson();
        QTest::newRow(qPrintable(row["row"].toString())) << row["ini"].toString().toUtf8() << row["topic"].toString("barcode")
            << bytes << row["signal"].toString() << row["value"].toVariant() << row["logs"].toVariant().toStringList();
    }
    const auto scan = [&](const char *name, const QString &text, const QString &signal, const QVariant &value,
                          const QString &log) {
        QTest::newRow(name) << QByteArray() << "barcode" << scanned(text) << signal << value << QStringList{log};
    };
    QJsonParseError parseError;
    QJsonDocument::fromJson("{oops", &parseError);
    scan("malformed-maintenance", "{oops", QString(), QVariant(),
         "[qr] WARN: Maintenance QR scanned with malformed data :" + parseError.errorString());
    scan("oversize", QString(8193, 'A'), QString(), QVariant(), "[qr] WARN: Scanned data of 8193 characters dropped: above 8192");
}

void tst_QRManager::messageGivesItsSignalAndLogLines()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, subTopic);
    QFETCH(QByteArray, payload);
    QFETCH(QString, signal);
    QFETCH(QVariant, value);
    QFETCH(QStringList, logs);
    QVERIFY(start(ini));
    QVERIFY(mRig->peer.publishRaw(subTopic, payload));
    QTRY_VERIFY(mRig->log.contains(logs.last()));
    for (const QString &line : logs)
        QVERIFY2(mRig->log.contains(line), qPrintable(mRig->log.texts().join('\n')));
    QCOMPARE(mRig->fired.size(), signal.isEmpty() ? 0 : 1);
    if (!signal.isEmpty())
        QCOMPARE(mRig->fired.first(), qMakePair(signal, value));
}

QTEST_GUILESS_MAIN(tst_QRManager)
#include "tst_qrmanager.moc"
