#include "app/metatypes.h"
#include "app/stopsignals.h"
#include "app/zub.h"
#include "framework/logger.h"
#include "framework/settings.h"
#include "framework/timezone.h"
#include "framework/version.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <memory>

int main(int argc, char *argv[])
{
    // First: the zone the C library loads now is the one every local time of the process uses.
    keepLoadedTimeZone();

    registerMetaTypes();
    // The passenger screen is painted into images for the LCD board's service: the device
    // has no display of its own, and a missing one must not stop the start.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's platform start looks for a sandbox marker in the session's runtime folder and warns
    // on every start where none is named, as under a service manager: it looks into an empty
    // folder of our own, gone once the application stands.
    std::unique_ptr<QTemporaryDir> runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        runtimeDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zub-runtime-XXXXXX"));
        if (runtimeDir->isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir->path()));
    }
    QGuiApplication app(argc, argv);
    if (runtimeDir) {
        qunsetenv("XDG_RUNTIME_DIR");
        runtimeDir.reset();
    }
    QGuiApplication::setApplicationName(QStringLiteral("zub"));
    QGuiApplication::setApplicationVersion(QStringLiteral("v") + QLatin1String(getProjectVersion()));
    QGuiApplication::setOrganizationName(QStringLiteral("zub"));
    QGuiApplication::setOrganizationDomain(QStringLiteral("zub.local"));
    // A service manager's stop or Ctrl-C ends the event loop, so that every manager is
    // destroyed on the way out; one that comes during start-up waits for the loop.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app, &QCoreApplication::quit);

    // Until the command line and the settings have said where the log goes.
    manager::Logger::instance()->hold();
    // After the name: the settings file is named after the application.
    manager::Settings::instance();

    ZUB zub;
    zub.initialize();
    // Only now: a quit() before the loop runs would be lost.
    stopSignals.watch();
    return app.exec();
}
