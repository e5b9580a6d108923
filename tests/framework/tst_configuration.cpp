#include "framework/configuration.h"
#include "framework/configuration_p.h"
#include "framework/settings.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>
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

const QString Rule = QStringLiteral("[Config] +") + QString(71, '-');

QString chainKey(int i)
{
    return QStringLiteral("chain/k%1").arg(i, 2, 10, QLatin1Char('0'));
}

// A chain of `keys` settings, each naming the next, the last reading "end".
QVariantMap chain(int keys)
{
    QVariantMap map;
    for (int i = 0; i < keys - 1; ++i)
        map.insert(chainKey(i), "${" + chainKey(i + 1) + "}");
    map.insert(chainKey(keys - 1), QStringLiteral("end"));
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

    void refusesBadRegistrations_data();
    void refusesBadRegistrations();
    void unitesDefaultsInOrder();
    void refusesRegistrationAfterFirstUse();
    void typedValues_data();
    void typedValues();
    void expansion_data();
    void expansion();
    void cyclesAndDepth_data();
    void cyclesAndDepth();
    void findsPlaceholdersAsTheLazyPattern();
    void saveWritesEveryDefaultOnce();
    void saveKeepsWhatTheFileHolds();
    void writesReachTheFile();
    void writesReportFailure();
    void printShowsEveryDefaultMasked();
    void toJsonDocIsTheWholeFile();
    void fileChangeWarnsOncePerConfiguration();
    void followsTheSettingsLocation();
    void worksOnAnotherThread();

private:
    void writeSettings(const QVariantMap &settings);

    QString mDefaultFile;
    bool mCreatedDefault = false;
    QVariant mSerial;
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
    mSerial = Configuration::staticValues.value("serialNumber");
    Configuration::staticValues["serialNumber"] = QStringLiteral("SN1234");
}

void tst_Configuration::init()
{
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
    Configuration::staticValues["serialNumber"] = mSerial;
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

void tst_Configuration::refusesBadRegistrations_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<bool>("withMap");
    QTest::newRow("order-taken") << 1 << true;
    QTest::newRow("order-zero") << 0 << true;
    QTest::newRow("order-above-sixteen") << 17 << true;
    QTest::newRow("no-map") << 5 << false;
}

void tst_Configuration::refusesBadRegistrations()
{
    QFETCH(int, order);
    QFETCH(bool, withMap);
    static const QMap<QString, QVariant> extra = {{QStringLiteral("t/base"), QStringLiteral("extra")}};
    LogCapture capture;
    QVERIFY(!Configuration::registerDefaults(order, withMap ? &extra : nullptr));
    QCOMPARE(capture.entries().size(), 1);
    QCOMPARE(capture.entries().first().type, QtWarningMsg);
    QVERIFY(capture.texts().first().startsWith("[Config] WARN: Defaults " + QString::number(order) + " refused"));
}

void tst_Configuration::unitesDefaultsInOrder()
{
    const QMap<QString, QVariant> all = Configuration::defaults();
    QCOMPARE(all.size(), FirstDefaults.size() + LaterDefaults.size() - 1);
    QCOMPARE(all.value("t/shadowed"), QVariant(QStringLiteral("later")));
    QCOMPARE(all.value("t/base"), QVariant(QStringLiteral("zeto/t")));
    Configuration config;
    QCOMPARE(config.get("t/shadowed"), QVariant(QStringLiteral("later")));
}

void tst_Configuration::refusesRegistrationAfterFirstUse()
{
    Configuration config;
    static const QMap<QString, QVariant> late = {{QStringLiteral("late/key"), 1}};
    LogCapture capture;
    QVERIFY(!Configuration::registerDefaults(5, &late));
    QCOMPARE(capture.texts(), QStringList{"[Config] WARN: Defaults 5 registered after first use: ignored"});
    QVERIFY(!config.get("late/key").isValid());
    QVERIFY(!Configuration::defaults().contains("late/key"));
}

void tst_Configuration::typedValues_data()
{
    // Raw file text: what another process wrote, not what this one cached.
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("int-default") << QByteArray() << "t/port" << QVariant(1883);
    QTest::newRow("int-in-file-is-text") << QByteArray("[t]\nport=2000\n") << "t/port" << QVariant("2000");
    QTest::newRow("bool-default") << QByteArray() << "t/flag" << QVariant(true);
    QTest::newRow("bool-in-file-is-text") << QByteArray("[t]\nflag=false\n") << "t/flag" << QVariant("false");
    QTest::newRow("text-default") << QByteArray() << "t/base" << QVariant("zeto/t");
    QTest::newRow("empty-text-default") << QByteArray() << "t/empty_password" << QVariant("");
    QTest::newRow("file-only-key") << QByteArray("[x]\na=v\n") << "x/a" << QVariant("v");
    QTest::newRow("unknown-key") << QByteArray() << "x/none" << QVariant();
    QTest::newRow("empty-key") << QByteArray() << "" << QVariant();
}

void tst_Configuration::typedValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QVariant, expected);
    QVERIFY(mEnv->writeFile("zub.conf", content));
    Configuration config;
    LogCapture capture;
    const QVariant value = config.get(key);
    QCOMPARE(value.userType(), expected.userType());
    QCOMPARE(value, expected);
    QVERIFY2(capture.entries().isEmpty(), qPrintable(capture.texts().join('\n')));
}

void tst_Configuration::expansion_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("expected");

    const QString sn = QStringLiteral("SN1234");
    QTest::newRow("default-topic-default-base") << QVariantMap{} << "t/found" << sn << "zeto/t/card/found";
    QTest::newRow("default-topic-file-base") << QVariantMap{{"t/base", "T"}} << "t/found" << sn << "T/card/found";
    QTest::newRow("file-topic-file-base") << QVariantMap{{"t/base", "T"}, {"t/found", "${t/base}/x"}} << "t/found"
                                          << sn << "T/x";
    QTest::newRow("serial-number") << QVariantMap{} << "t/client" << sn << "zub-SN1234";
    QTest::newRow("serial-number-empty") << QVariantMap{} << "t/client" << "" << "zub-";
    QTest::newRow("serial-every-occurrence") << QVariantMap{{"x/a", "${#serialNumber}.${#serialNumber}"}} << "x/a"
                                             << sn << "SN1234.SN1234";
    QTest::newRow("two-of-one-then-other") << QVariantMap{{"x/a", "${x/b}-${x/b}-${x/c}"}, {"x/b", "B"}, {"x/c", "C"}}
                                           << "x/a" << sn << "B-B-${x/c}";
    QTest::newRow("other-reached-through-first") << QVariantMap{{"x/a", "${x/b}"}, {"x/b", "${x/c}+"}, {"x/c", "C"}}
                                                 << "x/a" << sn << "C+";
    QTest::newRow("unknown-runtime-value-blocks-setting") << QVariantMap{{"x/a", "${#nope}-${x/b}"}, {"x/b", "B"}}
                                                          << "x/a" << sn << "${#nope}-${x/b}";
    QTest::newRow("unknown-runtime-value-after-setting") << QVariantMap{{"x/a", "${x/b}-${#nope}"}, {"x/b", "B"}}
                                                         << "x/a" << sn << "B-${#nope}";
    QTest::newRow("runtime-value-then-setting") << QVariantMap{{"x/a", "${#serialNumber}/${x/b}"}, {"x/b", "B"}}
                                                << "x/a" << sn << "SN1234/B";
    QTest::newRow("only-first-runtime-name") << QVariantMap{{"x/a", "${#nope}${#serialNumber}"}} << "x/a" << sn
                                             << "${#nope}${#serialNumber}";
    QTest::newRow("setting-nowhere-is-empty") << QVariantMap{{"x/a", "${x/none}/x"}} << "x/a" << sn << "/x";
    QTest::newRow("int-setting-as-text") << QVariantMap{{"x/a", "p${t/port}"}} << "x/a" << sn << "p1883";
    QTest::newRow("bool-setting-as-text") << QVariantMap{{"x/a", "${t/flag}!"}} << "x/a" << sn << "true!";
    QTest::newRow("dollar-name-stays") << QVariantMap{{"x/a", "${$x/b}"}, {"x/b", "B"}} << "x/a" << sn << "${$x/b}";
    QTest::newRow("unclosed-stays") << QVariantMap{{"x/a", "${x/b"}, {"x/b", "B"}} << "x/a" << sn << "${x/b";
    QTest::newRow("line-feed-in-name-skipped") << QVariantMap{{"x/a", "${x\n}${x/b}"}, {"x/b", "B"}} << "x/a" << sn
                                               << "${x\n}B";
    QTest::newRow("empty-name") << QVariantMap{{"x/a", "a${}b"}} << "x/a" << sn << "ab";
    QTest::newRow("no-placeholder") << QVariantMap{{"x/a", "plain $ { } text"}} << "x/a" << sn << "plain $ { } text";
    QTest::newRow("later-map-wins") << QVariantMap{} << "t/shadowed" << sn << "later";
    QTest::newRow("file-wins-over-default") << QVariantMap{{"t/shadowed", "file"}} << "t/shadowed" << sn << "file";
    QTest::newRow("chain-of-sixteen") << chain(16) << chainKey(0) << sn << "end";
}

void tst_Configuration::expansion()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, key);
    QFETCH(QString, serial);
    QFETCH(QString, expected);
    writeSettings(settings);
    Configuration::staticValues["serialNumber"] = serial;
    Configuration config;
    LogCapture capture;
    const QVariant value = config.get(key);
    Configuration::staticValues["serialNumber"] = QStringLiteral("SN1234");
    QCOMPARE(value.userType(), int(QMetaType::QString));
    QCOMPARE(value.toString(), expected);
    QVERIFY2(capture.entries().isEmpty(), qPrintable(capture.texts().join('\n')));
}

void tst_Configuration::cyclesAndDepth_data()
{
    QTest::addColumn<QVariantMap>("settings");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("expectedLog");

    const QString back = QStringLiteral("[Config] WARN: Settings refer back to themselves (");
    QTest::newRow("self") << QVariantMap{{"x/a", "${x/a}"}} << "x/a" << ""
                          << back + "x/a -> x/a): ${x/a} read as empty text";
    QTest::newRow("self-inside-text") << QVariantMap{{"x/a", "<${x/a}>"}} << "x/a" << "<>"
                                      << back + "x/a -> x/a): ${x/a} read as empty text";
    QTest::newRow("two-settings") << QVariantMap{{"x/a", "${x/b}/a"}, {"x/b", "${x/a}/b"}} << "x/a" << "/b/a"
                                  << back + "x/a -> x/b -> x/a): ${x/a} read as empty text";
    QTest::newRow("file-base-names-default-topic") << QVariantMap{{"t/base", "${t/found}"}} << "t/found"
                                                   << "/card/found"
                                                   << back + "t/found -> t/base -> t/found): ${t/found} read as empty text";
    QTest::newRow("cycle-below-entry") << QVariantMap{{"x/a", "a${x/b}"}, {"x/b", "${x/c}"}, {"x/c", "c${x/b}"}}
                                       << "x/a" << "ac"
                                       << back + "x/a -> x/b -> x/c -> x/b): ${x/b} read as empty text";
    QStringList path;
    for (int i = 0; i <= 16; ++i)
        path << chainKey(i);
    QTest::newRow("chain-of-seventeen") << chain(17) << chainKey(0) << ""
                                        << "[Config] WARN: Settings nested too deep (" + path.join(" -> ") + "): ${"
                                               + chainKey(16) + "} read as empty text";
}

void tst_Configuration::cyclesAndDepth()
{
    QFETCH(QVariantMap, settings);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QFETCH(QString, expectedLog);
    writeSettings(settings);
    Configuration config;
    for (int round = 0; round < 2; ++round) {
        LogCapture capture;
        QCOMPARE(config.get(key).toString(), expected);
        QCOMPARE(capture.texts(), QStringList{expectedLog}); // once per read
        QCOMPARE(capture.entries().first().type, QtWarningMsg);
    }
}

void tst_Configuration::findsPlaceholdersAsTheLazyPattern()
{
    // Random texts over the characters that matter, against the pattern itself.
    const QString alphabet = QStringLiteral("${}#a/\n\r");
    const QRegularExpression setting(QStringLiteral("\\$\\{(.*?)\\}"));
    const QRegularExpression runtime(QStringLiteral("\\$\\{#(.*?)\\}"));
    QRandomGenerator random(20240611);
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = random.bounded(14);
        for (int i = 0; i < length; ++i)
            text += alphabet.at(random.bounded(alphabet.size()));
        for (const auto &[opener, pattern] : {std::make_pair(QLatin1String("${"), &setting),
                                              std::make_pair(QLatin1String("${#"), &runtime)}) {
            const QRegularExpressionMatch match = pattern->match(text);
            const ConfigurationText::Placeholder found = ConfigurationText::findPlaceholder(text, opener);
            const QByteArray where = QJsonDocument::fromVariant(QVariantList{text, QString(opener)}).toJson();
            QVERIFY2(match.hasMatch() == (found.start >= 0), where.constData());
            if (match.hasMatch()) {
                QCOMPARE(found.start, match.capturedStart(0));
                QCOMPARE(found.end, match.capturedEnd(0));
                QCOMPARE(found.name, match.captured(1));
            }
        }
    }
}

void tst_Configuration::saveWritesEveryDefaultOnce()
{
    Configuration config;
    QVERIFY(config.save());

    QFile file(mEnv->settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    const QMap<QString, QVariant> defaults = Configuration::defaults();
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it) {
        const QString name = it.key().section('/', 1);
        const QRegularExpression line("^" + QRegularExpression::escape(name) + "=", QRegularExpression::MultilineOption);
        QCOMPARE(text.count(line), 1);
    }
    QSettings written(mEnv->settingsFile(), QSettings::IniFormat);
    QCOMPARE(written.allKeys().size(), defaults.size());
    QCOMPARE(written.value("t/found").toString(), QStringLiteral("${t/base}/card/found")); // unexpanded
    QCOMPARE(written.value("t/client").toString(), QStringLiteral("zub-${#serialNumber}"));
    QCOMPARE(written.value("t/port").toString(), QStringLiteral("1883"));
    QCOMPARE(written.value("t/flag").toString(), QStringLiteral("true"));

    // A rewrite would drop this comment: the second save must write nothing.
    QVERIFY(file.open(QIODevice::Append));
    file.write("; untouched\n");
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    Configuration again;
    QVERIFY(again.save());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void tst_Configuration::saveKeepsWhatTheFileHolds()
{
    writeSettings({{"t/base", "mine"}, {"x/extra", "kept"}});
    Configuration config;
    QVERIFY(config.save());
    QSettings written(mEnv->settingsFile(), QSettings::IniFormat);
    QCOMPARE(written.value("t/base").toString(), QStringLiteral("mine"));
    QCOMPARE(written.value("x/extra").toString(), QStringLiteral("kept"));
    QCOMPARE(written.allKeys().size(), Configuration::defaults().size() + 1);
}

void tst_Configuration::writesReachTheFile()
{
    Configuration config;
    Configuration other;
    QVERIFY(config.set("t/base", "one"));
    QVERIFY(config.setMultipleSettings({{"x/b", "B"}, {"x/a", 7}, {"t/flag", false}}));
    for (Configuration *c : {&config, &other}) {
        QCOMPARE(c->get("t/found").toString(), QStringLiteral("one/card/found"));
        QCOMPARE(c->get("x/a").toString(), QStringLiteral("7"));
        QCOMPARE(c->get("x/b").toString(), QStringLiteral("B"));
        QCOMPARE(c->get("t/flag").toString(), QStringLiteral("false"));
    }
    QSettings written(mEnv->settingsFile(), QSettings::IniFormat);
    QCOMPARE(written.allKeys(), (QStringList{"t/base", "t/flag", "x/a", "x/b"}));
}

void tst_Configuration::writesReportFailure()
{
    // A folder that turns into a file under the configuration's feet.
    QVERIFY(mEnv->writeFile("gone/zub.conf", ""));
    {
        LogCapture quiet;
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->filePath("gone/zub.conf")));
    }
    Configuration config;
    QVERIFY(QDir(mEnv->filePath("gone")).removeRecursively());
    QVERIFY(mEnv->writeFile("gone", "a file now"));
    const QString warning = "[settings] WARN: Could not write settings file " + mEnv->filePath("gone/zub.conf");
    LogCapture capture;
    QVERIFY(!config.set("x/a", "1"));
    QCOMPARE(capture.count(warning), 1);
    QVERIFY(!config.setMultipleSettings({{"x/a", "1"}, {"x/b", "2"}}));
    QCOMPARE(capture.count(warning), 2);
    QVERIFY(!config.save());
    QCOMPARE(capture.count(warning), 3);
}

void tst_Configuration::printShowsEveryDefaultMasked()
{
    writeSettings({{"t/base", "T"}, {"t/password", "from-file"}, {"x/only_in_file", "not shown"}});
    Configuration config;
    LogCapture capture;
    config.print();
    const QStringList expected{
        "[Config] zub.conf",
        Rule,
        "[Config] | SETTINGS",
        Rule,
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
        Rule,
    };
    QCOMPARE(capture.texts(), expected);
    for (const LogCapture::Entry &entry : capture.entries())
        QCOMPARE(entry.type, QtInfoMsg);
    QCOMPARE(Rule.size(), 9 + 72);
}

void tst_Configuration::toJsonDocIsTheWholeFile()
{
    writeSettings({{"t/password", "p"}, {"x/a", "${t/base}"}});
    Configuration config;
    const QJsonDocument document = config.toJsonDoc();
    QCOMPARE(document, manager::Settings::instance()->toJsonDoc());
    QCOMPARE(document, QJsonDocument::fromJson(R"({"t":{"password":"p"},"x":{"a":"${t/base}"}})"));
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
    for (const LogCapture::Entry &entry : capture.entries())
        QCOMPARE(entry.type, QtWarningMsg);
    // Nothing is re-read.
    QVERIFY(!first.get("x/a").isValid());
}

void tst_Configuration::followsTheSettingsLocation()
{
    QVERIFY(mEnv->writeFile("other.conf", "[t]\nbase=other\n"));
    Configuration config;
    QCOMPARE(config.get("t/found").toString(), QStringLiteral("zeto/t/card/found"));
    {
        LogCapture quiet;
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->filePath("other.conf")));
    }
    QCOMPARE(config.get("t/found").toString(), QStringLiteral("other/card/found"));
    QVERIFY(config.set("x/a", "1"));
    QSettings written(mEnv->filePath("other.conf"), QSettings::IniFormat);
    QCOMPARE(written.value("x/a").toString(), QStringLiteral("1"));
}

void tst_Configuration::worksOnAnotherThread()
{
    writeSettings({{"t/base", "T"}});
    QString seen;
    QThread *worker = QThread::create([&seen] {
        for (int i = 0; i < 100; ++i) {
            Configuration config;
            seen = config.get("t/found").toString();
        }
    });
    worker->start();
    QVERIFY(worker->wait(30000));
    delete worker;
    QCOMPARE(seen, QStringLiteral("T/card/found"));
}

QTEST_GUILESS_MAIN(tst_Configuration)
#include "tst_configuration.moc"
