#include "support/brokerfixture.h"
#include "support/childprocess.h"
#include "support/mqttpeer.h"
#include "support/testenv.h"

#include <QSettings>
#include <QSysInfo>
#include <QtTest>

#include <csignal>
#include <memory>

// zub as a child process against what a peer on its local broker may send, or may have had
// written into the settings file.
class tst_ZubHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(mBroker.start(), qPrintable(mBroker.log())); }

    void init()
    {
        mZub.reset();
        mEnv = std::make_unique<TestEnv>();
        QVERIFY(QFile::copy(QStringLiteral(ZUB_PATH), path("zub")));
        if (!mPeer.isConnected())
            QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()) && mPeer.subscribe("#"));
    }

    void unusableTopicsGiveWayAtStart()
    {
        QVERIFY2(startZub("base=#\nwill_topic=\npub_config=zeto/zub/config/get\n"), qPrintable(mZub->describe()));
        for (const char *warning : {"zub/base is no usable topic: #, using zeto/zub",
                                    "zub/will_topic is no usable topic: , using zeto/zub/status",
                                    "zub/pub_config names a topic the controller subscribes to: zeto/zub/config/get, "
                                    "using zeto/zub/config"})
            QVERIFY2(mZub->hasErrorPart(QStringLiteral("[ZUB] WARN: Setting ") + warning), qPrintable(mZub->describe()));
        QCOMPARE(mPeer.count("zeto/zub/config/get"), 0);
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
        QTest::newRow("config-on-set-topic") << "pub_config" << "zeto/zub/config/set"
                                             << "zeto/zub/config/set would make the controller hear its own messages";
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
        QTest::qWait(2000); // the one fixed window: an endless loop shows as a flood in it
        const QList<MqttPeer::Message> seen = mPeer.messages();
        const auto own = [](const MqttPeer::Message &m) { return m.topic.startsWith("zeto/zub/config"); };
        QCOMPARE(int(std::count_if(seen.cbegin(), seen.cend(), own)), 3); // the configuration, the set, the answer
        QVERIFY(mPeer.publish("zeto/zub/config/get", "{}") >= 0); // still on the topics it subscribed
        QVERIFY2(mPeer.waitForMessages("zeto/zub/config", 3, 15000), qPrintable(mZub->describe()));
        QSettings written(path("zub.conf"), QSettings::IniFormat);
        QCOMPARE(written.value("zub/lcd_language").toString(), QString("en"));
        QCOMPARE(written.value("zub/" + key).toString(), refusal.isEmpty() ? value : QString());
        QCOMPARE(mZub->hasErrorPart("[ZUB] WARN: Configuration set on zeto/zub/config/set refused for zub/" + key + ": "
                                    + refusal),
                 !refusal.isEmpty());
        mZub.reset();
        QVERIFY2(startZub(QByteArray(), refusal.isEmpty() ? value : "zeto/zub"), qPrintable(mZub->describe()));
    }

    void peerTextStaysOneRecord()
    {
        QVERIFY2(startZub(), qPrintable(mZub->describe()));
        QVERIFY(mPeer.publish("zeto/db/info", R"({"service":{"version":"1\n[ZUB] forged\r\u0000"},"database":{"version":"7"}})") >= 0);
        QVERIFY2(mZub->waitForErrorPart(R"([DBManager] Info : version=1\n[ZUB] forged\r\x00 database=7)"),
                 qPrintable(mZub->describe()));
        QCOMPARE(mZub->errorLines().filter(QRegularExpression("^\\[ *[0-9.]+\\] \\[ZUB\\] forged")), QStringList());
    }

    void stopSignalEndsCleanly_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void stopSignalEndsCleanly()
    {
        QFETCH(int, signal);
        QVERIFY2(startZub(), qPrintable(mZub->describe()));
        QCOMPARE(::kill(pid_t(mZub->processId()), signal), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!mZub->isRunning(), 15000);
        const QString logged = QStringLiteral("[ZUB] %1 received, stopping").arg(QTest::currentDataTag());
        QVERIFY2(mZub->exitedNormally() && mZub->exitCode() == 0 && mZub->hasErrorPart(logged), qPrintable(mZub->describe()));
    }

    void removesWhatAKilledSaveLeft()
    {
        const QByteArray deadPid = "2147483647"; // above any pid_max
        QVERIFY(mEnv->writeFile("zub.conf.backup", "older than the lock: not a copy of a save"));
        QFile backup(path("zub.conf.backup"));
        QVERIFY(backup.open(QIODevice::ReadWrite) && backup.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        backup.close();
        QVERIFY(mEnv->writeFile("zub.conf.lock", deadPid + "\nzub\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        QVERIFY(mEnv->writeFile("zub.conf.AbCdEf", "[zub]\n"));
        QVERIFY2(startZub(), qPrintable(mZub->describe()));
        QVERIFY(!QFile::exists(path("zub.conf.lock")) && !QFile::exists(path("zub.conf.AbCdEf")));
        QVERIFY(QFile::exists(path("zub.conf.backup")));
    }

private:
    // Starts zub (writing its settings file when there is none) and waits for its configuration.
    bool startZub(const QByteArray &zubSettings = QByteArray(), const QString &base = "zeto/zub")
    {
        const QByteArray port = QByteArray::number(mBroker.port());
        if (!QFile::exists(path("zub.conf"))
            && !mEnv->writeFile("zub.conf", "[log]\nsyslog=false\n[zub]\nport=" + port + "\nobu_port=" + port + "\n" + zubSettings))
            return false;
        mPeer.clear();
        mZub = std::make_unique<ChildProcess>(path("zub"), QStringList{"-e"}, mEnv->path());
        return mZub->start() && mPeer.waitForMessages(base + "/config", 1, 15000);
    }
    QString path(const QString &name) const { return mEnv->filePath(name); }

    BrokerFixture mBroker;
    std::unique_ptr<TestEnv> mEnv;
    MqttPeer mPeer;
    std::unique_ptr<ChildProcess> mZub;
};

QTEST_GUILESS_MAIN(tst_ZubHostile)
#include "tst_zub_hostile.moc"
