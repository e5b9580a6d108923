#include "framework/configuration.h"
#include "framework/jsonsettings.h"
#include "framework/settings.h"

#include "support/childrun.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

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

QString chainKey(int i)
{
    return QStringLiteral("chain/k%1").arg(i, 2, 10, QLatin1Char('0'));
}

// A chain of `keys` settings, each naming the next, the last reading "end".
QVariantMap chain(int keys)
{
    QVariantMap map{{chainKey(keys - 1), QStringLiteral("end")}};
    for (int i = 0; i < keys - 1; ++i)
        map.insert(chainKey(i), "${" + chainKey(i + 1) + "}");
    return map;
}

} // namespace

// The process-wide instance is made once; each test works on files of its own folder,
// switched to with setDefaultLocation. First starts run in a copy of the harness program,
// which gets a program folder of its own.
class tst_Settings : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void setDefaultLocation_data();
    void setDefaultLocation();
    void changeNoticesSurviveRewrites_data();
    void changeNoticesSurviveRewrites();
    void otherThreadsReadDuringSwitches();
    void firstStart_data();
    void firstStart();

    void settingsToJson_data();
    void settingsToJson();
    void jsonToSettings_data();
    void jsonToSettings();

    void values_data();
    void values();
    void saveWritesEveryDefaultOnce();
    void writesReachTheFileOrReportFailure();
    void printShowsEveryDefaultMasked();
    void fileChangeWarnsOncePerConfiguration();

private:
    void writeSettings(const QVariantMap &settings);

    QString mDefaultFile;
    bool mCreatedDefault = false;
    manager::Settings *mSettings = nullptr;
    std::unique_ptr<TestEnv> mEnv;
};

void tst_Settings::initTestCase()
{
    QVERIFY(Registered);
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
    QCOMPARE(mSettings->name(), QCoreApplication::applicationName() + ".conf");
    QCOMPARE(mSettings->path(), QCoreApplication::applicationDirPath());
}

void tst_Settings::init()
{
    Configuration::staticValues["serialNumber"] = QStringLiteral("SN1234");
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->writeFile("zub.conf", "") && mEnv->writeFile("other.conf", "[a]\nb=1\n"));
    LogCapture quiet;
    mSettings->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
}

void tst_Settings::cleanup()
{
    LogCapture quiet;
    mSettings->setDefaultLocation(QFileInfo(mDefaultFile));
    mEnv.reset();
}

void tst_Settings::cleanupTestCase()
{
    if (mCreatedDefault)
        QFile::remove(mDefaultFile);
}

void tst_Settings::writeSettings(const QVariantMap &settings)
{
    QSettings file(mEnv->settingsFile(), QSettings::IniFormat);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        file.setValue(it.key(), it.value());
    QVERIFY(manager::Settings::sync(file));
}

void tst_Settings::setDefaultLocation_data()
{
    QTest::addColumn<QString>("target");  // below the test folder
    QTest::addColumn<QString>("outcome"); // refused, same, changed
    QTest::newRow("missing-file") << "nothing.conf" << "refused";
    QTest::newRow("same-through-symlink") << "link.conf" << "same";
    QTest::newRow("other-file-relative") << "other.conf" << "changed";
}

void tst_Settings::setDefaultLocation()
{
    QFETCH(QString, target);
    QFETCH(QString, outcome);
    QVERIFY(QFile::link(mEnv->settingsFile(), mEnv->filePath("link.conf")));
    QFileInfo file(mEnv->filePath(target));
    if (outcome == "changed")
        file = QFileInfo(QDir::current().relativeFilePath(file.filePath()));

    QSignalSpy changed(mSettings, &manager::Settings::locationChanged);
    LogCapture capture;
    mSettings->setDefaultLocation(file);
    const QString second = outcome == "refused" ? "[settings] Location not found, keeping current " + mEnv->settingsFile()
                           : outcome == "same" ? QStringLiteral("[settings] Location found and same as current, no action taken")
                                               : QStringLiteral("[settings] Location found, changing");
    QCOMPARE(capture.texts(), (QStringList{"[settings] Setting location to " + file.absoluteFilePath(), second}));
    QCOMPARE(capture.entries().last().type, outcome == "refused" ? QtWarningMsg : QtInfoMsg);
    QCOMPARE(changed.count(), outcome == "changed" ? 1 : 0);
    QCOMPARE(mSettings->name(), outcome == "changed" ? QStringLiteral("other.conf") : QStringLiteral("zub.conf"));
    QCOMPARE(mSettings->path(), QFileInfo(mEnv->path()).absoluteFilePath());
}

void tst_Settings::changeNoticesSurviveRewrites_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("saved-by-rename") << "sync";
    QTest::newRow("delete-then-create") << "recreate";
}

void tst_Settings::changeNoticesSurviveRewrites()
{
    QFETCH(QString, how);
    QSignalSpy spy(mSettings, &manager::Settings::fileChanged);
    const QString file = mEnv->settingsFile();
    for (int round = 1; round <= 2; ++round) {
        const int before = spy.count();
        if (how == "sync") {
            writeSettings({{"round/number", round}});
        } else {
            QVERIFY(QFile::remove(file));
            QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
            QVERIFY(mEnv->writeFile("zub.conf", "[round]\nnumber=" + QByteArray::number(round) + "\n"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before + (how == "recreate" ? 1 : 0), 10000);
    }
    // A file no longer in use is no longer watched.
    LogCapture quiet;
    mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("other.conf")));
    const int before = spy.count();
    QVERIFY(mEnv->writeFile("zub.conf", "[y]\nz=1\n") && mEnv->writeFile("other.conf", "[y]\nz=2\n"));
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
    QCOMPARE(spy.count(), before + 1);
}

void tst_Settings::otherThreadsReadDuringSwitches()
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

void tst_Settings::firstStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("before"); // none, file, folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("after");  // empty, none, unchanged, folder
    QTest::addColumn<QString>("logged"); // a logged fragment, if any
    QTest::newRow("creates-empty-file") << QStringList{} << "none" << 0 << "empty" << QString();
    QTest::newRow("error-ends-first-start") << QStringList{"-x"} << "none" << 1 << "none"
                                            << "[CLI] Unknown option 'x'.";
    QTest::newRow("existing-file-parses-nothing") << QStringList{"-x"} << "file" << 0 << "unchanged" << QString();
    QTest::newRow("cannot-create") << QStringList{} << "folder" << 0 << "folder"
                                   << "[settings] WARN: Could not create settings file ";
}

void tst_Settings::firstStart()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, before);
    QFETCH(int, exitCode);
    QFETCH(QString, after);
    QFETCH(QString, logged);
    const QString program = mEnv->filePath("bin/zub");
    QVERIFY(QDir(mEnv->path()).mkdir("bin"));
    QVERIFY(QFile::copy(QStringLiteral(HARNESS_PATH), program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeUser));
    const QString conf = mEnv->filePath("bin/zub.conf");
    if (before == "file")
        QVERIFY(mEnv->writeFile("bin/zub.conf", "[a]\nb=1\n"));
    else if (before == "folder")
        QVERIFY(QDir(mEnv->path()).mkdir("bin/zub.conf"));

    const ChildRun run(program, arguments, {{"ZUB_HARNESS", "settings"}});
    QVERIFY2(run.finished() && !run.crashed(), qPrintable(run.describe()));
    QCOMPARE(run.exitCode(), exitCode);
    const QString err = QString::fromUtf8(run.standardError());
    QVERIFY2(err.contains("[CLI] Starting 'zub v1.2.18 ") && err.contains(logged), qPrintable(run.describe()));
    if (exitCode == 0)
        QCOMPARE(QString::fromUtf8(run.standardOutput()), conf + '\n');
    QFile file(conf);
    const QString found = QFileInfo(conf).isDir() ? "folder" : !file.open(QIODevice::ReadOnly) ? "none"
                          : file.readAll() == "[a]\nb=1\n"                           ? "unchanged"
                          : file.size() == 0                                        ? "empty"
                                                                                    : "other";
    QCOMPARE(found, after);
}

void tst_Settings::settingsToJson_data()
{
    QTest::addColumn<Map>("settings");
    QTest::addColumn<QByteArray>("expected");
    Map twelve{{"list/size", 12}};
    QJsonArray array;
    for (int i = 1; i <= 12; ++i) {
        twelve.insert(QStringLiteral("list/%1/x").arg(i), i);
        array.append(QJsonObject{{"x", QString::number(i)}});
    }
    QTest::newRow("values-become-text") << Map{{"log/level", 2}, {"log/syslog", true}, {"a/b", QStringList{"x", "y"}}}
                                        << QByteArray(R"({"log":{"level":"2","syslog":"true"},"a":{"b":"x, y"}})");
    QTest::newRow("key-and-group-of-same-name") << Map{{"a", "x"}, {"a/b", "y"}, {"c/d/e", "v"}}
                                                << QByteArray(R"({"a":{"b":"y"},"c":{"d":{"e":"v"}}})");
    QTest::newRow("array-twelve-in-numeric-order")
        << twelve << QJsonDocument(QJsonObject{{"list", array}}).toJson(QJsonDocument::Compact);
    QTest::newRow("array-inside-group") << Map{{"grp/list/1/o/p", "a"}, {"grp/list/1/y", "b"}, {"grp/list/size", 1}}
                                        << QByteArray(R"({"grp":{"list":[{"o":{"p":"a"},"y":"b"}]}})");
    QTest::newRow("gap-in-indices") << Map{{"list/1/x", "a"}, {"list/3/x", "c"}, {"list/size", 3}}
                                    << QByteArray(R"({"list":[{"x":"a"},{"x":"c"}]})");
    // Keys under an array's name that are not one of its elements
    QTest::newRow("not-elements") << Map{{"list/0/x", "z"}, {"list/a/x", "z"}, {"list/1", "z"}, {"list/2/x", "a"},
                                         {"list/99999999999999999999/x", "z"}, {"list/size", 2}}
                                  << QByteArray(R"({"list":[{"x":"a"}]})");
    QTest::newRow("name-boundary") << Map{{"list/1/x", "a"}, {"list/size", 1}, {"listing/1/y", "b"}, {"lists", "c"}}
                                   << QByteArray(R"({"list":[{"x":"a"}],"listing":{"1":{"y":"b"}},"lists":"c"})");
    QTest::newRow("array-inside-element-stays-keys")
        << Map{{"list/1/sub/1/x", "a"}, {"list/1/sub/size", 1}, {"list/1/name", "n"}, {"list/size", 1}}
        << QByteArray(R"({"list":[{"name":"n","sub":{"1":{"x":"a"},"size":"1"}}]})");
}

void tst_Settings::settingsToJson()
{
    QFETCH(Map, settings);
    QFETCH(QByteArray, expected);
    const QJsonDocument actual = manager::JsonSettings().settingsToJson(settings);
    QVERIFY2(actual == QJsonDocument::fromJson(expected), actual.toJson().constData());
}

void tst_Settings::jsonToSettings_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<Map>("expected"); // as the file then holds it
    QTest::newRow("values-are-text") << QByteArray(R"({"a":{"b":{"c":1883}},"f":1.5,"n":-3,"t":true,"x":null})")
                                     << Map{{"a/b/c", "1883"}, {"f", "1.5"}, {"n", "-3"}, {"t", "true"}};
    QTest::newRow("array") << QByteArray(R"({"list":[{"x":"a"},5,{"o":{"p":"v"}}],"none":[]})")
                           << Map{{"list/1/x", "a"}, {"list/3/o/p", "v"}, {"list/size", "3"}, {"none/size", "0"}};
    QTest::newRow("malformed") << QByteArray(R"({"a":"x",)") << Map{};
}

void tst_Settings::jsonToSettings()
{
    QFETCH(QByteArray, json);
    QFETCH(Map, expected);
    Map actual;
    manager::JsonSettings().jsonToSettings(QJsonDocument::fromJson(json), actual);
    QCOMPARE(actual, expected);
    for (const QVariant &value : qAsConst(actual))
        QCOMPARE(value.userType(), int(QMetaType::QString));
    // A settings object is read whole, and replaced whole by the same pairs.
    QVERIFY(mEnv->writeFile("zub.conf", "[log]\nlevel=3\n\n[zub]\nobu_port=1883\nbase=\"a, b\"\n"));
    QSettings settings(mEnv->settingsFile(), QSettings::IniFormat);
    QCOMPARE(manager::JsonSettings().settingsToJson(settings),
             QJsonDocument::fromJson(R"({"log":{"level":"3"},"zub":{"base":"a, b","obu_port":"1883"}})"));
    QVERIFY(manager::JsonSettings().jsonToSettings(QJsonDocument::fromJson(json), settings));
    QSettings reread(mEnv->settingsFile(), QSettings::IniFormat);
    Map written;
    for (const QString &key : reread.allKeys())
        written.insert(key, reread.value(key));
    QCOMPARE(written, expected);
}

void tst_Settings::values_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QString>("expectedLog"); // at every read
    QTest::newRow("int-default") << QVariantMap{} << "t/port" << QVariant(1883) << "";
    QTest::newRow("int-in-file-is-text") << QVariantMap{{"t/port", "2000"}} << "t/port" << QVariant("2000") << "";
    QTest::newRow("default-topic-default-base") << QVariantMap{} << "t/found" << QVariant("zeto/t/card/found") << "";
    QTest::newRow("serial-number") << QVariantMap{} << "t/client" << QVariant("zub-SN1234") << "";
    QTest::newRow("two-of-one-then-other") << QVariantMap{{"x/a", "${x/b}-${x/b}-${x/c}"}, {"x/b", "B"}, {"x/c", "C"}}
                                           << "x/a" << QVariant("B-B-${x/c}") << "";
    QTest::newRow("unknown-runtime-value-blocks-setting") << QVariantMap{{"x/a", "${#nope}-${x/b}"}, {"x/b", "B"}}
                                                          << "x/a" << QVariant("${#nope}-${x/b}") << "";
    QTest::newRow("setting-nowhere-is-empty") << QVariantMap{{"x/a", "${x/none}/x"}} << "x/a" << QVariant("/x") << "";
    QTest::newRow("line-feed-in-name-skipped") << QVariantMap{{"x/a", "${x\n}${x/b}"}, {"x/b", "B"}} << "x/a"
                                               << QVariant("${x\n}B") << "";
    QTest::newRow("chain-of-sixteen") << chain(16) << chainKey(0) << QVariant("end") << "";
    const QString back = QStringLiteral("[Config] WARN: Settings refer back to themselves (");
    QTest::newRow("self-inside-text") << QVariantMap{{"x/a", "<${x/a}>"}} << "x/a" << QVariant("<>")
                                      << back + "x/a -> x/a): ${x/a} read as empty text";
    QTest::newRow("cycle-below-entry") << QVariantMap{{"x/a", "a${x/b}"}, {"x/b", "${x/c}"}, {"x/c", "c${x/b}"}}
                                       << "x/a" << QVariant("ac")
                                       << back + "x/a -> x/b -> x/c -> x/b): ${x/b} read as empty text";
    QStringList path;
    for (int i = 0; i <= 16; ++i)
        path << chainKey(i);
    QTest::newRow("chain-of-seventeen") << chain(17) << chainKey(0) << QVariant("")
                                        << "[Config] WARN: Settings nested too deep (" + path.join(" -> ") + "): ${"
                                               + chainKey(16) + "} read as empty text";
}

void tst_Settings::values()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    QFETCH(QString, expectedLog);
    writeSettings(settings);
    Configuration config;
    for (int round = 0; round < 2; ++round) {
        LogCapture capture;
        const QVariant value = config.get(key);
        QCOMPARE(value.userType(), expected.userType());
        QCOMPARE(value, expected);
        QCOMPARE(capture.texts(), expectedLog.isEmpty() ? QStringList{} : QStringList{expectedLog});
    }
}

void tst_Settings::saveWritesEveryDefaultOnce()
{
    writeSettings({{"t/base", "mine"}, {"x/extra", "kept"}});
    QVERIFY(Configuration().save());
    QFile file(mEnv->settingsFile());
    QSettings written(mEnv->settingsFile(), QSettings::IniFormat);
    QCOMPARE(written.allKeys().size(), Configuration::defaults().size() + 1);
    QCOMPARE(written.value("t/base").toString(), QStringLiteral("mine"));
    QCOMPARE(written.value("t/found").toString(), QStringLiteral("${t/base}/card/found")); // unexpanded
    QCOMPARE(written.value("t/port").toString(), QStringLiteral("1883"));

    // A rewrite would drop this comment: the second save must write nothing.
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll() + "; untouched\n";
    QVERIFY(mEnv->writeFile("zub.conf", before));
    QVERIFY(Configuration().save());
    QFile again(mEnv->settingsFile());
    QVERIFY(again.open(QIODevice::ReadOnly) && again.readAll() == before);
    QCOMPARE(before.count("\nport="), 1);
}

void tst_Settings::writesReachTheFileOrReportFailure()
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

void tst_Settings::printShowsEveryDefaultMasked()
{
    writeSettings({{"t/base", "T"}, {"t/password", "from-file"}, {"x/only_in_file", "not shown"}});
    Configuration config;
    LogCapture capture;
    config.print();
    const QString rule = QStringLiteral("[Config] +") + QString(71, '-');
    QCOMPARE(capture.texts(), (QStringList{
                                  "[Config] zub.conf",
                                  rule,
                                  "[Config] | SETTINGS",
                                  rule,
                                  "[Config] | t/base            : T",
                                  "[Config] | t/client          : zub-SN1234",
                                  "[Config] | t/empty_password  : ",
                                  "[Config] | t/flag            : true",
                                  "[Config] | t/found           : T/card/found",
                                  "[Config] | t/longer_key_name : 5",
                                  "[Config] | t/password        : ********",
                                  "[Config] | t/port            : 1883",
                                  "[Config] | t/shadowed        : later",
                                  "[Config] | tarvik/apiKey     : ********",
                                  rule,
                              }));
}

void tst_Settings::fileChangeWarnsOncePerConfiguration()
{
    Configuration first;
    Configuration second;
    QSignalSpy changed(mSettings, &manager::Settings::fileChanged);
    LogCapture capture;
    QVERIFY(mEnv->writeFile("zub.conf", "[x]\na=1\n"));
    const QString warning = QStringLiteral("[Config] Configuration file changed. Restart application to apply");
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1 && capture.count(warning) == 2 * changed.count(), 10000);
    QCOMPARE(capture.entries().first().type, QtWarningMsg);
    // Nothing is re-read.
    QVERIFY(!first.get("x/a").isValid());
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
