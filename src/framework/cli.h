#pragma once

#include <QString>
#include <QVariantMap>

class QCommandLineParser;

namespace manager {

// Writes the start banner and turns the process's command line into a map of overrides
// ("level", "stderr", "color", "save", "conf"). Help, version and bad command lines end
// the process from parse(). Plain class, used on the main thread.
class CLI
{
public:
    explicit CLI(const QString &name = QString());

    QVariantMap parse() const;

private:
    [[noreturn]] void fail(QCommandLineParser &parser, const QString &reason) const;

    QString mName;
};

} // namespace manager
