#pragma once

#include <QMap>
#include <QProcess>

// Runs a program to its end (under a deadline) and keeps how it ended and what it wrote,
// for tests of exit codes, help texts and crashes.
class ChildRun
{
public:
    ChildRun(const QString &program, const QStringList &arguments,
             const QMap<QString, QString> &environment = {}, int timeoutMs = 60000)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (auto it = environment.cbegin(); it != environment.cend(); ++it)
            env.insert(it.key(), it.value());
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        mFinished = process.waitForStarted(timeoutMs) && process.waitForFinished(timeoutMs);
        if (!mFinished) {
            process.kill();
            process.waitForFinished(5000);
        }
        mCrashed = process.exitStatus() == QProcess::CrashExit;
        mExitCode = process.exitCode();
        mOut = process.readAllStandardOutput();
        mErr = process.readAllStandardError();
    }

    bool finished() const { return mFinished; }
    bool crashed() const { return mCrashed; }
    int exitCode() const { return mExitCode; }
    QByteArray standardOutput() const { return mOut; }
    QByteArray standardError() const { return mErr; }
    QStringList errorLines() const { return QString::fromUtf8(mErr).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // How it ended and what it wrote, for QVERIFY2.
    QString describe() const
    {
        return QStringLiteral("finished=%1 crashed=%2 exit=%3\n--- stdout\n%4--- stderr\n%5")
            .arg(mFinished).arg(mCrashed).arg(mExitCode).arg(QString::fromUtf8(mOut), QString::fromUtf8(mErr));
    }

private:
    bool mFinished = false;
    bool mCrashed = false;
    int mExitCode = -1;
    QByteArray mOut;
    QByteArray mErr;
};
