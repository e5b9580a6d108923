// A small program the framework tests run as a child process, for what ends a process
// (command-line exits, fatal messages) or needs a program folder of its own (first start).
// ZUB_HARNESS picks the mode; the command line is left to the code under test.
#include "framework/cli.h"
#include "framework/logger.h"
#include "framework/settings.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

void writeOut(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

// Log lines to standard error; syslog records, when wanted, to standard output.
void setUpLogger(bool syslogToStdout)
{
    manager::Logger *logger = manager::Logger::instance();
    logger->setStderr(true);
    logger->setSyslog(syslogToStdout);
    if (syslogToStdout)
        logger->setSyslogWriter([](int priority, const QByteArray &record) {
            writeOut("SYSLOG " + QByteArray::number(priority) + ' ' + record + '\n');
        });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zub"));
    QCoreApplication::setApplicationVersion(QStringLiteral("v1.2.18"));
    const QByteArray mode = qgetenv("ZUB_HARNESS");

    if (mode == "cli") {
        setUpLogger(false);
        const QVariantMap result = manager::CLI(qEnvironmentVariable("ZUB_HARNESS_NAME")).parse();
        writeOut(QJsonDocument(QJsonObject::fromVariantMap(result)).toJson(QJsonDocument::Compact) + '\n');
        QByteArray types;
        for (auto it = result.cbegin(); it != result.cend(); ++it)
            types += it.key().toUtf8() + '=' + it.value().typeName() + ' ';
        writeOut(types.trimmed() + '\n');
        return 0;
    }
    if (mode == "fatal") {
        setUpLogger(true);
        qInfo("[harness] before");
        qFatal("%s", "[harness] going down");
        return 0;
    }
    if (mode == "threads") {
        setUpLogger(false);
        const int lines = qEnvironmentVariableIntValue("ZUB_HARNESS_LINES");
        std::vector<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads.push_back(QThread::create([t, lines] {
                for (int i = 0; i < lines; ++i)
                    qInfo("[thread %d] line %d of a message long enough to tear if writes interleaved", t, i);
            }));
            threads.back()->start();
        }
        for (QThread *thread : threads) {
            thread->wait();
            delete thread;
        }
        return 0;
    }
    if (mode == "settings") {
        setUpLogger(false);
        manager::Settings *settings = manager::Settings::instance();
        writeOut(settings->path().toUtf8() + '/' + settings->name().toUtf8() + '\n');
        return 0;
    }
    writeOut("unknown mode\n");
    return 2;
}
