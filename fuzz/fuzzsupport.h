#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

// Shared by the fuzz programs: one application object for the whole run (settings and
// configuration need it) and no log output, which would drown the fuzzer's own.
namespace fuzz {

inline void startQt(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // An existing settings file keeps the settings away from the command line, which is the
    // fuzzer's.
    QFile(QCoreApplication::applicationDirPath() + QLatin1Char('/') + QCoreApplication::applicationName()
          + QStringLiteral(".conf"))
        .open(QIODevice::Append);
}

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

inline QJsonObject object(const uint8_t *data, size_t size)
{
    return QJsonDocument::fromJson(bytes(data, size)).object();
}

} // namespace fuzz
