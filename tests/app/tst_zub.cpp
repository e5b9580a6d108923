#include "app/zub_p.h"
#include "framework/configuration.h"
#include "framework/serialnumber.h"
#include "framework/version.h"

#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/childrun.h"
#include "support/jsonpath.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

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

    // Each case of data/save-and-exit.json: the files in the program's folder and the arguments;
    // the file saved, which then holds every default and still the values "kept"; the lines
    // "logged" (whole lines, "~" a pattern, "!" a text never logged; %DIR% is the program's folder)
    // and the files left "absent".
    void saveAndExit_data()
    {
        QTest::addColumn<QJsonObject>("row");
        const QJsonObject rows = JsonPath::readFile(TEST_DATA_DIR "/save-and-exit.json").object();
        for (auto it = rows.begin(); it != rows.end(); ++it)
            QTest::addRow("%s", qPrintable(it.key())) << it.value().toObject();
    }

    void saveAndExit()
    {
        QFETCH(QJsonObject, row);
        const auto list = [&](const char *key) { return QVariant(row[key].toArray().toVariantList()).toStringList(); };
        const QJsonObject files = row["files"].toObject();
        for (auto it = files.begin(); it != files.end(); ++it)
            QVERIFY(mEnv->writeFile(it.key(), it.value().toString().toUtf8()));

        QProcess process;
        process.setWorkingDirectory(mEnv->path());
        process.start(path("zub"), list("arguments"));
        QVERIFY(process.waitForFinished(60000));
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0, qPrintable(err));

        const QString saved = path(row["saved"].toString());
        verifyEveryDefault(saved);
        const QVariantMap kept = row["kept"].toObject().toVariantMap();
        for (auto it = kept.cbegin(); it != kept.cend(); ++it)
            QCOMPARE(QSettings(saved, QSettings::IniFormat).value(it.key()).toString(), it.value().toString());
        // The program logs "[  s.mmm] text" per line on standard error when asked to ("-e").
        for (QString line : list("logged")) {
            line.replace("%DIR%", QFileInfo(mEnv->path()).absoluteFilePath());
            const QString pattern = line.startsWith('~') ? line.mid(1) : QRegularExpression::escape(line) + '$';
            const bool found = line.startsWith('!') ? !err.contains(line.mid(1))
                : err.contains(QRegularExpression("^\\[ *[0-9]+\\.[0-9]{3}\\] " + pattern, QRegularExpression::MultilineOption));
            QVERIFY2(found, qPrintable(line + "\n--- in\n" + err));
        }
        for (const QString &name : list("absent"))
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
