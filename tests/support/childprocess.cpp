#include "support/childprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

ChildProcess::ChildProcess(const QString &program, const QStringList &arguments, const QString &workingDirectory,
                           const QMap<QString, QString> &environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        env.insert(it.key(), it.value());
    mProcess.setProcessEnvironment(env);
    mProcess.setProgram(program);
    mProcess.setArguments(arguments);
    mProcess.setReadChannel(QProcess::StandardError);
    mProcess.setWorkingDirectory(workingDirectory);
}

ChildProcess::~ChildProcess()
{
    terminate();
}

bool ChildProcess::start(int timeoutMs)
{
    mProcess.start();
    return mProcess.waitForStarted(timeoutMs);
}

bool ChildProcess::terminate(int timeoutMs)
{
    if (isRunning()) {
        mProcess.terminate();
        if (!mProcess.waitForFinished(timeoutMs)) {
            mProcess.kill();
            mProcess.waitForFinished(timeoutMs);
        }
    }
    collect();
    return !isRunning();
}

void ChildProcess::collect()
{
    mErr += mProcess.readAllStandardError();
    mProcess.readAllStandardOutput(); // not kept, but never left to fill the pipe
}

QStringList ChildProcess::errorLines()
{
    collect();
    return QString::fromUtf8(mErr).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool ChildProcess::hasErrorPart(const QString &fragment)
{
    collect();
    return QString::fromUtf8(mErr).contains(fragment);
}

bool ChildProcess::waitForErrorPart(const QString &fragment, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!hasErrorPart(fragment)) {
        if (deadline.hasExpired() || !isRunning())
            return hasErrorPart(fragment);
        mProcess.waitForReadyRead(int(qMin<qint64>(100, deadline.remainingTime())));
        QCoreApplication::processEvents();
    }
    return true;
}

QString ChildProcess::describe()
{
    collect();
    return QStringLiteral("running=%1 exit=%2\n--- stderr\n%3")
        .arg(isRunning())
        .arg(mProcess.exitCode())
        .arg(QString::fromUtf8(mErr));
}
