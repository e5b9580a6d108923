#include "framework/cli.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QStringList>

namespace manager {

namespace {
const QString Tag = QStringLiteral("[CLI] ");

// "Mmm dd yyyy hh:mm:ss", the day padded with a blank: the compiler's own form.
const char *const BuildMoment = __DATE__ " " __TIME__;
}

CLI::CLI(const QString &name)
    : mName(name.isEmpty() ? QCoreApplication::applicationName() : name)
{
    qInfo().noquote().nospace() << Tag << "Starting '" << mName << ' '
                                << QCoreApplication::applicationVersion() << ' '
                                << BuildMoment << "' " << QCoreApplication::arguments().join(' ');
}

QVariantMap CLI::parse() const
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help information and exits."));
    const QCommandLineOption version({QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Displays version and exits."));
    const QCommandLineOption verbose({QStringLiteral("v"), QStringLiteral("verbose")},
                                     QStringLiteral("Sets verbosity level: 0=err, 1=warn, 2=info(default), 3=debug"),
                                     QStringLiteral("level"));
    const QCommandLineOption toStderr({QStringLiteral("e"), QStringLiteral("stderr")},
                                      QStringLiteral("Log to stderr as well as syslog."));
    const QCommandLineOption color({QStringLiteral("c"), QStringLiteral("color")},
                                   QStringLiteral("Use VT100 color codes in log."));
    const QCommandLineOption save({QStringLiteral("s"), QStringLiteral("saveConf")},
                                  QStringLiteral("Saves effective configuration file in the specified file."));
    const QCommandLineOption config({QStringLiteral("f"), QStringLiteral("config")},
                                    QStringLiteral("Specifies configuration file (default is ./") + mName
                                        + QStringLiteral(".conf"),
                                    QStringLiteral("filename"));
    parser.addOptions({help, version, verbose, toStderr, color, save, config});

    // 1. errors and stray words win over everything, help included
    if (!parser.parse(QCoreApplication::arguments()))
        fail(parser, parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        fail(parser, QStringLiteral("No positional arguments expected."));

    // 2. help, then version
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    // 3. overrides
    QVariantMap result;
    if (parser.isSet(verbose)) {
        const QString text = parser.value(verbose);
        bool ok = false;
        const int level = text.toInt(&ok, 10);
        if (!ok)
            fail(parser, QStringLiteral("Can not parse given (") + text + QStringLiteral(") verbose level."));
        qInfo().noquote().nospace() << Tag << "Log level overridden from user: " << level;
        result.insert(QStringLiteral("level"), level);
    }
    if (parser.isSet(toStderr)) {
        qInfo().noquote().nospace() << Tag << "Log to stderr overridden from user to true";
        result.insert(QStringLiteral("stderr"), true);
    }
    if (parser.isSet(color)) {
        qInfo().noquote().nospace() << Tag << "Log with color overridden from user to true";
        result.insert(QStringLiteral("color"), true);
    }
    if (parser.isSet(save))
        result.insert(QStringLiteral("save"), true);
    if (parser.isSet(config))
        result.insert(QStringLiteral("conf"), parser.value(config));
    return result;
}

void CLI::fail(QCommandLineParser &parser, const QString &reason) const
{
    qCritical().noquote().nospace() << Tag << reason;
    parser.showHelp(1);
}

} // namespace manager
