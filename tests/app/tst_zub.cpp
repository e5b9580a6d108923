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
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

// zub runs as a child process, each time from a folder of its own: its settings file lives
// next to the program.
class tst_ZUB : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }
    void init()
    {
        mEnv = std::make_unique<TestEnv>();
        QVERIFY(QFile::copy(QStringLiteral(ZUB_PATH), mEnv->filePath("zub")));
    }

    void unionHoldsEveryComponentsDefaults()
    {
        const QMap<QString, QVariant> all = Configuration::defaults();
        int total = 0;
        for (const QMap<QString, QVariant> *defaults : ZUBPrivate::ComponentDefaults) {
            total += defaults->size();
            for (auto it = defaults->cbegin(); it != defaults->cend(); ++it)
                QVERIFY2(all.value(it.key()) == it.value(), qPrintable(it.key()));
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

    void versionNamesProgramAndVersion()
    {
        QCOMPARE(QByteArray(getProjectVersion()), QByteArray("1.2.18"));
        for (const char *option : {"--version", "-V"}) {
            const ChildRun run(path("zub"), {option});
            QVERIFY2(run.finished() && run.exitCode() == 0, qPrintable(run.describe()));
            QCOMPARE(run.standardOutput(), QByteArray("zub v1.2.18\n"));
        }
    }

    void saveAndExit_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("saved");      // holds every default afterwards
        QTest::addColumn<QVariantMap>("kept");   // and still these values
        QTest::addColumn<QStringList>("logged"); // whole lines; %DIR% is the program's folder, "~" a pattern, "!" never
        QTest::addColumn<QStringList>("absent");

        const QByteArray quiet = "[log]\nsyslog=false\n";
        QTest::newRow("keeps-present-keys")
            << Files{{"zub.conf", quiet + "[zub]\nport=1234\n[x]\nextra=1\n"}} << QStringList{"-e", "-s"} << "zub.conf"
            << QVariantMap{{"zub/port", "1234"}, {"x/extra", "1"}, {"log/syslog", "false"}}
            << QStringList{"[ZUB] Configuration saved to %DIR%/zub.conf"} << QStringList{};
        QTest::newRow("named-file") << Files{{"other.conf", quiet}} << QStringList{"-e", "-f", "other.conf", "-s"}
                                    << "other.conf" << QVariantMap{{"log/syslog", "false"}}
                                    << QStringList{"[settings] Location found, changing", "[Config] other.conf",
                                                   "[ZUB] Configuration saved to %DIR%/other.conf"}
                                    << QStringList{"zub.conf"};
        QTest::newRow("named-file-missing")
            << Files{} << QStringList{"-e", "-f", "missing.conf", "-s"} << "zub.conf" << QVariantMap{}
            << QStringList{"[zub] Configuration file %DIR%/missing.conf does not exist. Using default zub.conf",
                           "[Config] zub.conf", "[ZUB] Configuration saved to %DIR%/zub.conf"}
            << QStringList{"missing.conf"};
        QTest::newRow("setting-names-itself")
            << Files{{"zub.conf", quiet + "[rfid]\nbase=${rfid/base}\n"}} << QStringList{"-e", "-s"} << "zub.conf"
            << QVariantMap{{"rfid/base", "${rfid/base}"}}
            << QStringList{"[Config] WARN: Settings refer back to themselves (rfid/base -> rfid/base): ${rfid/base} "
                           "read as empty text", "~\\[Config\\] \\| rfid/sub_card_found +: "}
            << QStringList{};
        QTest::newRow("bad-log-level")
            << Files{{"zub.conf", quiet + "level=loud\n"}} << QStringList{"-e", "-s"} << "zub.conf"
            << QVariantMap{{"log/level", "loud"}}
            << QStringList{"[ZUB] WARN: Setting log/level is not a number from 0 to 4: loud, using 2",
                           "~\\[Config\\] \\| log/level +: "}
            << QStringList{};
        QTest::newRow("secrets-masked")
            << Files{{"zub.conf", quiet + "[zub]\npassword=hunter2\nobu_password=s3cr3t\n"}} << QStringList{"-e", "-s"}
            << "zub.conf" << QVariantMap{{"zub/password", "hunter2"}}
            << QStringList{"~\\[Config\\] \\| zub/password +: \\*{8}$", "~\\[Config\\] \\| zub/obu_password +: \\*{8}$",
                           "~\\[Config\\] \\| tarvik/apiKey +: \\*{8}$", "!hunter2", "!s3cr3t", "!7c1e9a04b5d36f28e0a9c41b7d2f6e53"}
            << QStringList{};
    }

    void saveAndExit()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, arguments);
        QFETCH(QString, saved);
        QFETCH(QVariantMap, kept);
        QFETCH(QStringList, logged);
        QFETCH(QStringList, absent);
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            QVERIFY(mEnv->writeFile(it.key(), it.value()));

        QProcess process;
        process.setWorkingDirectory(mEnv->path());
        process.start(path("zub"), arguments);
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(err));

        verifyEveryDefault(path(saved));
        QSettings written(path(saved), QSettings::IniFormat);
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(written.value(it.key()).toString(), it.value().toString());
        // The program logs "[  s.mmm] text" per line on standard error when asked to ("-e").
        for (QString line : logged) {
            line.replace("%DIR%", QFileInfo(mEnv->path()).absoluteFilePath());
            const QString pattern = line.startsWith('~') ? line.mid(1) : QRegularExpression::escape(line) + '$';
            const bool found = line.startsWith('!') ? !err.contains(line.mid(1))
                : err.contains(QRegularExpression("^\\[ *[0-9]+\\.[0-9]{3}\\] " + pattern, QRegularExpression::MultilineOption));
            QVERIFY2(found, qPrintable(line + "\n--- in\n" + err));
        }
        for (const QString &name : absent)
            QVERIFY2(!QFile::exists(mEnv->filePath(name)), qPrintable(name));
    }

    void firstStartWritesEveryDefault()
    {
        // The embedded defaults name port 1883: with something there this start would talk to it.
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), 1883);
        if (socket.waitForConnected(1000))
            QSKIP("port 1883 is in use on this machine");
        ChildProcess zub(path("zub"), {"-e"}, mEnv->path());
        QVERIFY(zub.start());
        const QString line = "[ZUB] Settings file " + path("zub.conf") + " is empty, writing every default";
        QVERIFY2(zub.waitForErrorPart(line) && zub.waitForErrorPart("[MqttClient] Connecting..."), qPrintable(zub.describe()));
        verifyEveryDefault(path("zub.conf"));
        QVERIFY(zub.isRunning());
    }

    void servesBothBrokers()
    {
        MqttPeer peer;
        QVERIFY(peer.connectTo(mBroker.host(), mBroker.port()) && peer.subscribe("zeto/zub/#"));
        const QByteArray port = QByteArray::number(mBroker.port());
        QVERIFY(mEnv->writeFile("zub.conf", "[log]\nsyslog=false\n[zub]\nport=" + port + "\nobu_port=" + port
                                                + "\nkeep_alive=30\nsub_qos=7\n"));
        ChildProcess zub(path("zub"), {"-e"}, mEnv->path());
        QVERIFY(zub.start());
        // The local client publishes the configuration once connected.
        QVERIFY2(peer.waitForMessages("zeto/zub/config", 1, 15000), qPrintable(zub.describe()));
        QCOMPARE(QJsonDocument::fromJson(peer.messages("zeto/zub/config").first().payload)["zub"]["port"].toString(),
                 QString(port));
        const QString serial = QString::fromStdString(getSerialNumber());
        QTRY_VERIFY2_WITH_TIMEOUT(mBroker.log().contains("as zub-obu-" + serial + " (p2, c1, k60)"),
                                  qPrintable(mBroker.log()), 15000);
        QVERIFY2(mBroker.log().contains("as zub-" + serial + " (p2, c1, k30)"), qPrintable(mBroker.log()));
        QVERIFY(zub.hasErrorPart("[ZUB] WARN: Setting zub/sub_qos is not a number from 0 to 2: 7, using 0"));
        QSettings written(path("zub.conf"), QSettings::IniFormat);
        QCOMPARE(written.allKeys().size(), 5); // not emptied: the file had keys

        // A malformed set is refused without an answer; the next is stored and published.
        QVERIFY(peer.publish("zeto/zub/config/set", R"({"validator":{"passbackTime":)") >= 0);
        QVERIFY2(zub.waitForErrorPart("[ZUB] Received malformed data on topic: zeto/zub/config/set"),
                 qPrintable(zub.describe()));
        QVERIFY(peer.publish("zeto/zub/config/set", R"({"validator":{"passbackTime":75,"qr_passback":false}})") >= 0);
        QVERIFY2(peer.waitForMessages("zeto/zub/config", 2, 15000), qPrintable(zub.describe()));
        const QJsonDocument published = QJsonDocument::fromJson(peer.messages("zeto/zub/config").last().payload);
        written.sync();
        QCOMPARE(published["validator"]["passbackTime"].toString(), QStringLiteral("75"));
        QCOMPARE(published["validator"]["qr_passback"].toString(), QStringLiteral("false"));
        QCOMPARE(written.value("validator/passbackTime").toString(), QStringLiteral("75"));
        QCOMPARE(written.value("validator/qr_passback").toString(), QStringLiteral("false"));
        QVERIFY(zub.hasErrorPart("[ZUB] Configuration set on zeto/zub/config/set: validator/passbackTime, validator/qr_passback"));
        QCOMPARE(peer.count("zeto/zub/config"), 2);

        // Gone without a goodbye: the broker tells the device's services.
        const int statuses = peer.count("zeto/zub/status");
        QVERIFY(zub.terminate());
        QVERIFY(peer.waitForMessages("zeto/zub/status", statuses + 1, 15000));
        QCOMPARE(peer.messages("zeto/zub/status").last().payload, QByteArray(R"({"service":false})"));
    }

private:
    QString path(const QString &name) const { return QFileInfo(mEnv->filePath(name)).absoluteFilePath(); }

    void verifyEveryDefault(const QString &file)
    {
        QSettings written(file, QSettings::IniFormat);
        for (const QString &key : Configuration::defaults().keys())
            QVERIFY2(written.contains(key), qPrintable(file + " lacks " + key));
    }

    BrokerFixture mBroker;
    std::unique_ptr<TestEnv> mEnv;
};

QTEST_GUILESS_MAIN(tst_ZUB)
#include "tst_zub.moc"
