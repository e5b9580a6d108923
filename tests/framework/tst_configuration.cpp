#include "framework/configuration.h"
#include "framework/settings.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

// This process's whole union: only these two maps are linked in.
const QMap<QString, QVariant> FirstDefaults = {
    {QStringLiteral("t/base"), QStringLiteral("zeto/t")},
    {QStringLiteral("t/found"), QStringLiteral("${t/base}/card/found")},
    {QStringLiteral("t/port"), 1883},
    {QStringLiteral("t/flag"), true},
    {QStringLiteral("t/shadowed"), QStringLiteral("first")},
    {QStringLiteral("t/client"), QStringLiteral("zub-${#serialNumber}")},
    {QStringLiteral("t/password"), QStringLiteral("secret")},
    {QStringLiteral("t/empty_password"), QStringLiteral("")},
    {QStringLiteral("tarvik/apiKey"), QStringLiteral("0123abcd")},
};
const QMap<QString, QVariant> LaterDefaults = {
    {QStringLiteral("t/shadowed"), QStringLiteral("later")},
    {QStringLiteral("t/longer_key_name"), 5},
};
const bool Registered = Configuration::registerDefaults(1, &FirstDefaults)
                        && Configuration::registerDefaults(16, &LaterDefaults);

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

class tst_Configuration : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

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
    std::unique_ptr<TestEnv> mEnv;
};

void tst_Configuration::initTestCase()
{
    QVERIFY(Registered);
    mDefaultFile = QCoreApplication::applicationDirPath() + '/' + QCoreApplication::applicationName() + ".conf";
    if (!QFileInfo::exists(mDefaultFile)) {
        QFile file(mDefaultFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        mCreatedDefault = true;
    }
    LogCapture quiet;
    manager::Settings::instance();
}

void tst_Configuration::init()
{
    Configuration::staticValues["serialNumber"] = QStringLiteral("SN1234");
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->writeFile("zub.conf", ""));
    LogCapture quiet;
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
}

void tst_Configuration::cleanup()
{
    LogCapture quiet;
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mDefaultFile));
    mEnv.reset();
}

void tst_Configuration::cleanupTestCase()
{
    if (mCreatedDefault)
        QFile::remove(mDefaultFile);
}

void tst_Configuration::writeSettings(const QVariantMap &settings)
{
    QSettings file(mEnv->settingsFile(), QSettings::IniFormat);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        file.setValue(it.key(), it.value());
    QVERIFY(manager::Settings::sync(file));
}

void tst_Configuration::values_data()
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

void tst_Configuration::values()
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

void tst_Configuration::saveWritesEveryDefaultOnce()
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

void tst_Configuration::writesReachTheFileOrReportFailure()
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
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->filePath("gone/zub.conf")));
    QVERIFY(QDir(mEnv->filePath("gone")).removeRecursively());
    QVERIFY(mEnv->writeFile("gone", "a file now"));
    const QString warning = "[settings] WARN: Could not write settings file " + mEnv->filePath("gone/zub.conf");
    QVERIFY(!config.set("x/a", "1"));
    QVERIFY(!config.setMultipleSettings({{"x/a", "1"}, {"x/b", "2"}}));
    QVERIFY(!config.save());
    QCOMPARE(capture.count(warning), 3);
}

void tst_Configuration::printShowsEveryDefaultMasked()
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

void tst_Configuration::fileChangeWarnsOncePerConfiguration()
{
    Configuration first;
    Configuration second;
    QSignalSpy changed(manager::Settings::instance(), &manager::Settings::fileChanged);
    LogCapture capture;
    QVERIFY(mEnv->writeFile("zub.conf", "[x]\na=1\n"));
    const QString warning = QStringLiteral("[Config] Configuration file changed. Restart application to apply");
    QTRY_VERIFY_WITH_TIMEOUT(changed.count() >= 1 && capture.count(warning) == 2 * changed.count(), 10000);
    QCOMPARE(capture.entries().first().type, QtWarningMsg);
    // Nothing is re-read.
    QVERIFY(!first.get("x/a").isValid());
}

QTEST_GUILESS_MAIN(tst_Configuration)
#include "tst_configuration.moc"
