// A small program the framework tests run as a child process, for what ends a process
// (command-line exits, fatal messages) or needs a program folder of its own (first start).
// ZUB_HARNESS picks the mode; the command line is left to the code under test. Log lines go
// to standard error; in the fatal mode, syslog records to standard output.
#include "framework/cli.h"
#include "framework/logger.h"
#include "framework/settings.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <cstdio>
#include <memory>

namespace {

void writeOut(const QByteArray &text)
{
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zub"));
    QCoreApplication::setApplicationVersion(QStringLiteral("v1.2.18"));
    const QByteArray mode = qgetenv("ZUB_HARNESS");
    manager::Logger *logger = manager::Logger::instance();
    logger->setStderr(true);
    logger->setSyslog(mode == "fatal");
    logger->setSyslogWriter([](int priority, const QByteArray &record) {
        writeOut("SYSLOG " + QByteArray::number(priority) + ' ' + record + '\n');
    });

    if (mode == "cli") { // the overrides as JSON, then their value types
        const QVariantMap result = manager::CLI(qEnvironmentVariable("ZUB_HARNESS_NAME")).parse();
        QByteArray types;
        for (auto it = result.cbegin(); it != result.cend(); ++it)
            types += it.key().toUtf8() + '=' + it.value().typeName() + ' ';
        writeOut(QJsonDocument(QJsonObject::fromVariantMap(result)).toJson(QJsonDocument::Compact) + '\n'
                 + types.trimmed() + '\n');
    } else if (mode == "fatal") {
        qInfo("[harness] before");
        qFatal("%s", "[harness] going down");
    } else if (mode == "threads") {
        const int lines = qEnvironmentVariableIntValue("ZUB_HARNESS_LINES");
        std::unique_ptr<QThread> threads[4];
        for (int t = 0; t < 4; ++t) {
            threads[t].reset(QThread::create([t, lines] {
                for (int i = 0; i < lines; ++i)
                    qInfo("[thread %d] line %d of a message long enough to tear if writes interleaved", t, i);
            }));
            threads[t]->start();
        }
        for (auto &thread : threads)
            thread->wait();
    } else if (mode == "settings") {
        manager::Settings *settings = manager::Settings::instance();
        writeOut(settings->path().toUtf8() + '/' + settings->name().toUtf8() + '\n');
    } else {
        writeOut("unknown mode\n");
        return 2;
    }
    return 0;
}
