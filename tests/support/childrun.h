#pragma once

#include <QMap>
#include <QProcess>

// Runs a program to its end (under a deadline) and keeps how it ended and what it wrote,
// for tests of exit codes, help texts and crashes.
class ChildRun
{
public:
    ChildRun(const QString &program, const QStringList &arguments,
             const QMap<QString, QString> &environment = {}, int timeoutMs = 60000);

    bool finished() const { return mFinished; }
    bool crashed() const { return mCrashed; }
    int exitCode() const { return mExitCode; }
    QByteArray standardOutput() const { return mOut; }
    QByteArray standardError() const { return mErr; }
    QStringList errorLines() const { return QString::fromUtf8(mErr).split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // How it ended and what it wrote, for QVERIFY2.
    QString describe() const;

private:
    bool mFinished = false;
    bool mCrashed = false;
    int mExitCode = -1;
    QByteArray mOut;
    QByteArray mErr;
};
