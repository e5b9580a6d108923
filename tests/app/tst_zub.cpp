#include "app/metatypes.h"
#include "app/zub_p.h"
#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "framework/configuration.h"
#include "framework/serialnumber.h"
#include "tickets/qrticket.h"

#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/childrun.h"
#include "support/harness.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/mqttpeer.h"
#include "support/qrscannerpeer.h"
#include "support/qrtestkey.h"
#include "support/testenv.h"

#include <QtTest>

#include <csignal>
#include <memory>

namespace {

// The device's settings: the clients' names, and QR tickets valid more than once.
const QByteArray kDevice = "client_id=child\nobu_client_id=child-obu\n[validator]\nqr_passback=false\n";

QJsonObject json(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

// An urban ticket of carrier 7 for axis 6, zones 2 to 3, product 5, passenger type 1, issued an
// hour ago and valid from ten minutes ago for an hour; as printed.
QString urbanTicket()
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QString plain = QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|0|%2|3600|7");
    return QrTestKey::encipher(QrTestKey::pad(plain.arg(now - 3600).arg(now - 600).toLatin1()));
}

} // namespace

// zub runs as a child process, each time from a folder of its own: its settings file lives
// next to the program. Besides its ordinary work: what a peer on its local broker may send, or
// may have had written into the settings file; the whole device (the build with the tests' QR
// key) with peers playing the card reader and the QR scanner; the controller in-process.
class tst_ZUB : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        registerMetaTypes();
        QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
        QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()) && mPeer.subscribe("#"));
        QVERIFY(mScanner.connectTo(mBroker.host(), mBroker.port()));
    }

    void init()
    {
        mZub.reset();
        mEnv = std::make_unique<TestEnv>();
        QVERIFY(QFile::copy(QStringLiteral(ZUB_PATH), path("zub")));
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

    // Before the settings have said where the log goes, its records reach standard error. -V
    // names the same option as --version, as the help text in the command-line test shows.
    void commandLineEndsEarly_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // how standard output starts
        QTest::addColumn<QString>("err"); // a record on standard error
        QTest::newRow("version") << "--version" << 0 << "zub v1.2.18\n" << "] [CLI] Starting 'zub v1.2.18 ";
        QTest::newRow("unknown-option") << "--bogus" << 1 << "Usage: " << "] [CLI] Unknown option 'bogus'.\n";
    }

    void commandLineEndsEarly()
    {
        QFETCH(QString, option);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const ChildRun run(path("zub"), {option});
        QVERIFY2(run.finished() && run.exitCode() == exitCode, qPrintable(run.describe()));
        QVERIFY2(run.standardOutput().startsWith(out.toUtf8()) && run.standardError().contains(err.toUtf8()),
                 qPrintable(run.describe()));
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
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), "Configuration saved to " + saved + "\n");
        if (list("arguments").contains("-e")) // the scanner client's, built before the save
            QCOMPARE(err.contains("] [qr] WARN: Built without a QR master key"), bool(ZUB_ZERO_KEY));
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

    // The file a first start leaves empty (the settings test shows that). In-process, so that
    // no broker is met: the defaults name port 1883, where a developer runs the device's own.
    void firstStartWritesEveryDefault()
    {
        QVERIFY(Harness::useSettings(*mEnv));
        LogCapture log;
        ZUBPrivate().updateConfiguration();
        QVERIFY2(log.contains("[ZUB] Settings file " + path("zub.conf") + " is empty, writing every default"),
                 qPrintable(log.texts().join('\n')));
        verifyEveryDefault(path("zub.conf"));
    }

    // One start with what a killed save left and unusable topics in the settings file: the lock
    // and the temporary file go, the older backup stays; each topic gives way with a warning.
    void startSurvivesBrokenSettingsAndGuardsConfigTopic()
    {
        QVERIFY(mEnv->writeFile("zub.conf.backup", "older than the lock: not a copy of a save"));
        QFile backup(path("zub.conf.backup"));
        QVERIFY(backup.open(QIODevice::ReadWrite) && backup.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        backup.close();
        // A process id above any pid_max.
        QVERIFY(mEnv->writeFile("zub.conf.lock", "2147483647\nzub\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        QVERIFY(mEnv->writeFile("zub.conf.AbCdEf", "[zub]\n"));
        QVERIFY2(startZub("keep_alive=30\nsub_qos=7\nbase=#\nwill_topic=\npub_config=zeto/zub/config/get\n"), qPrintable(mZub->describe()));
        QVERIFY(!QFile::exists(path("zub.conf.lock")) && !QFile::exists(path("zub.conf.AbCdEf")) && QFile::exists(path("zub.conf.backup")));
        for (const char *warning : {"sub_qos is not a number from 0 to 2: 7, using 0", "base is no usable topic: #, using zeto/zub",
                                    "will_topic is no usable topic: , using zeto/zub/status",
                                    "pub_config names a topic the controller subscribes to: zeto/zub/config/get, using zeto/zub/config"})
            QVERIFY2(mZub->hasErrorPart(QStringLiteral("[ZUB] WARN: Setting zub/") + warning), qPrintable(mZub->describe()));
        // The local client publishes the configuration once connected.
        QCOMPARE(QJsonDocument::fromJson(mPeer.messages("zeto/zub/config").first().payload)["zub"]["port"].toString(),
                 QString::number(mBroker.port()));
        const QString serial = QString::fromStdString(getSerialNumber());
        QTRY_VERIFY2_WITH_TIMEOUT(mBroker.log().contains("as zub-obu-" + serial + " (p2, c1, k60)"),
                                  qPrintable(mBroker.log()), 15000);
        QVERIFY2(mBroker.log().contains("as zub-" + serial + " (p2, c1, k30)"), qPrintable(mBroker.log()));
        QSettings written(path("zub.conf"), QSettings::IniFormat);
        QCOMPARE(written.allKeys().size(), 8); // not emptied: the file had keys

        // A peer's text stays inside one log record.
        QVERIFY(mPeer.publish("zeto/db/info", R"({"service":{"version":"1\n[ZUB] forged\r\u0000"},"database":{"version":"7"}})") >= 0);
        QVERIFY2(mZub->waitForErrorPart(R"([DBManager] Info : version=1\n[ZUB] forged\r\x00 database=7)"),
                 qPrintable(mZub->describe()));
        QCOMPARE(mZub->errorLines().filter(QRegularExpression("^\\[ *[0-9.]+\\] \\[ZUB\\] forged")), QStringList());

        // A malformed set is refused without an answer; the next is stored but for its unknown key,
        // a null clears its key, and it is published with its secret masked.
        QVERIFY(mPeer.publish("zeto/zub/config/set", R"({"validator":{"passbackTime":)") >= 0);
        QVERIFY2(mZub->waitForErrorPart("[ZUB] Received malformed data on topic: zeto/zub/config/set"),
                 qPrintable(mZub->describe()));
        QVERIFY(mPeer.publish("zeto/zub/config/set", R"({"validator":{"passbackTime":75,"qr_passback":false},
                                                        "zub":{"valid_timout":"9","keep_alive":null},"tarvik":{"apiKey":"fresh"}})") >= 0);
        QVERIFY2(mPeer.waitForMessages("zeto/zub/config", 2, 15000), qPrintable(mZub->describe()));
        const QJsonDocument published = QJsonDocument::fromJson(mPeer.messages("zeto/zub/config").last().payload);
        written.sync();
        QCOMPARE(published["validator"]["passbackTime"].toString() + published["validator"]["qr_passback"].toString()
                     + published["tarvik"]["apiKey"].toString(), QStringLiteral("75false********"));
        QCOMPARE(written.value("validator/passbackTime").toString() + written.value("validator/qr_passback").toString()
                     + written.value("tarvik/apiKey").toString(), QStringLiteral("75falsefresh"));
        QVERIFY(!written.contains("zub/valid_timout"));
        QVERIFY(written.contains("zub/keep_alive") && written.value("zub/keep_alive").toString().isEmpty()); // null clears
        QCOMPARE(mZub->errorLines().filter("[ZUB] WARN: Configuration set on zeto/zub/config/set has unknown key(s), "
                                           "not stored: zub/valid_timout").size(), 1);
        QVERIFY(mZub->hasErrorPart(
            "[ZUB] Configuration set on zeto/zub/config/set: tarvik/apiKey, validator/passbackTime, validator/qr_passback"));
        QCOMPARE(mPeer.count("zeto/zub/config"), 2);
        QCOMPARE(mPeer.count("zeto/zub/config/get"), 0);

        // Stopped by SIGTERM, it ends cleanly; gone without a goodbye, the broker tells the device's services.
        const int statuses = mPeer.count("zeto/zub/status");
        QVERIFY(mZub->terminate());
        QVERIFY2(mZub->exitedNormally() && mZub->exitCode() == 0 && mZub->hasErrorPart("[ZUB] SIGTERM received, stopping"),
                 qPrintable(mZub->describe()));
        QVERIFY(mPeer.waitForMessages("zeto/zub/status", statuses + 1, 15000));
        QCOMPARE(mPeer.messages("zeto/zub/status").last().payload, QByteArray(R"({"service":false})"));
    }

    void configSetKeepsTopicsUsable_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refusal"); // empty: stored, to apply at the next start
        QTest::newRow("new-base") << "base" << "elsewhere" << "";
        QTest::newRow("base-wildcard") << "base" << "+" << "+ is no usable topic";
        QTest::newRow("config-on-get-topic") << "pub_config" << "${zub/base}/config/get"
                                             << "zeto/zub/config/get would make the controller hear its own messages";
    }

    void configSetKeepsTopicsUsable()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, refusal);
        QVERIFY2(startZub(), qPrintable(mZub->describe()));
        const QString set = QString(R"({"zub":{"%1":"%2","lcd_language":"en"}})").arg(key, value);
        QVERIFY(mPeer.publish("zeto/zub/config/set", set.toUtf8()) >= 0);
        QVERIFY2(mPeer.waitForMessages("zeto/zub/config", 2, 15000), qPrintable(mZub->describe()));
        // Still on the topics it subscribed; an endless loop would have flooded them before this answer.
        QVERIFY(mPeer.publish("zeto/zub/config/get", "{}") >= 0);
        QVERIFY2(mPeer.waitForMessages("zeto/zub/config", 3, 15000), qPrintable(mZub->describe()));
        const QList<MqttPeer::Message> seen = mPeer.messages();
        const auto own = [](const MqttPeer::Message &m) { return m.topic.startsWith("zeto/zub/config"); };
        QCOMPARE(int(std::count_if(seen.cbegin(), seen.cend(), own)), 5); // configuration, set, answer, get, answer
        QSettings written(path("zub.conf"), QSettings::IniFormat);
        QCOMPARE(written.value("zub/lcd_language").toString(), QString("en"));
        QCOMPARE(written.value("zub/" + key).toString(), refusal.isEmpty() ? value : QString());
        QCOMPARE(mZub->hasErrorPart("[ZUB] WARN: Configuration set on zeto/zub/config/set refused for zub/" + key + ": "
                                    + refusal),
                 !refusal.isEmpty());
        mZub.reset();
        QVERIFY2(startZub(QByteArray(), refusal.isEmpty() ? value : "zeto/zub"), qPrintable(mZub->describe()));
    }

    // SIGTERM: at the end of startSurvivesBrokenSettingsAndGuardsConfigTopic.
    void sigintEndsCleanly()
    {
        QVERIFY2(startZub(), qPrintable(mZub->describe()));
        QCOMPARE(::kill(pid_t(mZub->processId()), SIGINT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!mZub->isRunning(), 15000);
        QVERIFY2(mZub->exitedNormally() && mZub->exitCode() == 0 && mZub->hasErrorPart("[ZUB] SIGINT received, stopping"),
                 qPrintable(mZub->describe()));
    }

    // The names the signals of the gateway, the OBU link and the validation service write: a
    // queued connection finds its argument types by these names.
    void metaTypesRegisteredUnderTheirNames()
    {
        const QList<QPair<const char *, int>> types{
            {"tarvik_route_ptr", qMetaTypeId<std::shared_ptr<tarvik::Route>>()},
            {"qrticket_ptr", qMetaTypeId<std::shared_ptr<QrTicket>>()},
            {"SCBlacklistEntry::Ptr", qMetaTypeId<SCBlacklistEntry::Ptr>()},
            {"EMVticketResp::Ptr", qMetaTypeId<EMVticketResp::Ptr>()},
            {"Employee::Ptr", qMetaTypeId<Employee::Ptr>()},
            {"Device::Ptr", qMetaTypeId<Device::Ptr>()},
        };
        for (const auto &type : types)
            QVERIFY2(QMetaType::type(type.first) == type.second, type.first);
    }

    // The whole device: zub built with the tests' QR key, started with a settings file of its own
    // that names other reader and scanner bases than the file beside it; the peers play the card
    // reader and the QR scanner there. The clients drop an enable sent before their service
    // reports: zub waits for the reports. No fare rules for cards: a card's verdict is "Unknown",
    // shown with the invalid lights; without a route every ticket is refused as of invalid format.
    void deviceTakesTapsAndScans()
    {
        QVERIFY(QFile::remove(path("zub")) && QFile::copy(QStringLiteral(ZUB_TESTKEY_PATH), path("zub")));
        QrScannerPeer scanner(QStringLiteral("bus/qr"));
        QVERIFY(scanner.connectTo(mBroker.host(), mBroker.port()));
        QVERIFY(mEnv->writeFile("device.conf", settings(kDevice + "[rfid]\nbase=bus/rfid\n[qr]\nbase=bus/qr\n")));
        QVERIFY2(startZub(QByteArray(), "zeto/zub", {"-e", "-f", "device.conf"}), qPrintable(mZub->describe()));
        QCOMPARE(mPeer.count("bus/rfid/enable/request/0") + scanner.commands().count("enable"), 0);

        mPeer.publish("bus/rfid/status", R"({"service":true,"device":{"state":1,"active":true,"sams":[1]}})");
        QVERIFY2(mPeer.waitForMessages("bus/rfid/enable/request/0", 1, 15000), qPrintable(mZub->describe()));
        QCOMPARE(json(mPeer.messages("bus/rfid/enable/request/0").constFirst().payload), QJsonObject({{"autoread", true}}));
        mPeer.publish("bus/rfid/enable/response/0", R"({"completed":true})");

        scanner.publishStatus(true, true, false);
        QVERIFY(QTest::qWaitFor([&] { return scanner.commands().contains("enable"); }, 15000));

        // Both readers up: start-up is over; no route runs in this build.
        QTRY_COMPARE_WITH_TIMEOUT(json(mPeer.messages("zeto/zub/status").constLast().payload),
                                  QJsonObject({{"service", true}, {"state", "out-of-service"}, {"reason", "no route"}}), 15000);

        // A tap, logged once though two clients hear the reader, then a scan.
        const int leds = mPeer.count("bus/rfid/led/set/request/1");
        QVERIFY(tap());
        QVERIFY2(mPeer.waitForMessages("zeto/zub/rfid/scanned", 1, 15000), qPrintable(mZub->describe()));
        const QJsonObject card = json(mPeer.messages("zeto/zub/rfid/scanned").constLast().payload);
        QCOMPARE(card["result"].toBool(true), false);
        QCOMPARE(card["denyReason"].toObject(), QJsonObject({{"code", 500}, {"text", "Unknown"}}));
        QCOMPARE(card["template"].toString(), QStringLiteral("ZetoDESv3"));
        QVERIFY(mPeer.waitForMessages("bus/rfid/led/set/request/1", leds + 1, 15000));
        QCOMPARE(json(mPeer.messages("bus/rfid/led/set/request/1").constLast().payload), QJsonObject({{"red", true}}));
        QCOMPARE(mZub->errorLines().filter("] [rfid] Card autoread received").size(), 1);

        QVERIFY(scanner.scan(urbanTicket()));
        QVERIFY2(mPeer.waitForMessages("zeto/zub/barcode/scanned", 1, 15000), qPrintable(mZub->describe()));
        const QJsonObject ticket = json(mPeer.messages("zeto/zub/barcode/scanned").constLast().payload);
        QCOMPARE(ticket["denyReason"].toObject()["code"].toInt(), 100);
        QCOMPARE(ticket["transactionType"].toInt(-1), 0);

        // A new reader base is saved for the next start: taps still come on the one in use.
        mPeer.publish("zeto/zub/config/set", R"({"rfid":{"base":"moved/rfid"}})");
        QVERIFY(mZub->waitForErrorPart("[ZUB] Settings saved, in effect from the next start: rfid/base"));
        QVERIFY(tap() && mPeer.waitForMessages("zeto/zub/rfid/scanned", 2, 15000));

        // In inspection mode a tap is inspected, not validated.
        const int configs = mPeer.count("zeto/zub/config");
        mPeer.publish("zeto/zub/config/set", R"({"zub":{"inspection_mode":true}})");
        QVERIFY(mPeer.waitForMessages("zeto/zub/config", configs + 1, 15000));
        QVERIFY(mZub->waitForErrorPart("[ZUB] Inspection mode on"));

        const int verdicts = mPeer.count("zeto/zub/rfid/scanned");
        QVERIFY(tap());
        QVERIFY2(mPeer.waitForMessages("zeto/zub/card/inspected", 1, 15000), qPrintable(mZub->describe()));
        const QJsonObject inspected = json(mPeer.messages("zeto/zub/card/inspected").constLast().payload);
        QVERIFY(inspected.contains("transType") && inspected.contains("periodPass"));
        QCOMPARE(mPeer.count("zeto/zub/rfid/scanned"), verdicts);

        mPeer.publish("zeto/zub/config/set", R"({"zub":{"inspection_mode":false}})");
        QVERIFY(mZub->waitForErrorPart("[ZUB] Inspection mode off"));

        // Edits from outside: inspection mode applies at once, and neither it nor zub's own
        // writes before are noticed; a setting read at start is, once.
        QSettings file(path("device.conf"), QSettings::IniFormat);
        file.setValue("zub/inspection_mode", true);
        file.sync();
        QTRY_COMPARE_WITH_TIMEOUT(mZub->errorLines().filter("] [ZUB] Inspection mode on").size(), 2, 15000);
        const QString notice = "] [Config] Configuration file changed. Restart application to apply";
        QVERIFY2(!mZub->hasErrorPart(notice), qPrintable(mZub->describe()));
        file.setValue("zub/lcd_language", "en");
        file.sync();
        QVERIFY(mZub->waitForErrorPart(notice));
        QCOMPARE(mZub->errorLines().filter(notice).size(), 1);
        QCOMPARE(mZub->errorLines().filter("in effect from the next start").size(), 1);
    }

    // In-process, the way the vehicle link will: a route handed to the validation service makes
    // a ticket of that route valid, and the controller publishes it so.
    void validTicketOnARoute()
    {
        QVERIFY(Harness::useSettings(*mEnv, settings(kDevice)));
        ZUBPrivate zub;
        zub.connectSignals();
        zub.connectBrokers();
        // Once the scanner's report has come through, so do its scans.
        QVERIFY(QTest::qWaitFor([&] { return mScanner.publishStatus(true, true, true) && QTest::qWaitFor([&] { return zub.state().qr; }, 200); }, 10000));
        const std::shared_ptr<tarvik::Route> route = Harness::loadRoute(ROUTE_FILE);
        QVERIFY(route);
        zub.validator().routeStarted(*route);

        const int verdicts = mPeer.count("zeto/zub/barcode/scanned");
        QVERIFY(mScanner.scan(urbanTicket()));
        QVERIFY(mPeer.waitForMessages("zeto/zub/barcode/scanned", verdicts + 1));
        const QJsonObject result = json(mPeer.messages("zeto/zub/barcode/scanned").constLast().payload);
        QCOMPARE(result["denyReason"].toObject(), QJsonObject({{"code", 0}, {"text", "Valid"}}));
        QCOMPARE(result["result"].toBool(), true);
        QCOMPARE(result["routeInfo"].toObject()["axisId"].toInt(), 6);
    }

private:
    // Starts zub (writing its settings file when there is none) and waits for its configuration.
    bool startZub(const QByteArray &zubSettings = QByteArray(), const QString &base = "zeto/zub",
                  const QStringList &arguments = {"-e"})
    {
        if (!QFile::exists(path("zub.conf")) && !mEnv->writeFile("zub.conf", settings(zubSettings)))
            return false;
        mPeer.clear();
        mZub = std::make_unique<ChildProcess>(path("zub"), arguments, mEnv->path());
        return mZub->start() && mPeer.waitForMessages(base + "/config", 1, 15000);
    }
    QByteArray settings(const QByteArray &more) const
    {
        const QByteArray port = QByteArray::number(mBroker.port());
        return "[log]\nsyslog=false\n[zub]\nport=" + port + "\nobu_port=" + port + "\n" + more;
    }

    // On the reader base of the device test's own settings file.
    bool tap()
    {
        QFile file(QStringLiteral(CARDS_DIR "/desv3.json"));
        const QByteArray card = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QJsonObject found{{"uid", json(card)["uid"]}, {"type", json(card)["type"]}};
        return mPeer.publish("bus/rfid/card/found", QJsonDocument(found).toJson()) >= 0
            && mPeer.publish("bus/rfid/card/autoread", card) >= 0;
    }

    QString path(const QString &name) const { return QFileInfo(mEnv->filePath(name)).absoluteFilePath(); }

    void verifyEveryDefault(const QString &file)
    {
        QSettings written(file, QSettings::IniFormat);
        for (const QString &key : Configuration::defaults().keys())
            QVERIFY2(written.contains(key), qPrintable(file + " lacks " + key));
    }

    BrokerFixture mBroker;
    std::unique_ptr<TestEnv> mEnv;
    MqttPeer mPeer;
    QrScannerPeer mScanner;
    std::unique_ptr<ChildProcess> mZub;
};

QTEST_GUILESS_MAIN(tst_ZUB)
#include "tst_zub.moc"
