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

// What the program wrote before a message it sent since is in the pipe already: read it now,
// not when the event loop next turns, or a check after that message could miss it.
QString ChildProcess::errors()
{
    while (isRunning() && mProcess.waitForReadyRead(0)) {
    }
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
