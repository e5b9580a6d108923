#include "framework/settings.h"

#include "support/childrun.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>

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
    void createFollowsTheLocation();
    void editEmitsFileChanged();
    void changeNoticesSurviveRewrites_data();
    void changeNoticesSurviveRewrites();
    void toJsonDoc_data();
    void toJsonDoc();
    void syncReportsFailedWrites();
    void otherThreadsReadDuringSwitches();
    void firstStart_data();
    void firstStart();

private:
    QString mDefaultFile;
    bool mCreatedDefault = false;
    manager::Settings *mSettings = nullptr;
    std::unique_ptr<TestEnv> mEnv;
};

void tst_Settings::initTestCase()
{
    // An existing default file keeps the constructor away from this process's command line.
    mDefaultFile = QCoreApplication::applicationDirPath() + '/' + QCoreApplication::applicationName() + ".conf";
    if (!QFileInfo::exists(mDefaultFile)) {
        QFile file(mDefaultFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        mCreatedDefault = true;
    }
    LogCapture capture;
    mSettings = manager::Settings::instance();
    QCOMPARE(manager::Settings::instance(), mSettings);
    QVERIFY(capture.texts().size() == 1 && capture.texts().first().startsWith("[CLI] Starting '"));
    QCOMPARE(mSettings->name(), QCoreApplication::applicationName() + ".conf");
    QCOMPARE(mSettings->path(), QCoreApplication::applicationDirPath());
}

void tst_Settings::init()
{
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->writeFile("zub.conf", "[log]\nlevel=2\n"));
    mSettings->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
    QCOMPARE(mSettings->path(), QFileInfo(mEnv->path()).absoluteFilePath());
}

void tst_Settings::cleanup()
{
    mSettings->setDefaultLocation(QFileInfo(mDefaultFile));
    mEnv.reset();
}

void tst_Settings::cleanupTestCase()
{
    if (mCreatedDefault)
        QFile::remove(mDefaultFile);
}

void tst_Settings::setDefaultLocation_data()
{
    QTest::addColumn<QString>("target");   // below the test folder
    QTest::addColumn<QString>("outcome");  // refused, same, changed
    QTest::newRow("missing-file") << "nothing.conf" << "refused";
    QTest::newRow("directory") << "folder" << "refused";
    QTest::newRow("same-file") << "zub.conf" << "same";
    QTest::newRow("same-through-symlink") << "link.conf" << "same";
    QTest::newRow("other-file") << "other.conf" << "changed";
    QTest::newRow("other-file-relative") << "relative" << "changed";
}

void tst_Settings::setDefaultLocation()
{
    QFETCH(QString, target);
    QFETCH(QString, outcome);
    QVERIFY(mEnv->writeFile("other.conf", "[a]\nb=1\n"));
    QVERIFY(QDir(mEnv->path()).mkdir("folder"));
    QVERIFY(QFile::link(mEnv->settingsFile(), mEnv->filePath("link.conf")));
    const QString current = mEnv->settingsFile();
    QFileInfo file(mEnv->filePath(target));
    if (target == "relative")
        file = QFileInfo(QDir::current().relativeFilePath(mEnv->filePath("other.conf")));

    QSignalSpy changed(mSettings, &manager::Settings::locationChanged);
    LogCapture capture;
    mSettings->setDefaultLocation(file);

    QStringList expected{"[settings] Setting location to " + file.absoluteFilePath()};
    if (outcome == "refused")
        expected << "[settings] Location not found, keeping current " + current;
    else if (outcome == "same")
        expected << "[settings] Location found and same as current, no action taken";
    else
        expected << "[settings] Location found, changing";
    QCOMPARE(capture.texts(), expected);
    QCOMPARE(capture.entries().last().type, outcome == "refused" ? QtWarningMsg : QtInfoMsg);
    QCOMPARE(changed.count(), outcome == "changed" ? 1 : 0);
    QCOMPARE(mSettings->name(), outcome == "changed" ? QStringLiteral("other.conf") : QStringLiteral("zub.conf"));
    QCOMPARE(mSettings->path(), QFileInfo(mEnv->path()).absoluteFilePath());
}

void tst_Settings::createFollowsTheLocation()
{
    QVERIFY(mEnv->writeFile("other.conf", "[a]\nb=1\n"));
    std::unique_ptr<QSettings> before(mSettings->create());
    QCOMPARE(before->fileName(), mEnv->settingsFile());
    QCOMPARE(before->format(), QSettings::defaultFormat());
    QCOMPARE(before->value("log/level").toString(), QStringLiteral("2"));

    // Receivers of the switch open their new settings object right away.
    QString seenInSignal;
    const auto connection = connect(mSettings, &manager::Settings::locationChanged, this, [&] {
        std::unique_ptr<QSettings> s(mSettings->create());
        seenInSignal = s->fileName();
    });
    mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("other.conf")));
    disconnect(connection);
    QCOMPARE(seenInSignal, mEnv->filePath("other.conf"));
    std::unique_ptr<QSettings> after(mSettings->create());
    QCOMPARE(after->value("a/b").toString(), QStringLiteral("1"));
    QCOMPARE(before->fileName(), mEnv->settingsFile());
}

void tst_Settings::editEmitsFileChanged()
{
    QSignalSpy spy(mSettings, &manager::Settings::fileChanged);
    for (int round = 1; round <= 3; ++round) {
        QFile file(mEnv->settingsFile());
        QVERIFY(file.open(QIODevice::Append));
        file.write("x=1\n");
        file.close();
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= round, 10000);
    }
    // A file no longer in use is no longer watched.
    QVERIFY(mEnv->writeFile("other.conf", ""));
    mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("other.conf")));
    const int before = spy.count();
    QVERIFY(mEnv->writeFile("zub.conf", "[y]\nz=1\n"));
    QVERIFY(mEnv->writeFile("other.conf", "[y]\nz=2\n"));
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
    QCOMPARE(spy.count(), before + 1);
}

void tst_Settings::changeNoticesSurviveRewrites_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("settings-sync") << "sync";
    QTest::newRow("rename-over") << "rename";
    QTest::newRow("delete-then-create") << "recreate";
}

void tst_Settings::changeNoticesSurviveRewrites()
{
    QFETCH(QString, how);
    QSignalSpy spy(mSettings, &manager::Settings::fileChanged);
    const QString file = mEnv->settingsFile();
    for (int round = 1; round <= 3; ++round) {
        const int before = spy.count();
        if (how == "sync") {
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue("round/number", round);
            QVERIFY(manager::Settings::sync(settings));
        } else if (how == "rename") {
            QVERIFY(mEnv->writeFile("zub.conf.tmp", "[round]\nnumber=" + QByteArray::number(round) + "\n"));
            QVERIFY(::rename(qPrintable(mEnv->filePath("zub.conf.tmp")), qPrintable(file)) == 0);
        } else {
            QVERIFY(QFile::remove(file));
            QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
            QVERIFY(mEnv->writeFile("zub.conf", "[round]\nnumber=" + QByteArray::number(round) + "\n"));
            QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before + 1, 10000);
            continue;
        }
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
    }
    // And a plain edit after all that is still seen.
    const int before = spy.count();
    QFile edit(file);
    QVERIFY(edit.open(QIODevice::Append));
    edit.write("[more]\nx=1\n");
    edit.close();
    QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
}

void tst_Settings::toJsonDoc_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("empty-file") << QByteArray() << QByteArray("{}");
    QTest::newRow("groups") << QByteArray("[log]\nlevel=2\n\n[zub]\nobu_port=1883\n")
                            << QByteArray(R"({"log":{"level":"2"},"zub":{"obu_port":"1883"}})");
    QTest::newRow("general-and-array") << QByteArray("[General]\nname=n\n\n[list]\n1\\x=a\n2\\x=b\nsize=2\n")
                                       << QByteArray(R"({"name":"n","list":[{"x":"a"},{"x":"b"}]})");
}

void tst_Settings::toJsonDoc()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    QVERIFY(mEnv->writeFile("fresh.conf", content));
    mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("fresh.conf")));
    QCOMPARE(mSettings->toJsonDoc(), QJsonDocument::fromJson(expected));
}

void tst_Settings::syncReportsFailedWrites()
{
    LogCapture capture;
    QSettings good(mEnv->settingsFile(), QSettings::IniFormat);
    good.setValue("a/b", 1);
    QVERIFY(manager::Settings::sync(good));
    QVERIFY(capture.entries().isEmpty());

    QVERIFY(mEnv->writeFile("blocker", "x"));
    const QString path = mEnv->filePath("blocker/zub.conf");
    QSettings bad(path, QSettings::IniFormat);
    bad.setValue("a/b", 1);
    QVERIFY(!manager::Settings::sync(bad));
    QCOMPARE(capture.texts(), QStringList{"[settings] WARN: Could not write settings file " + path});
}

void tst_Settings::otherThreadsReadDuringSwitches()
{
    QVERIFY(mEnv->writeFile("other.conf", "[a]\nb=1\n"));
    const QString first = mEnv->settingsFile();
    const QString second = mEnv->filePath("other.conf");
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::atomic<int> strays{0};
    QThread *reader = QThread::create([&] {
        while (!stop.load()) {
            std::unique_ptr<QSettings> s(mSettings->create());
            if (s->fileName() != first && s->fileName() != second)
                ++strays;
            mSettings->toJsonDoc();
            if (mSettings->name().isEmpty() || mSettings->path().isEmpty())
                ++strays;
            ++reads;
        }
    });
    LogCapture quiet;
    reader->start();
    for (int i = 0; i < 200; ++i)
        mSettings->setDefaultLocation(QFileInfo(i % 2 ? first : second));
    QTRY_VERIFY(reads.load() > 10);
    stop = true;
    QVERIFY(reader->wait(30000));
    delete reader;
    QCOMPARE(strays.load(), 0);
}

void tst_Settings::firstStart_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("before");   // none, file, folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("after");    // empty, none, unchanged, folder
    QTest::addColumn<QString>("logged");   // a logged fragment, if any

    QTest::newRow("creates-empty-file") << QStringList{} << "none" << 0 << "empty" << QString();
    QTest::newRow("other-file-named") << QStringList{"-f", "other.conf"} << "none" << 0 << "none" << QString();
    QTest::newRow("help-ends-first-start") << QStringList{"-h"} << "none" << 0 << "none" << QString();
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
    QVERIFY2(err.contains("[CLI] Starting 'zub v1.2.18 "), qPrintable(run.describe()));
    if (!logged.isEmpty())
        QVERIFY2(err.contains(logged), qPrintable(run.describe()));
    if (exitCode == 0 && !arguments.contains("-h"))
        QCOMPARE(QString::fromUtf8(run.standardOutput()), conf + '\n');

    const QFileInfo file(conf);
    if (after == "empty") {
        QVERIFY(file.isFile());
        QCOMPARE(file.size(), 0);
    } else if (after == "none") {
        QVERIFY(!file.exists());
    } else if (after == "unchanged") {
        QFile f(conf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("[a]\nb=1\n"));
    } else {
        QVERIFY(file.isDir());
    }
}

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
