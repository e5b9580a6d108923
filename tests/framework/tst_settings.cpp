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
    void changeNoticesSurviveRewrites_data();
    void changeNoticesSurviveRewrites();
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
    QVERIFY(capture.texts().size() == 1 && capture.texts().first().startsWith("[CLI] Starting '"));
    QCOMPARE(capture.entries().first().type, QtInfoMsg);
    QCOMPARE(mSettings->name(), QCoreApplication::applicationName() + ".conf");
    QCOMPARE(mSettings->path(), QCoreApplication::applicationDirPath());
}

void tst_Settings::init()
{
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->writeFile("zub.conf", "[log]\nlevel=2\n"));
    QVERIFY(mEnv->writeFile("other.conf", "[a]\nb=1\n"));
    mSettings->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
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
            QSettings settings(file, QSettings::IniFormat);
            settings.setValue("round/number", round);
            QVERIFY(manager::Settings::sync(settings));
        } else {
            QVERIFY(QFile::remove(file));
            QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before, 10000);
            QVERIFY(mEnv->writeFile("zub.conf", "[round]\nnumber=" + QByteArray::number(round) + "\n"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() > before + (how == "recreate" ? 1 : 0), 10000);
    }
    // A file no longer in use is no longer watched.
    mSettings->setDefaultLocation(QFileInfo(mEnv->filePath("other.conf")));
    const int before = spy.count();
    QVERIFY(mEnv->writeFile("zub.conf", "[y]\nz=1\n"));
    QVERIFY(mEnv->writeFile("other.conf", "[y]\nz=2\n"));
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

QTEST_GUILESS_MAIN(tst_Settings)
#include "tst_settings.moc"
