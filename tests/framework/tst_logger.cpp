#include "framework/logger.h"

#include "support/childrun.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QtTest>

#include <ctime>

Q_LOGGING_CATEGORY(lcZub, "zub.test")
Q_LOGGING_CATEGORY(lcQt, "qt.test")

namespace {

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
    QList<QByteArray> take(QList<QByteArray> &list);
    void capture(int priority, const QByteArray &record) { mRecords << QByteArray::number(priority) + ' ' + record; }

    manager::Logger *mLogger = nullptr;
    double mNow = 0.0;
    QList<QByteArray> mRecords; // "priority record", filled under the logger's mutex
    QList<QByteArray> mLines;
};

void tst_Logger::initTestCase()
{
    mLogger = manager::Logger::instance();
    // The defaults before any setter: syslog on, standard error off.
    QVERIFY(mLogger->getSyslog() && !mLogger->getStderr());
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) { capture(priority, record); });
    mLogger->setStderrWriter([this](const QByteArray &line) { mLines.append(line); });
    mLogger->setSyslog(true);
    mLogger->setStderr(true);
}

void tst_Logger::init()
{
    mLogger->setLevel(2);
    mLogger->setColor(false);
    mNow = 5000.0;
    mLogger->setClock([this] { return mNow; });
    take(mRecords);
    take(mLines);
}

void tst_Logger::cleanupTestCase()
{
    mLogger->setSyslog(false);
    mLogger->setSyslogWriter(nullptr);
    mLogger->setStderrWriter(nullptr);
    mLogger->setClock(nullptr);
}

QList<QByteArray> tst_Logger::take(QList<QByteArray> &list)
{
    QMutexLocker lock(mLogger->getMutex());
    return std::exchange(list, {});
}

void tst_Logger::writes_data()
{
    QTest::addColumn<char>("type"); // D I W C; w: a warning of the category zub.test
    QTest::addColumn<double>("elapsedMs");
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("text"); // as written; coloured when it holds an escape
    const QByteArray zero = "[    0.000] ", t = "t%s %n";
    QTest::newRow("info") << 'I' << 0.0 << zero << QString(t) << t;
    QTest::newRow("wider-grows") << 'I' << 123456789.0 << QByteArray("[123456.789] ") << QString(t) << t;
    QTest::newRow("debug") << 'D' << 1500.0 << QByteArray("[    1.500] ") << QString(t) << t;
    QTest::newRow("warning") << 'W' << 0.0 << zero << QString(t) << t;
    QTest::newRow("critical") << 'C' << 0.0 << zero << QString(t) << t;
    QTest::newRow("color-critical-red") << 'C' << 0.0 << zero << QString(t) << Esc + "[31m" + t + Esc + "[39m";
    QTest::newRow("color-category") << 'w' << 0.0 << zero << QString(t)
                                    << "[zub.test] " + Esc + "[33m" + t + Esc + "[39m";
    // Each record is one line of text, whatever a message holds; the colour pattern's own escapes stay.
    QTest::newRow("color-warning-escaped") << 'W' << 0.0 << zero << "x\ny" << Esc + "[33mx\\ny" + Esc + "[39m";
    QTest::newRow("controls") << 'I' << 0.0 << zero << QString("\tb\x1b[31m\x1f \x7e\x7f") + QChar(0x9f) + QChar(0xa0)
                              << QByteArray(R"(\tb\x1b[31m\x1f ~\x7f\x9f)") + QString(QChar(0xa0)).toUtf8();
    QTest::newRow("unicode-separators") << 'I' << 0.0 << zero << QString("a") + QChar(0x2028) + "b" + QChar(0x2029) + "c\\n"
                                        << QByteArray(R"(a\u2028b\u2029c\n)");
}

void tst_Logger::writes()
{
    QFETCH(char, type);
    QFETCH(double, elapsedMs);
    QFETCH(QByteArray, prefix);
    QFETCH(QString, message);
    QFETCH(QByteArray, text);
    mLogger->setLevel(3);
    mLogger->setColor(text.contains(Esc));
    mNow += elapsedMs;
    // The syslog priority and the record's level word.
    const QMap<char, QByteArray> kinds = {
        {'D', "7 [debug] "}, {'I', "6 "}, {'W', "4 [warning] "}, {'w', "4 [warning] "}, {'C', "2 [error] "}};
    switch (type) {
    case 'D': qDebug().noquote() << message; break;
    case 'I': qInfo().noquote() << message; break;
    case 'W': qWarning().noquote() << message; break;
    case 'w': qCWarning(lcZub).noquote() << message; break;
    default: qCritical().noquote() << message; break;
    }
    const QByteArray kind = kinds.value(type);
    QCOMPARE(take(mRecords), QList<QByteArray>{kind.left(2) + prefix + kind.mid(2) + text});
    QCOMPARE(take(mLines), QList<QByteArray>{prefix + text + '\n'});
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
    for (const QByteArray &record : take(mRecords))
        seenSyslog += QString::fromUtf8(record.right(1));
    for (const QByteArray &line : take(mLines))
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
    const QByteArray record = take(mRecords).value(0);
    QVERIFY2(QRegularExpression("^6 \\[ {4}[0-9]\\.[0-9]{3}\\] x$").match(record).hasMatch(), record.constData());
}

void tst_Logger::messageFromInsideTheHandlerDoesNotHang()
{
    // A writer that logs runs inside the handler: its message must bypass the lock, also
    // when it reaches the handler without passing Qt's own guard.
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) {
        capture(priority, record);
        qWarning("[test] raised inside the handler");
        manager::Logger::messageHandler(QtWarningMsg, QMessageLogContext(), QStringLiteral("[test] straight in"));
    });
    qInfo("outer");
    mLogger->setSyslogWriter([this](int priority, const QByteArray &record) { capture(priority, record); });
    QCOMPARE(take(mRecords), QList<QByteArray>{"6 [    0.000] outer"});
}

void tst_Logger::threadsInterleaveNothingOnRealStderr()
{
    const int lines = 1000;
    const ChildRun run(QStringLiteral(HARNESS_PATH), {},
                       {{"ZUB_HARNESS", "threads"}, {"ZUB_HARNESS_LINES", QString::number(lines)}});
    QVERIFY2(run.finished() && !run.crashed() && run.exitCode() == 0, qPrintable(run.describe()));
    const QRegularExpression form(QStringLiteral(
        "^\\[ *[0-9]+\\.[0-9]{3}\\] \\[thread [0-3]\\] line [0-9]+ of a message long enough to tear if writes interleaved$"));
    const QStringList written = run.errorLines().filter(QStringLiteral("[thread "));
    QCOMPARE(written.size(), 4 * lines);
    for (const QString &line : written)
        QVERIFY2(form.match(line).hasMatch(), qPrintable(line));
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
