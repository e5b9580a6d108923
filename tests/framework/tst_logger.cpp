#include "framework/logger.h"

#include "support/childrun.h"
#include "support/goldenfile.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QtTest>

#include <ctime>

Q_LOGGING_CATEGORY(lcZub, "zub.test")
Q_LOGGING_CATEGORY(lcQt, "qt.test")

// Everything in-process goes to captured writers: nothing reaches the real system log.
class tst_Logger : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        mLogger = manager::Logger::instance();
        // The defaults before any setter: syslog on, standard error off.
        QVERIFY(mLogger->getSyslog() && !mLogger->getStderr());
        mLogger->setSyslogWriter([this](int priority, const QByteArray &record) { capture(priority, record); });
        mLogger->setStderrWriter([this](const QByteArray &line) { mLines.append(line); });
        mLogger->setSyslog(true);
        mLogger->setStderr(true);
    }

    void init()
    {
        mLogger->setLevel(2);
        mLogger->setColor(false);
        mNow = 5000.0;
        mLogger->setClock([this] { return mNow; });
        take(mRecords);
        take(mLines);
    }

    void cleanupTestCase()
    {
        mLogger->setSyslog(false);
        mLogger->setSyslogWriter(nullptr);
        mLogger->setStderrWriter(nullptr);
        mLogger->setClock(nullptr);
    }

    void writes_data()
    {
        GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/logger.json").object(),
                            GoldenFile::path(TEST_DATA_DIR "/logger"),
                            [this](const QString &name, const QJsonValue &value) { return run(name, value); });
    }

    void writes()
    {
        QFETCH(QJsonValue, testCase);
        QFETCH(QJsonObject, expected);
        GOLDEN_COMPARE(run({}, testCase), expected);
    }

    void startTimeIsOnTheMonotonicClock()
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

    void messageFromInsideTheHandlerDoesNotHang()
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

    void threadsInterleaveNothingOnRealStderr()
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

    void fatalWritesThenAborts()
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
private:
    QJsonObject run(const QString &name, const QJsonValue &value);
    QList<QByteArray> take(QList<QByteArray> &list);
    void capture(int priority, const QByteArray &record) { mRecords << QByteArray::number(priority) + ' ' + record; }

    manager::Logger *mLogger = nullptr;
    double mNow = 0.0;
    QList<QByteArray> mRecords; // "priority record", filled under the logger's mutex
    QList<QByteArray> mLines;
};

QList<QByteArray> tst_Logger::take(QList<QByteArray> &list)
{
    QMutexLocker lock(mLogger->getMutex());
    return std::exchange(list, {});
}

// The cases of data/logger.json: one message of a type (D I W C; w: a warning of the category
// zub.test), the clock moved on by elapsedMs, or one message of each kind at a level (D I W C
// of the default category, z: debug of an own category, q: info of a Qt category). The syslog
// records ("priority record") and standard-error lines are in data/logger.expected.json.
QJsonObject tst_Logger::run(const QString &, const QJsonValue &value)
{
    const QJsonObject c = value.toObject();
    init();
    if (c.contains("level")) {
        if (c["level"].toInt() == -2) { // a bad enumeration value changes nothing
            mLogger->setLevel(manager::Logger::Errors);
            mLogger->setLevel(manager::Logger::Level(9));
        } else {
            mLogger->setLevel(c["level"].toInt());
        }
        qDebug("D");
        qInfo("I");
        qWarning("W");
        qCritical("C");
        qCDebug(lcZub, "z");
        qCInfo(lcQt, "q");
    } else {
        mLogger->setLevel(3);
        mLogger->setColor(c["color"].toBool());
        mNow += c["elapsedMs"].toDouble();
        const QString message = c["message"].toString(); // never taken as a format
        switch (c["type"].toString().at(0).toLatin1()) {
        case 'D': qDebug().noquote() << message; break;
        case 'I': qInfo().noquote() << message; break;
        case 'W': qWarning().noquote() << message; break;
        case 'w': qCWarning(lcZub).noquote() << message; break;
        default: qCritical().noquote() << message; break;
        }
    }
    QStringList records, lines;
    for (const QByteArray &record : take(mRecords))
        records << QString::fromUtf8(record);
    for (const QByteArray &line : take(mLines))
        lines << QString::fromUtf8(line);
    return {{"syslog", QJsonArray::fromStringList(records)}, {"stderr", QJsonArray::fromStringList(lines)}};
}

QTEST_GUILESS_MAIN(tst_Logger)
#include "tst_logger.moc"
