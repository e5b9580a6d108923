#include "support/childprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

ChildProcess::ChildProcess(const QString &program, const QStringList &arguments, const QString &workingDirectory)
{
    mProcess.setProgram(program);
    mProcess.setArguments(arguments);
    mProcess.setWorkingDirectory(workingDirectory);
    mProcess.setStandardOutputFile(QProcess::nullDevice()); // never left to fill the pipe
    mProcess.setReadChannel(QProcess::StandardError);
}

bool ChildProcess::terminate(int timeoutMs)
{
    mProcess.terminate(); // does nothing when it has ended
    if (isRunning() && !mProcess.waitForFinished(timeoutMs)) {
        mProcess.kill();
        mProcess.waitForFinished(timeoutMs);
    }
    return !isRunning();
}

QString ChildProcess::errors()
{
    mErr += mProcess.readAllStandardError();
    return QString::fromUtf8(mErr);
}

bool ChildProcess::waitForErrorPart(const QString &fragment, int timeoutMs)
{
    for (const QDeadlineTimer deadline(timeoutMs); !hasErrorPart(fragment); QCoreApplication::processEvents()) {
        if (deadline.hasExpired() || !isRunning())
            return hasErrorPart(fragment);
        mProcess.waitForReadyRead(int(qMin<qint64>(100, deadline.remainingTime())));
    }
    return true;
}
