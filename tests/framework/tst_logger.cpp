#include "framework/logger.h"

#include "support/childrun.h"
#include "support/logcapture.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>

#include <ctime>
#include <vector>

Q_LOGGING_CATEGORY(lcZub, "zub.test")
Q_LOGGING_CATEGORY(lcQt, "qt.test")

namespace {

struct Record
{
    int priority;
    QByteArray text;
};

double monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double(now.tv_sec) * 1e9 + double(now.tv_nsec)) / 1e6;
}

const QString Esc = QStringLiteral("\x1b");

} // namespace

// Everything in-process goes to captured writers: nothing reaches the real system log.
class tst_Logger : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void prefixIsSecondsSinceStart_data();
    void prefixIsSecondsSinceStart();
    void recordPerMessageType_data();
    void recordPerMessageType();
    void messageTextIsNeverAFormat();
    void levelFiltersMessages_data();
    void levelFiltersMessages();
    void levelOutOfRangeChangesNothing();
    void messagePattern_data();
    void messagePattern();
    void outputsSwitchIndependently_data();
    void outputsSwitchIndependently();
    void startTimeIsOnTheMonotonicClock();
    void messageFromInsideTheHandlerDoesNotHang();
    void threadsLoseAndInterleaveNothing();
    void threadsInterleaveNothingOnRealStderr();
    void fatalWritesThenAborts();
    void logCaptureTakesOverAndGivesBack();

private:
    QList<Record> takeRecords();
    QList<QByteArray> takeLines();

    manager::Logger *mLogger = nullptr;
    double mNow = 0.0;
    QList<Record> mRecords; // filled under the logger's mutex
    QList<QByteArray> mLines;
};

void tst_Logger::initTestCase()
{
    mLogger = manager::Logger::instance();
    QCOMPARE(manager::Logger::instance(), mLogger);
    // The defaults before any setter: syslog on, standard error off.
    QVERIFY(mLogger->getSyslog());
    QVERIFY(!mLogger->getStderr());
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) { mRecords.append({priority, record}); });
    mLogger->setStderrWriter([this](const QByteArray &line) { mLines.append(line); });
}

void tst_Logger::init()
{
    mLogger->setLevel(2);
    mLogger->setColor(false);
    mLogger->setSyslog(true);
    mLogger->setStderr(true);
    mNow = 5000.0;
    mLogger->setClock([this] { return mNow; });
    takeRecords();
    takeLines();
}

void tst_Logger::cleanupTestCase()
{
    mLogger->setSyslog(false);
    mLogger->setStderr(true);
    mLogger->setSyslogWriter(nullptr);
    mLogger->setStderrWriter(nullptr);
    mLogger->setClock(nullptr);
}

QList<Record> tst_Logger::takeRecords()
{
    QMutexLocker lock(mLogger->getMutex());
    return std::exchange(mRecords, {});
}

QList<QByteArray> tst_Logger::takeLines()
{
    QMutexLocker lock(mLogger->getMutex());
    return std::exchange(mLines, {});
}

void tst_Logger::prefixIsSecondsSinceStart_data()
{
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("zero") << 0.0 << QByteArray("[    0.000] hello");
    QTest::newRow("milliseconds") << 5.0 << QByteArray("[    0.005] hello");
    QTest::newRow("seconds") << 1234.0 << QByteArray("[    1.234] hello");
    QTest::newRow("full-width") << 99999999.0 << QByteArray("[99999.999] hello");
    QTest::newRow("wider-grows") << 123456789.0 << QByteArray("[123456.789] hello");
}

void tst_Logger::prefixIsSecondsSinceStart()
{
    QFETCH(double, elapsedMs);
    QFETCH(QByteArray, expected);
    mNow += elapsedMs;
    qInfo("hello");
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().text, expected);
    QCOMPARE(takeLines(), QList<QByteArray>{expected + '\n'});
}

void tst_Logger::recordPerMessageType_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("priority");
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("debug") << int(QtDebugMsg) << 7 << QByteArray("[    1.500] [debug] text");
    QTest::newRow("info") << int(QtInfoMsg) << 6 << QByteArray("[    1.500] text");
    QTest::newRow("warning") << int(QtWarningMsg) << 4 << QByteArray("[    1.500] [warning] text");
    QTest::newRow("critical") << int(QtCriticalMsg) << 2 << QByteArray("[    1.500] [error] text");
}

void tst_Logger::recordPerMessageType()
{
    QFETCH(int, type);
    QFETCH(int, priority);
    QFETCH(QByteArray, record);
    mLogger->setLevel(3);
    mNow += 1500.0;
    switch (QtMsgType(type)) {
    case QtDebugMsg: qDebug("text"); break;
    case QtInfoMsg: qInfo("text"); break;
    case QtWarningMsg: qWarning("text"); break;
    default: qCritical("text"); break;
    }
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().priority, priority);
    QCOMPARE(records.first().text, record);
    // Standard error carries no level word.
    QCOMPARE(takeLines(), QList<QByteArray>{"[    1.500] text\n"});
}

void tst_Logger::messageTextIsNeverAFormat()
{
    qInfo("%s", "100% sure: %s %n %d");
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().text, QByteArray("[    0.000] 100% sure: %s %n %d"));
}

void tst_Logger::levelFiltersMessages_data()
{
    // D, I, W, C: debug, info, warning, critical of the default category;
    // z: debug of an own category; q: info of a Qt category
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0-errors") << 0 << "C";
    QTest::newRow("1-warnings") << 1 << "WC";
    QTest::newRow("2-info") << 2 << "IWC";
    QTest::newRow("3-debug") << 3 << "DIWCz";
    QTest::newRow("4-everything") << 4 << "DIWCzq";
    QTest::newRow("minus-one-is-info") << -1 << "IWC";
    QTest::newRow("seven-is-info") << 7 << "IWC";
    QTest::newRow("large-is-info") << 1000 << "IWC";
}

void tst_Logger::levelFiltersMessages()
{
    QFETCH(int, level);
    QFETCH(QString, expected);
    mLogger->setLevel(level);
    qDebug("D");
    qInfo("I");
    qWarning("W");
    qCritical("C");
    qCDebug(lcZub, "z");
    qCInfo(lcQt, "q");
    QString seenSyslog, seenStderr;
    for (const Record &r : takeRecords())
        seenSyslog += QString::fromUtf8(r.text.right(1));
    for (const QByteArray &line : takeLines())
        seenStderr += QString::fromUtf8(line.mid(line.size() - 2, 1));
    QCOMPARE(seenSyslog, expected);
    QCOMPARE(seenStderr, expected);
}

void tst_Logger::levelOutOfRangeChangesNothing()
{
    mLogger->setLevel(manager::Logger::Errors);
    mLogger->setLevel(manager::Logger::Level(9));
    mLogger->setLevel(manager::Logger::Level(-1));
    qWarning("W");
    qCritical("C");
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().text, QByteArray("[    0.000] [error] C"));
}

void tst_Logger::messagePattern_data()
{
    QTest::addColumn<bool>("color");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("ownCategory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain-info") << false << int(QtInfoMsg) << false << "m";
    QTest::newRow("plain-warning") << false << int(QtWarningMsg) << false << "m";
    QTest::newRow("plain-category") << false << int(QtWarningMsg) << true << "m";
    QTest::newRow("color-info") << true << int(QtInfoMsg) << false << "m";
    QTest::newRow("color-warning-yellow") << true << int(QtWarningMsg) << false << Esc + "[33mm" + Esc + "[39m";
    QTest::newRow("color-debug-magenta") << true << int(QtDebugMsg) << false << Esc + "[35mm" + Esc + "[39m";
    QTest::newRow("color-critical-red") << true << int(QtCriticalMsg) << false << Esc + "[31mm" + Esc + "[39m";
    QTest::newRow("color-category-info") << true << int(QtInfoMsg) << true << "[zub.test] m";
    QTest::newRow("color-category-warning") << true << int(QtWarningMsg) << true
                                            << "[zub.test] " + Esc + "[33mm" + Esc + "[39m";
}

void tst_Logger::messagePattern()
{
    QFETCH(bool, color);
    QFETCH(int, type);
    QFETCH(bool, ownCategory);
    QFETCH(QString, expected);
    mLogger->setLevel(3);
    mLogger->setColor(color);
    switch (QtMsgType(type)) {
    case QtDebugMsg: qDebug("m"); break;
    case QtInfoMsg:
        if (ownCategory)
            qCInfo(lcZub, "m");
        else
            qInfo("m");
        break;
    case QtWarningMsg:
        if (ownCategory)
            qCWarning(lcZub, "m");
        else
            qWarning("m");
        break;
    default: qCritical("m"); break;
    }
    const QList<QByteArray> lines = takeLines();
    QCOMPARE(lines.size(), 1);
    QCOMPARE(QString::fromUtf8(lines.first()), "[    0.000] " + expected + "\n");
}

void tst_Logger::outputsSwitchIndependently_data()
{
    QTest::addColumn<bool>("toSyslog");
    QTest::addColumn<bool>("toStderr");
    QTest::newRow("both") << true << true;
    QTest::newRow("syslog-only") << true << false;
    QTest::newRow("stderr-only") << false << true;
    QTest::newRow("none-drops") << false << false;
}

void tst_Logger::outputsSwitchIndependently()
{
    QFETCH(bool, toSyslog);
    QFETCH(bool, toStderr);
    mLogger->setSyslog(toSyslog);
    mLogger->setStderr(toStderr);
    QCOMPARE(mLogger->getSyslog(), toSyslog);
    QCOMPARE(mLogger->getStderr(), toStderr);
    qCritical("x");
    QCOMPARE(takeRecords().size(), toSyslog ? 1 : 0);
    QCOMPARE(takeLines().size(), toStderr ? 1 : 0);
}

void tst_Logger::startTimeIsOnTheMonotonicClock()
{
    mLogger->setClock(nullptr);
    const double now = monotonicNow();
    // The real-time clock reads decades since 1970; the monotonic one is near boot time.
    QVERIFY2(qAbs(mLogger->getStartTime() - now) < 60000.0,
             qPrintable(QStringLiteral("start %1, monotonic now %2").arg(mLogger->getStartTime()).arg(now)));
    qInfo("x");
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\[ {4}[0-9]\\.[0-9]{3}\\] x$"))
                 .match(QString::fromUtf8(records.first().text))
                 .hasMatch(),
             records.first().text.constData());
}

void tst_Logger::messageFromInsideTheHandlerDoesNotHang()
{
    // A writer that logs runs inside the handler: its message must bypass the lock, also
    // when it reaches the handler without passing Qt's own guard.
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) {
        mRecords.append({priority, record});
        qWarning("[test] raised inside the handler");
        manager::Logger::messageHandler(QtWarningMsg, QMessageLogContext(), QStringLiteral("[test] straight in"));
    });
    qInfo("outer");
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) { mRecords.append({priority, record}); });
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().text, QByteArray("[    0.000] outer"));
    qInfo("after");
    QCOMPARE(takeRecords().size(), 1);
}

void tst_Logger::threadsLoseAndInterleaveNothing()
{
    const int threads = 4;
    const int lines = 2000;
    std::vector<QThread *> workers;
    for (int t = 0; t < threads; ++t) {
        workers.push_back(QThread::create([t] {
            for (int i = 0; i < lines; ++i)
                qInfo("[thread %d] line %d", t, i);
        }));
        workers.back()->start();
    }
    for (QThread *worker : workers) {
        QVERIFY(worker->wait(60000));
        delete worker;
    }
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), threads * lines);
    const QRegularExpression form(QStringLiteral("^\\[    0\\.000\\] \\[thread ([0-9])\\] line ([0-9]+)$"));
    QVector<int> next(threads, 0);
    for (const Record &r : records) {
        const auto m = form.match(QString::fromUtf8(r.text));
        QVERIFY2(m.hasMatch(), r.text.constData());
        const int t = m.captured(1).toInt();
        QCOMPARE(m.captured(2).toInt(), next[t]++);
    }
    QCOMPARE(takeLines().size(), threads * lines);
}

void tst_Logger::threadsInterleaveNothingOnRealStderr()
{
    const int lines = 1000;
    const ChildRun run(QStringLiteral(HARNESS_PATH), {},
                       {{"ZUB_HARNESS", "threads"}, {"ZUB_HARNESS_LINES", QString::number(lines)}});
    QVERIFY2(run.finished() && !run.crashed() && run.exitCode() == 0, qPrintable(run.describe()));
    const QRegularExpression form(QStringLiteral(
        "^\\[ *[0-9]+\\.[0-9]{3}\\] \\[thread [0-3]\\] line [0-9]+ of a message long enough to tear if writes interleaved$"));
    int count = 0;
    for (const QString &line : run.errorLines()) {
        if (!line.contains(QLatin1String("[thread ")))
            continue;
        QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
        ++count;
    }
    QCOMPARE(count, 4 * lines);
}

void tst_Logger::fatalWritesThenAborts()
{
    const ChildRun run(QStringLiteral(HARNESS_PATH), {}, {{"ZUB_HARNESS", "fatal"}});
    QVERIFY2(run.finished() && run.crashed(), qPrintable(run.describe()));
    const QString out = QString::fromUtf8(run.standardOutput());
    // The plain pattern gives a fatal message its origin: function, file, line, process and thread.
    const QString origin = QStringLiteral(".* at .*:[0-9]+ \\([0-9]+:[0-9]+:0x[0-9a-f]+\\) - ");
    QVERIFY2(QRegularExpression(QStringLiteral("^SYSLOG 6 \\[ *[0-9.]+\\] \\[harness\\] before\\n"
                                               "SYSLOG 3 \\[ *[0-9.]+\\] \\[fatal\\] ")
                                + origin + QStringLiteral("\\[harness\\] going down\\n$"))
                 .match(out)
                 .hasMatch(),
             qPrintable(run.describe()));
    const QStringList err = run.errorLines();
    QVERIFY2(!err.isEmpty()
                 && QRegularExpression(QStringLiteral("^\\[ *[0-9.]+\\] ") + origin
                                       + QStringLiteral("\\[harness\\] going down$"))
                        .match(err.last())
                        .hasMatch(),
             qPrintable(run.describe()));
}

void tst_Logger::logCaptureTakesOverAndGivesBack()
{
    {
        LogCapture capture;
        qInfo("[test] captured");
        QVERIFY(capture.contains(QStringLiteral("[test] captured")));
        QVERIFY(takeRecords().isEmpty());
    }
    qInfo("[test] logged");
    QCOMPARE(takeRecords().size(), 1);
}

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
