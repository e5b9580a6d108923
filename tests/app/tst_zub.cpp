#include "app/zub.h"
#include "app/zub_p.h"
#include "framework/configuration.h"
#include "framework/serialnumber.h"
#include "framework/version.h"

#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/childrun.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

// The program logs "[  s.mmm] text" per line on standard error when asked to ("-e").
QStringList loggedTexts(const QStringList &lines)
{
    static const QRegularExpression prefix(QStringLiteral("^\\[ *[0-9]+\\.[0-9]{3}\\] "));
    QStringList texts;
    for (const QString &line : lines) {
        const auto m = prefix.match(line);
        if (m.hasMatch())
            texts.append(line.mid(m.capturedLength()));
    }
    return texts;
}

bool somethingListensOn(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(1000);
}

using Files = QMap<QString, QByteArray>;

} // namespace

Q_DECLARE_METATYPE(Files)

// zub runs as a child process, each time from a folder of its own: its settings file lives
// next to the program.
class tst_ZUB : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void unionHoldsEveryComponentsDefaults();
    void versionNamesProgramAndVersion();
    void saveAndExit_data();
    void saveAndExit();
    void firstStartWritesEveryDefault();
    void connectsBothBrokers();
    void configSet_data();
    void configSet();

private:
    QString program() const { return mEnv->filePath("zub"); }
    QString path(const QString &name) const { return QFileInfo(mEnv->filePath(name)).absoluteFilePath(); }
    void verifyEveryDefault(const QString &file);
    QString portsFile(const QByteArray &more = QByteArray());

    BrokerFixture mBroker;
    std::unique_ptr<TestEnv> mEnv;
    QString mSerial;
};

void tst_ZUB::initTestCase()
{
    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mSerial = QString::fromStdString(getSerialNumber());
}

void tst_ZUB::init()
{
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(QFile::copy(QStringLiteral(ZUB_PATH), program()));
}

void tst_ZUB::cleanup()
{
    mEnv.reset();
}

void tst_ZUB::verifyEveryDefault(const QString &file)
{
    QSettings written(file, QSettings::IniFormat);
    const QMap<QString, QVariant> defaults = Configuration::defaults();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        QVERIFY2(written.contains(it.key()), qPrintable(file + " lacks " + it.key()));
}

QString tst_ZUB::portsFile(const QByteArray &more)
{
    const QByteArray port = QByteArray::number(mBroker.port());
    const QByteArray text = "[log]\nsyslog=false\n[zub]\nport=" + port + "\nobu_port=" + port + "\n" + more;
    if (!mEnv->writeFile("zub.conf", text))
        return QString();
    return path("zub.conf");
}

void tst_ZUB::unionHoldsEveryComponentsDefaults()
{
    const QMap<QString, QVariant> all = Configuration::defaults();
    int total = 0;
    for (const QMap<QString, QVariant> *defaults : ZUBPrivate::ComponentDefaults) {
        total += defaults->size();
        for (auto it = defaults->cbegin(); it != defaults->cend(); ++it) {
            QVERIFY2(all.contains(it.key()), qPrintable(it.key()));
            QCOMPARE(all.value(it.key()), it.value());
        }
    }
    QCOMPARE(all.size(), total); // no two components share a key
    const QVariantMap pinned{{"log/level", 2}, {"log/syslog", true}, {"log/stderr", false}, {"log/color", false},
                             {"zub/obu_host", "127.0.0.1"}, {"zub/obu_port", 1883}, {"zub/valid_timeout", 2000},
                             {"zub/invalid_timeout", 2000}, {"zub/period_pass_hourly", true}, {"zub/pub_qos", 0}};
    for (auto it = pinned.cbegin(); it != pinned.cend(); ++it)
        QCOMPARE(all.value(it.key()), it.value());
    for (const char *key : {"zub/base", "obu/base", "db/base", "tarvik/apiKey", "qr/base", "rfid/base", "validator/db_name"})
        QVERIFY2(all.contains(key), key);
}

void tst_ZUB::versionNamesProgramAndVersion()
{
    QCOMPARE(QByteArray(getProjectVersion()), QByteArray("1.2.18"));
    for (const char *option : {"--version", "-V"}) {
        const ChildRun run(program(), {option});
        QVERIFY2(run.finished() && run.exitCode() == 0, qPrintable(run.describe()));
        QCOMPARE(run.standardOutput(), QByteArray("zub v1.2.18\n"));
    }
}

void tst_ZUB::saveAndExit_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("saved");          // holds every default afterwards
    QTest::addColumn<QVariantMap>("kept");       // and still these values
    QTest::addColumn<QStringList>("logged");     // exact lines; %DIR% is the program's folder
    QTest::addColumn<QStringList>("loggedParts");
    QTest::addColumn<QStringList>("notLogged");
    QTest::addColumn<QStringList>("absent");

    const QByteArray quiet = "[log]\nsyslog=false\n";
    QTest::newRow("first-start") << Files{} << QStringList{"-e", "-s"} << "zub.conf" << QVariantMap{}
                                 << QStringList{"[ZUB] Configuration saved to %DIR%/zub.conf"} << QStringList{}
                                 << QStringList{} << QStringList{};
    QTest::newRow("keeps-present-keys")
        << Files{{"zub.conf", quiet + "[zub]\nport=1234\n[x]\nextra=1\n"}} << QStringList{"-e", "-s"} << "zub.conf"
        << QVariantMap{{"zub/port", "1234"}, {"x/extra", "1"}, {"log/syslog", "false"}}
        << QStringList{"[ZUB] Configuration saved to %DIR%/zub.conf"} << QStringList{} << QStringList{}
        << QStringList{};
    QTest::newRow("named-file") << Files{{"other.conf", quiet}} << QStringList{"-e", "-f", "other.conf", "-s"}
                                << "other.conf" << QVariantMap{{"log/syslog", "false"}}
                                << QStringList{"[settings] Location found, changing", "[Config] other.conf",
                                               "[ZUB] Configuration saved to %DIR%/other.conf"}
                                << QStringList{} << QStringList{} << QStringList{"zub.conf"};
    QTest::newRow("named-file-missing")
        << Files{} << QStringList{"-e", "-f", "missing.conf", "-s"} << "zub.conf" << QVariantMap{}
        << QStringList{"[zub] Configuration file %DIR%/missing.conf does not exist. Using default zub.conf",
                       "[Config] zub.conf", "[ZUB] Configuration saved to %DIR%/zub.conf"}
        << QStringList{} << QStringList{} << QStringList{"missing.conf"};
    QTest::newRow("setting-names-itself")
        << Files{{"zub.conf", quiet + "[rfid]\nbase=${rfid/base}\n"}} << QStringList{"-e", "-s"} << "zub.conf"
        << QVariantMap{{"rfid/base", "${rfid/base}"}}
        << QStringList{"[Config] WARN: Settings refer back to themselves (rfid/base -> rfid/base): ${rfid/base} "
                       "read as empty text"}
        << QStringList{"[Config] | rfid/sub_card_found "} << QStringList{} << QStringList{};
    QTest::newRow("bad-log-level") << Files{{"zub.conf", quiet + "level=loud\n"}} << QStringList{"-e", "-s"}
                                   << "zub.conf" << QVariantMap{{"log/level", "loud"}}
                                   << QStringList{"[ZUB] WARN: Setting log/level is not a number from 0 to 4: loud, "
                                                  "using 2"}
                                   << QStringList{"[Config] | log/level "} << QStringList{} << QStringList{};
    QTest::newRow("secrets-masked")
        << Files{{"zub.conf", quiet + "[zub]\npassword=hunter2\nobu_password=s3cr3t\n"}} << QStringList{"-e", "-s"}
        << "zub.conf" << QVariantMap{{"zub/password", "hunter2"}} << QStringList{}
        << QStringList{"[Config] | zub/password ", "[Config] | zub/obu_password ", "[Config] | tarvik/apiKey "}
        << QStringList{"hunter2", "s3cr3t", "7c1e9a04b5d36f28e0a9c41b7d2f6e53"} << QStringList{};
}

void tst_ZUB::saveAndExit()
{
    QFETCH(Files, files);
    QFETCH(QStringList, arguments);
    QFETCH(QString, saved);
    QFETCH(QVariantMap, kept);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, loggedParts);
    QFETCH(QStringList, notLogged);
    QFETCH(QStringList, absent);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(mEnv->writeFile(it.key(), it.value()));

    QProcess process;
    process.setWorkingDirectory(mEnv->path());
    process.start(program(), arguments);
    QVERIFY(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(err));

    verifyEveryDefault(path(saved));
    QSettings written(path(saved), QSettings::IniFormat);
    for (auto it = kept.cbegin(); it != kept.cend(); ++it)
        QCOMPARE(written.value(it.key()).toString(), it.value().toString());
    const QStringList texts = loggedTexts(err.split('\n'));
    const QString dir = QFileInfo(mEnv->path()).absoluteFilePath();
    for (QString line : logged)
        QVERIFY2(texts.contains(line.replace("%DIR%", dir)), qPrintable(line + "\n--- in\n" + err));
    for (const QString &part : loggedParts)
        QVERIFY2(err.contains(part), qPrintable(part + "\n--- in\n" + err));
    for (const QString &secret : notLogged)
        QVERIFY2(!err.contains(secret), qPrintable(secret));
    if (QTest::currentDataTag() == QByteArrayLiteral("secrets-masked")) {
        for (const QString &key : QStringList{"zub/password", "zub/obu_password", "tarvik/apiKey"}) {
            const QRegularExpression masked("\\[Config\\] \\| " + key + " +: \\*{8}$", QRegularExpression::MultilineOption);
            QVERIFY2(err.contains(masked), qPrintable(key));
        }
    }
    for (const QString &name : absent)
        QVERIFY2(!QFile::exists(mEnv->filePath(name)), qPrintable(name));
}

void tst_ZUB::firstStartWritesEveryDefault()
{
    // The embedded defaults name port 1883: with something there this start would talk to it.
    if (somethingListensOn(1883))
        QSKIP("port 1883 is in use on this machine");
    ChildProcess zub(program(), {"-e"}, mEnv->path());
    QVERIFY(zub.start());
    const QString line = "[ZUB] Settings file " + path("zub.conf") + " is empty, writing every default";
    QVERIFY2(zub.waitForErrorPart(line), qPrintable(zub.describe()));
    QVERIFY2(zub.waitForErrorPart("[MqttClient] Connecting..."), qPrintable(zub.describe()));
    verifyEveryDefault(path("zub.conf"));
    QVERIFY(zub.isRunning());
}

void tst_ZUB::connectsBothBrokers()
{
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.subscribe("zeto/zub/#"));
    peer.clear();
    const QString conf = portsFile("keep_alive=30\nsub_qos=7\n");
    QVERIFY(!conf.isEmpty());

    ChildProcess zub(program(), {"-e"}, mEnv->path());
    QVERIFY(zub.start());
    // The local client publishes the configuration once connected.
    QVERIFY2(peer.waitForMessages("zeto/zub/config", 1, 15000), qPrintable(zub.describe()));
    const QJsonDocument published = QJsonDocument::fromJson(peer.messages("zeto/zub/config").first().payload);
    QCOMPARE(published["zub"]["port"].toString(), QString::number(mBroker.port()));
    QTRY_VERIFY2_WITH_TIMEOUT(mBroker.log().contains("as zub-obu-" + mSerial + " (p2, c1, k60)"),
                              qPrintable(mBroker.log()), 15000);
    QVERIFY2(mBroker.log().contains("as zub-" + mSerial + " (p2, c1, k30)"), qPrintable(mBroker.log()));
    // Not emptied: the file had keys.
    QSettings written(conf, QSettings::IniFormat);
    QCOMPARE(written.allKeys().size(), 5);
    QVERIFY(zub.hasErrorPart("[ZUB] WARN: Setting zub/sub_qos is not a number from 0 to 2: 7, using 0"));

    // Gone without a goodbye: the broker tells the device's services.
    QVERIFY(zub.terminate());
    QVERIFY(peer.waitForMessages("zeto/zub/status", 1, 15000));
    QCOMPARE(peer.messages("zeto/zub/status").last().payload, QByteArray(R"({"service":false})"));
}

void tst_ZUB::configSet_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QVariantMap>("expected"); // in the file afterwards; empty: refused
    QTest::newRow("number-and-bool") << QByteArray(R"({"validator":{"passbackTime":75,"qr_passback":false}})")
                                     << QVariantMap{{"validator/passbackTime", "75"}, {"validator/qr_passback", "false"}};
    QTest::newRow("malformed") << QByteArray(R"({"validator":{"passbackTime":)") << QVariantMap{};
}

void tst_ZUB::configSet()
{
    QFETCH(QByteArray, payload);
    QFETCH(QVariantMap, expected);
    MqttPeer peer;
    QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()));
    QVERIFY(peer.subscribe("zeto/zub/config"));
    const QString conf = portsFile();
    QVERIFY(!conf.isEmpty());
    ChildProcess zub(program(), {"-e"}, mEnv->path());
    QVERIFY(zub.start());
    QVERIFY2(peer.waitForMessages("zeto/zub/config", 1, 15000), qPrintable(zub.describe()));

    QVERIFY(peer.publish("zeto/zub/config/set", payload) >= 0);
    if (expected.isEmpty()) {
        QVERIFY2(zub.waitForErrorPart("[ZUB] Received malformed data on topic: zeto/zub/config/set"),
                 qPrintable(zub.describe()));
        // Still alive and answering.
        QVERIFY(peer.publish("zeto/zub/config/get", "{}") >= 0);
        QVERIFY(peer.waitForMessages("zeto/zub/config", 2, 15000));
        QSettings written(conf, QSettings::IniFormat);
        QVERIFY(!written.contains("validator/passbackTime"));
        QCOMPARE(peer.count("zeto/zub/config"), 2);
        return;
    }
    QVERIFY2(peer.waitForMessages("zeto/zub/config", 2, 15000), qPrintable(zub.describe()));
    const QJsonObject published = QJsonDocument::fromJson(peer.messages("zeto/zub/config").last().payload).object();
    QSettings written(conf, QSettings::IniFormat);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QStringList path = it.key().split('/');
        QCOMPARE(published[path.at(0)][path.at(1)].toString(), it.value().toString());
        QCOMPARE(written.value(it.key()).toString(), it.value().toString());
    }
    QVERIFY(zub.hasErrorPart("[ZUB] Configuration set on zeto/zub/config/set: "
                             + QStringList(expected.keys()).join(", ")));
}

QTEST_GUILESS_MAIN(tst_ZUB)
#include "tst_zub.moc"
