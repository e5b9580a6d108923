#include "framework/logger.h"

#include "support/childrun.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QtTest>

#include <ctime>

Q_LOGGING_CATEGORY(lcZub, "zub.test")
Q_LOGGING_CATEGORY(lcQt, "qt.test")

namespace {

struct Record
{
    int priority;
    QByteArray text;
};

const QByteArray Esc = "\x1b";

} // namespace

// Everything in-process goes to captured writers: nothing reaches the real system log.
class tst_Logger : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void writes_data();
    void writes();
    void levelFiltersMessages_data();
    void levelFiltersMessages();
    void startTimeIsOnTheMonotonicClock();
    void messageFromInsideTheHandlerDoesNotHang();
    void threadsInterleaveNothingOnRealStderr();
    void fatalWritesThenAborts();

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
    // The defaults before any setter: syslog on, standard error off.
    QVERIFY(mLogger->getSyslog() && !mLogger->getStderr());
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

void tst_Logger::writes_data()
{
    QTest::addColumn<char>("type"); // D I W C; lower case: of the category zub.test
    QTest::addColumn<bool>("color");
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<int>("priority");
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("word"); // in the syslog record only
    QTest::addColumn<QByteArray>("text");
    const QByteArray zero = "[    0.000] ";
    QTest::newRow("info") << 'I' << false << 0.0 << 6 << zero << QByteArray() << QByteArray("t%s %n");
    QTest::newRow("wider-grows") << 'I' << false << 123456789.0 << 6 << QByteArray("[123456.789] ") << QByteArray()
                                 << QByteArray("t%s %n");
    QTest::newRow("debug") << 'D' << false << 1500.0 << 7 << QByteArray("[    1.500] ") << QByteArray("[debug] ")
                           << QByteArray("t%s %n");
    QTest::newRow("warning") << 'W' << false << 0.0 << 4 << zero << QByteArray("[warning] ") << QByteArray("t%s %n");
    QTest::newRow("critical") << 'C' << false << 0.0 << 2 << zero << QByteArray("[error] ") << QByteArray("t%s %n");
    QTest::newRow("color-warning-yellow") << 'W' << true << 0.0 << 4 << zero << QByteArray("[warning] ")
                                          << Esc + "[33mt%s %n" + Esc + "[39m";
    QTest::newRow("color-critical-red") << 'C' << true << 0.0 << 2 << zero << QByteArray("[error] ")
                                        << Esc + "[31mt%s %n" + Esc + "[39m";
    QTest::newRow("color-category") << 'w' << true << 0.0 << 4 << zero << QByteArray("[warning] ")
                                    << "[zub.test] " + Esc + "[33mt%s %n" + Esc + "[39m";
}

void tst_Logger::writes()
{
    QFETCH(char, type);
    QFETCH(bool, color);
    QFETCH(double, elapsedMs);
    QFETCH(int, priority);
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, word);
    QFETCH(QByteArray, text);
    mLogger->setLevel(3);
    mLogger->setColor(color);
    mNow += elapsedMs;
    const char *message = "t%s %n"; // never taken as a format
    switch (type) {
    case 'D': qDebug("%s", message); break;
    case 'I': qInfo("%s", message); break;
    case 'W': qWarning("%s", message); break;
    case 'w': qCWarning(lcZub, "%s", message); break;
    default: qCritical("%s", message); break;
    }
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first().priority, priority);
    QCOMPARE(records.first().text, prefix + word + text);
    QCOMPARE(takeLines(), QList<QByteArray>{prefix + text + '\n'});
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
    QTest::newRow("4-everything") << 4 << "DIWCzq";
    QTest::newRow("out-of-range-is-info") << 7 << "IWC";
    QTest::newRow("bad-enum-changes-nothing") << -2 << "C";
}

void tst_Logger::levelFiltersMessages()
{
    QFETCH(int, level);
    QFETCH(QString, expected);
    if (level == -2) {
        mLogger->setLevel(manager::Logger::Errors);
        mLogger->setLevel(manager::Logger::Level(9));
    } else {
        mLogger->setLevel(level);
    }
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

void tst_Logger::startTimeIsOnTheMonotonicClock()
{
    mLogger->setClock(nullptr);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // The real-time clock reads decades since 1970; the monotonic one is near boot time.
    QVERIFY(qAbs(mLogger->getStartTime() - (double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6)) < 60000.0);
    qInfo("x");
    const QList<Record> records = takeRecords();
    QCOMPARE(records.size(), 1);
    QVERIFY2(QRegularExpression("^\\[ {4}[0-9]\\.[0-9]{3}\\] x$").match(records.first().text).hasMatch(),
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
    // The plain pattern gives a fatal message its origin: function, file, line, process and thread.
    const QString origin = QStringLiteral(".* at .*:[0-9]+ \\([0-9]+:[0-9]+:0x[0-9a-f]+\\) - ");
    QVERIFY2(QRegularExpression(QStringLiteral("^SYSLOG 6 \\[ *[0-9.]+\\] \\[harness\\] before\\n"
                                               "SYSLOG 3 \\[ *[0-9.]+\\] \\[fatal\\] ")
                                + origin + QStringLiteral("\\[harness\\] going down\\n$"))
                 .match(QString::fromUtf8(run.standardOutput()))
                 .hasMatch(),
             qPrintable(run.describe()));
    QVERIFY2(QRegularExpression("^\\[ *[0-9.]+\\] " + origin + "\\[harness\\] going down$")
                 .match(run.errorLines().value(run.errorLines().size() - 1))
                 .hasMatch(),
             qPrintable(run.describe()));
}

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
