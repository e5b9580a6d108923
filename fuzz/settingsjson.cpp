// The settings as JSON, set over MQTT: read into settings and rendered back; and the finder of
// "${...}" references in setting values, against the pattern it stands for.
#include "fuzzsupport.h"

#include "framework/configuration_p.h"
#include "framework/jsonsettings.h"

#include <QRegularExpression>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzz::bytes(data, size);
    QMap<QString, QVariant> map;
    manager::JsonSettings settings;
    settings.jsonToSettings(QJsonDocument::fromJson(bytes), map);
    settings.settingsToJson(map);

    static const QRegularExpression pattern(QStringLiteral("\\$\\{(.*?)\\}"));
    const QString text = QString::fromUtf8(bytes);
    const QRegularExpressionMatch match = pattern.match(text);
    const ConfigurationText::Placeholder found = ConfigurationText::findPlaceholder(text, QLatin1String("${"));
    if (match.hasMatch() != (found.start >= 0)
        || (match.hasMatch() && (found.start != match.capturedStart(0) || found.end != match.capturedEnd(0)
                                 || found.name != match.captured(1))))
        std::abort();
    return 0;
}
