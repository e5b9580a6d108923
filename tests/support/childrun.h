#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs a program to its end (under a deadline) and keeps how it ended and what it wrote,
// for tests of exit codes, help texts and crashes.
class ChildRun
{
public:
    ChildRun(const QString &program, const QStringList &arguments,
             const QMap<QString, QString> &environment = {}, int timeoutMs = 60000);

    bool finished() const { return mFinished; }
    bool crashed() const { return mStatus == QProcess::CrashExit; }
    int exitCode() const { return mExitCode; }
    QByteArray standardOutput() const { return mOut; }
    QByteArray standardError() const { return mErr; }
    QStringList errorLines() const;
    // How it ended and what it wrote, for QVERIFY2.
    QString describe() const;

private:
    bool mFinished = false;
    QProcess::ExitStatus mStatus = QProcess::NormalExit;
    int mExitCode = -1;
    QByteArray mOut;
    QByteArray mErr;
};
