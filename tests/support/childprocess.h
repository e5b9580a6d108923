#pragma once

#include <QProcess>

// A program running beside the test, such as a long-lived service: its standard error is
// gathered as it comes, a test waits for a line with a deadline, and the program is ended
// (SIGTERM, then SIGKILL) at the latest when the object goes.
class ChildProcess
{
public:
    ChildProcess(const QString &program, const QStringList &arguments, const QString &workingDirectory = QString());
    ~ChildProcess() { terminate(); }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool start(int timeoutMs = 10000) { return mProcess.start(), mProcess.waitForStarted(timeoutMs); }
    bool isRunning() const { return mProcess.state() != QProcess::NotRunning; }
    qint64 processId() const { return mProcess.processId(); }
    // How it ended; a crash or a death by signal is no normal exit.
    bool exitedNormally() const { return mProcess.exitStatus() == QProcess::NormalExit; }
    int exitCode() const { return mProcess.exitCode(); }
    // Ends it with SIGTERM, or SIGKILL when it does not end in time; true when it ended.
    bool terminate(int timeoutMs = 10000);

    QStringList errorLines() { return errors().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    bool hasErrorPart(const QString &fragment) { return errors().contains(fragment); }
    // Waits until a line of standard error contains the fragment.
    bool waitForErrorPart(const QString &fragment, int timeoutMs = 10000);
    // Standard error so far and how it ended, for QVERIFY2.
    QString describe()
    {
        return QStringLiteral("running=%1 exit=%2\n--- stderr\n%3").arg(isRunning()).arg(exitCode()).arg(errors());
    }

private:
    QString errors(); // standard error so far

    QProcess mProcess;
    QByteArray mErr;
};
