#include "framework/configuration.h"
#include "framework/jsonsettings.h"
#include "framework/serialnumber.h"
#include "framework/serialnumber_p.h"
#include "framework/settings.h"
#include "framework/timezone.h"
#include "framework/version.h"

#include "support/childrun.h"
#include "support/goldenfile.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <memory>

using Map = QMap<QString, QVariant>;

namespace {

// This process's whole union of defaults: only these two maps are linked in.
const Map FirstDefaults = {
    {"t/base", "zeto/t"},     {"t/found", "${t/base}/card/found"}, {"t/port", 1883},
    {"t/flag", true},         {"t/shadowed", "first"},             {"t/client", "zub-${#serialNumber}"},
    {"t/password", "secret"}, {"t/empty_password", ""},            {"tarvik/apiKey", "0123abcd"},
};
const Map LaterDefaults = {{"t/shadowed", "later"}, {"t/longer_key_name", 5}};
const bool Registered =
    Configuration::registerDefaults(1, &FirstDefaults) && Configuration::registerDefaults(16, &LaterDefaults);

} // namespace

// The process-wide instance is made once; each test works on files of its own folder,
// switched to with setDefaultLocation. First starts run in a copy of the harness program,
// which gets a program folder of its own.
class tst_Settings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(Registered);
        // The serial number is read before main from the device's own file.
        QCOMPARE(Configuration::staticValues.keys(), QStringList{"serialNumber"});
        QCOMPARE(Configuration::staticValues.value("serialNumber"), QVariant(QString::fromStdString(getSerialNumber())));
        QCOMPARE(QByteArray(getProjectVersion()), QByteArray("1.2.18"));
        Configuration::staticValues["serialNumber"] = QStringLiteral("SN1234");
        // An existing default file keeps the constructor away from this process's command line.
        mDefaultFile = QCoreApplication::applicationDirPath() + '/' + QCoreApplication::applicationName() + ".conf";
        if (!QFileInfo::exists(mDefaultFile)) {
            QFile file(mDefaultFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            mCreatedDefault = true;
        }
        LogCapture capture;
        mSettings = manager::Settings::instance();
        QVERIFY(capture.texts().size() == 1 && capture.texts().first().startsWith("[CLI] Starting '"));
        QCOMPARE(capture.entries().first().type, QtInfoMsg);
    }

    void init()
    {
        mEnv = std::make_unique<TestEnv>();
        QVERIFY(mEnv->writeFile("zub.conf", "") && mEnv->writeFile("other.conf", "[a]\nb=1\n"));
        switchTo(mEnv->settingsFile());
    }

    void cleanup()
    {
        switchTo(mDefaultFile);
        mEnv.reset();
    }

    void cleanupTestCase()
    {
        if (mCreatedDefault)
            QFile::remove(mDefaultFile);
    }

    void changeNoticesSurviveRewrites_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("saved-by-rename") << "sync";
        QTest::newRow("delete-then-create") << "recreate";
    }

    void changeNoticesSurviveRewrites()
    {
        QFETCH(QString, how);
        QSignalSpy spy(mSettings, &manager::Settings::fileChanged);
        const QString file = mEnv->settingsFile();
        for (int round = 1; round <= 2; ++round) {
            const int before = spy.count();
            if (how == "sync") {
                QSettings outside(file, QSettings::IniFormat);
                outside.setValue("round/number", round);
                outside.sync();
            } else {
                QVERIFY(QFile::remove(file));
                QVERIFY(mEnv->writeFile("zub.conf", "[round]\nnumber=" + QByteArray::number(round) + "\n"));
            }
            QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
            QCOMPARE(spy.last().first().toStringList(), QStringList{"round/number"});
        }
        // A file no longer in use is no longer watched.
        switchTo(mEnv->filePath("other.conf"));
        const int before = spy.count();
        QVERIFY(mEnv->writeFile("zub.conf", "[y]\nz=1\n") && mEnv->writeFile("other.conf", "[y]\nz=2\n"));
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
        QCOMPARE(spy.count(), before + 1);
    }

    void otherThreadsReadDuringSwitches()
    {
        const QString first = mEnv->settingsFile();
        const QString second = mEnv->filePath("other.conf");
        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> strays{0};
        std::unique_ptr<QThread> reader(QThread::create([&] {
            while (!stop.load()) {
                const QString name = std::unique_ptr<QSettings>(mSettings->create())->fileName();
                mSettings->toJsonDoc();
                if ((name != first && name != second) || mSettings->name().isEmpty() || mSettings->path().isEmpty())
                    ++strays;
                ++reads;
            }
        }));
        LogCapture quiet;
        reader->start();
        for (int i = 0; i < 200; ++i)
            mSettings->setDefaultLocation(QFileInfo(i % 2 ? first : second));
        QTRY_VERIFY(reads.load() > 10);
        stop = true;
        QVERIFY(reader->wait(30000));
        QCOMPARE(strays.load(), 0);
    }

    void serialNumberFirstWord_data()
    {
        QTest::addColumn<QString>("file"); // below the test folder; fifo and /dev/zero made here
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("every-blank-first") << "sn" << QByteArray(" \t\n\r\v\fSN-7 extra\n") << QByteArray("SN-7");
        QTest::newRow("no-line-end") << "sn" << QByteArray("SN1") << QByteArray("SN1");
        QTest::newRow("only-blanks") << "sn" << QByteArray(" \n\t \n") << QByteArray();
        QTest::newRow("word-beyond-limit-is-cut") << "sn" << QByteArray(3 * SerialNumberReadLimit, 'B')
                                                  << QByteArray(SerialNumberReadLimit, 'B');
        QTest::newRow("blanks-fill-the-limit") << "sn" << QByteArray(SerialNumberReadLimit, ' ') + "SN" << QByteArray();
        QTest::newRow("missing") << "missing" << QByteArray() << QByteArray();
        QTest::newRow("directory") << "." << QByteArray() << QByteArray();
        QTest::newRow("pipe-without-writer") << "fifo" << QByteArray() << QByteArray();
        QTest::newRow("endless-device") << "/dev/zero" << QByteArray() << QByteArray(SerialNumberReadLimit, '\0');
    }

    void serialNumberFirstWord()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        const QString path = file.startsWith('/') ? file : mEnv->filePath(file);
        if (file == "sn")
            QVERIFY(mEnv->writeFile(file, content));
        else if (file == "fifo")
            QCOMPARE(::mkfifo(qPrintable(path), 0600), 0);
        setSerialNumberFile(path.toStdString());
        const std::string word = getSerialNumber();
        QCOMPARE(QByteArray(word.data(), int(word.size())), expected);
        if (file == "sn") { // read afresh each time
            QVERIFY(mEnv->writeFile(file, "OTHER\n"));
            QCOMPARE(getSerialNumber(), std::string("OTHER"));
        }
        setSerialNumberFile(std::string());
    }

    void timeZoneNamedOnlyWhenUnset_data()
    {
        QTest::addColumn<QByteArray>("given"); // null: unset
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("unset") << QByteArray() << QByteArray(":/etc/localtime");
        QTest::newRow("set") << QByteArray("America/New_York") << QByteArray("America/New_York");
        QTest::newRow("set-empty") << QByteArray("") << QByteArray("");
    }

    void timeZoneNamedOnlyWhenUnset()
    {
        QFETCH(QByteArray, given);
        QFETCH(QByteArray, expected);
        const QByteArray original = qgetenv("TZ");
        const auto restore = qScopeGuard([&original] { qputenv("TZ", original), tzset(); });
        given.isNull() ? void(qunsetenv("TZ")) : void(qputenv("TZ", given));
        tzset();
        const QDateTime instant = QDateTime::fromSecsSinceEpoch(1700000000); // a winter's day
        const int offset = instant.toLocalTime().offsetFromUtc();
        keepLoadedTimeZone();
        QCOMPARE(qgetenv("TZ"), expected);
        QCOMPARE(qEnvironmentVariableIsSet("TZ"), true);
        QCOMPARE(instant.toLocalTime().offsetFromUtc(), offset); // the same zone as before
    }

    void cases_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/settings.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/settings"),
                            [this](const QString &name, const QJsonValue &value) { return run(name, value); });
    }

    void cases()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(run({}, testCase), expected);
    }

    void saveWritesEveryDefaultOnce()
    {
        writeSettings(mEnv->settingsFile(), {{"t/base", "mine"}, {"x/extra", "kept"}});
        QVERIFY(Configuration().save());
        QSettings written(mEnv->settingsFile(), QSettings::IniFormat);
        QCOMPARE(written.allKeys().size(), Configuration::defaults().size() + 1);
        QCOMPARE(written.value("t/base").toString(), QStringLiteral("mine"));
        QCOMPARE(written.value("t/found").toString(), QStringLiteral("${t/base}/card/found")); // unexpanded
        QCOMPARE(written.value("t/port").toString(), QStringLiteral("1883"));

        // A rewrite would drop this comment: the second save must write nothing.
        const QByteArray before = readAll(mEnv->settingsFile()) + "; untouched\n";
        QVERIFY(mEnv->writeFile("zub.conf", before));
        QVERIFY(Configuration().save());
        QCOMPARE(readAll(mEnv->settingsFile()), before);
        QCOMPARE(before.count("\nport="), 1);
    }

    void writesReachTheFileOrReportFailure()
    {
        Configuration config;
        Configuration other;
        QVERIFY(config.set("t/base", "one"));
        QVERIFY(config.setMultipleSettings({{"x/a", 7}, {"t/flag", false}}));
        QCOMPARE(other.get("t/found").toString(), QStringLiteral("one/card/found"));
        QCOMPARE(other.get("x/a").toString(), QStringLiteral("7"));
        QCOMPARE(QSettings(mEnv->settingsFile(), QSettings::IniFormat).allKeys(), (QStringList{"t/base", "t/flag", "x/a"}));
        QCOMPARE(config.toJsonDoc(), QJsonDocument::fromJson(R"({"t":{"base":"one","flag":"false"},"x":{"a":"7"}})"));

        // A folder that turns into a file under the configuration's feet.
        QVERIFY(mEnv->writeFile("gone/zub.conf", ""));
        LogCapture capture;
        mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("gone/zub.conf")));
        QVERIFY(QDir(mEnv->filePath("gone")).removeRecursively());
        QVERIFY(mEnv->writeFile("gone", "a file now"));
        const QString warning = "[settings] WARN: Could not write settings file " + mEnv->filePath("gone/zub.conf");
        QVERIFY(!config.set("x/a", "1"));
        QVERIFY(!config.setMultipleSettings({{"x/a", "1"}, {"x/b", "2"}}));
        QVERIFY(!config.save());
        QCOMPARE(capture.count(warning), 3);
    }

    void printShowsEveryDefaultMasked()
    {
        writeSettings(mEnv->settingsFile(), {{"t/base", "T"}, {"t/password", "from-file"}, {"x/only_in_file", "not shown"}});
        Configuration config;
        LogCapture capture;
        config.print();
        // The whole table, secrets masked, in data/print.expected.json.
        const QByteArray diff = GoldenFile::mismatch(TEST_DATA_DIR "/print.expected.json", "print",
                                                     QJsonArray::fromStringList(capture.texts()));
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    // Published to every client of the broker, and written back whole by a settings screen.
    void publishedSettingsMaskSecretsAndWriteBackKeepsThem()
    {
        QVERIFY(mEnv->writeFile("zub.conf", "[t]\nbase=T\npassword=a, b\nempty_password=\n[tarvik]\napiKey=k\n"));
        Configuration config;
        const QJsonDocument published = config.toJsonDoc();
        QCOMPARE(published, QJsonDocument::fromJson(
                                R"({"t":{"base":"T","empty_password":"","password":"********"},"tarvik":{"apiKey":"********"}})"));
        Map back;
        manager::JsonSettings().jsonToSettings(published, back);
        back.insert("t/base", "U");
        QVERIFY(config.setMultipleSettings(back));
        QSettings file(mEnv->settingsFile(), QSettings::IniFormat);
        QCOMPARE(file.value("t/password").toStringList(), (QStringList{"a", "b"}));
        QCOMPARE(file.value("tarvik/apiKey").toString() + file.value("t/base").toString(), QStringLiteral("kU"));
    }

    // However many configurations are alive: one notice per change another process makes,
    // none for the process's own writes nor for keys their component applies at once.
    void changeNoticedOncePerOutsideChange()
    {
        Configuration first;
        Configuration second;
        Configuration::registerLiveKeys({"t/live"});
        QSignalSpy changed(mSettings, &manager::Settings::fileChanged);
        LogCapture capture;
        QVERIFY(first.set("x/own", "1") && second.save());
        QSettings outside(mEnv->settingsFile(), QSettings::IniFormat);
        for (const char *key : {"t/live", "x/a"}) {
            outside.setValue(key, "1");
            outside.sync();
            QTRY_VERIFY_WITH_TIMEOUT(!changed.isEmpty() && changed.last().first() == QStringList{key}, 10000);
        }
        QCOMPARE(changed.count(), 2);
        QCOMPARE(capture.texts(), QStringList{"[Config] Configuration file changed. Restart application to apply"});
        QCOMPARE(capture.entries().first().type, QtWarningMsg);
    }
private:
    void switchTo(const QString &file) { LogCapture quiet; mSettings->setDefaultLocation(QFileInfo(file)); }
    static QByteArray readAll(const QString &name) { QFile f(name); return f.open(QIODevice::ReadOnly) ? f.readAll() : "none"; }
    static void writeSettings(const QString &fileName, const QVariantMap &settings);
    QJsonObject run(const QString &name, const QJsonValue &value);

    QString mDefaultFile;
    bool mCreatedDefault = false;
    manager::Settings *mSettings = nullptr;
    std::unique_ptr<TestEnv> mEnv;
};

void tst_Settings::writeSettings(const QString &fileName, const QVariantMap &settings)
{
    QSettings file(fileName, QSettings::IniFormat);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        file.setValue(it.key(), it.value());
    QVERIFY(manager::Settings::sync(file));
}

// The cases of data/settings.json: a switch of the settings file (to a missing file, to the
// same one through a link, to another one named relative to the working folder), a settings
// map in its JSON form, a JSON text as settings
// (also written over a settings file), a configuration value read twice with what each read
// logs, or a first start of a copy of the harness program in a folder of its own, where the
// settings file is missing, present or a folder; what each gives is in
// data/settings.expected.json, the test folder written as <dir>.
QJsonObject tst_Settings::run(const QString &, const QJsonValue &value)
{
    const QJsonObject c = value.toObject();
    const TestEnv env;
    manager::JsonSettings json;
    if (c.contains("location")) {
        env.writeFile("zub.conf", "");
        env.writeFile("other.conf", "[a]\nb=1\n");
        QFile::link(env.settingsFile(), env.filePath("link.conf"));
        QString target = env.filePath(c["location"].toString());
        if (c["relative"].toBool())
            target = QDir::current().relativeFilePath(target);
        switchTo(env.settingsFile());
        LogCapture capture;
        QSignalSpy changed(mSettings, &manager::Settings::locationChanged);
        mSettings->setDefaultLocation(QFileInfo(target));
        QJsonArray log;
        for (const LogCapture::Entry &entry : capture.entries())
            log.append((entry.type == QtWarningMsg ? "warning " : "info ") + QString(entry.text).replace(env.path(), "<dir>"));
        return {{"log", log}, {"locationChanged", changed.count()}, {"name", mSettings->name()},
                {"path", mSettings->path().replace(env.path(), "<dir>")}};
    }
    if (c.contains("program")) {
        const QString program = env.filePath("bin/zub"), conf = env.filePath("bin/zub.conf");
        QDir(env.path()).mkdir("bin");
        QFile::copy(QStringLiteral(HARNESS_PATH), program);
        QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeUser);
        if (c["program"] == "file")
            env.writeFile("bin/zub.conf", "[a]\nb=1\n");
        else if (c["program"] == "folder")
            QDir(env.path()).mkdir("bin/zub.conf");
        const ChildRun run(program, c["args"].toVariant().toStringList(), {{"ZUB_HARNESS", "settings"}});
        QStringList logged;
        for (const QString &line : run.errorLines())
            logged << line.mid(line.indexOf("] ") + 2).replace(env.path(), "<dir>");
        const QString after = QFileInfo(conf).isDir() ? "folder" : QString(readAll(conf));
        return {{"exitCode", run.crashed() ? -1 : run.exitCode()},
                {"output", QString::fromUtf8(run.standardOutput()).replace(env.path(), "<dir>")},
                {"banner", logged.value(0).startsWith("[CLI] Starting 'zub v1.2.18 ")},
                {"logged", QJsonArray::fromStringList(logged.mid(1))}, {"file", after}};
    }
    if (c.contains("toJson")) {
        Map settings;
        const QJsonObject in = c["toJson"].toObject();
        for (auto it = in.begin(); it != in.end(); ++it) // an array stands for a string list
            settings.insert(it.key(), it->isArray() ? QVariant(it->toVariant().toStringList()) : it->toVariant());
        return json.settingsToJson(settings).object();
    }
    if (c.contains("fromJson")) {
        const QJsonDocument document = QJsonDocument::fromJson(c["fromJson"].toString().toUtf8());
        Map settings;
        json.jsonToSettings(document, settings);
        bool allText = true;
        for (const QVariant &v : qAsConst(settings))
            allText = allText && v.userType() == QMetaType::QString;
        env.writeFile("zub.conf", "[old]\nkey=1\n");
        QSettings file(env.settingsFile(), QSettings::IniFormat);
        const bool written = json.jsonToSettings(document, file);
        QSettings reread(env.settingsFile(), QSettings::IniFormat);
        Map read;
        for (const QString &key : reread.allKeys())
            read.insert(key, reread.value(key));
        return {{"settings", QJsonObject::fromVariantMap(settings)}, {"allText", allText},
                {"fileHoldsTheSame", written && read == settings}};
    }
    writeSettings(env.settingsFile(), c["file"].toObject().toVariantMap());
    switchTo(env.settingsFile());
    Configuration config;
    QJsonArray reads;
    for (int round = 0; round < 2; ++round) {
        LogCapture capture;
        const QVariant v = config.get(c["key"].toString());
        reads.append(QJsonObject{{"value", v.toString()}, {"type", v.typeName()},
                                 {"log", QJsonArray::fromStringList(capture.texts())}});
    }
    return {{"reads", reads}};
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
