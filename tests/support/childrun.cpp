#include "support/childrun.h"

ChildRun::ChildRun(const QString &program, const QStringList &arguments, const QMap<QString, QString> &environment,
                   int timeoutMs)
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

QString ChildRun::describe() const
{
    return QStringLiteral("finished=%1 crashed=%2 exit=%3\n--- stdout\n%4--- stderr\n%5")
        .arg(mFinished).arg(mCrashed).arg(mExitCode).arg(QString::fromUtf8(mOut), QString::fromUtf8(mErr));
}
