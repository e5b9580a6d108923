#pragma once

#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

class QIODevice;
class QJsonDocument;
class QJsonValue;

namespace manager {

// Converts flat settings keys ("log/level") to a nested JSON document and back. Every
// leaf is a JSON string. Numbered groups with a size key become arrays of objects:
//
//   settings key        JSON
//   a                   root member a
//   a/b/c               object a, object b, member c
//   N/i/f  (i >= 1)     member f of element i of array N (deeper parts nest inside it)
//   N/size              the array N itself
//
// Made afresh per conversion; not shared between threads.
class JsonSettings
{
public:
    JsonSettings() = default;

    QJsonDocument settingsToJson(const QMap<QString, QVariant> &settings);
    QJsonDocument settingsToJson(QSettings &settings);

    void jsonToSettings(const QJsonDocument &document, QMap<QString, QVariant> &settings);
    void jsonToSettings(const QJsonObject &object, QMap<QString, QVariant> &settings, const QString &prefix);
    // Replaces every key of the settings object; false (and one warning) when the write fails.
    bool jsonToSettings(const QJsonDocument &document, QSettings &settings);

    static QSet<QString> findArrays(const QMap<QString, QVariant> &settings);
    static QSet<QString>::const_iterator keyPosInArrays(const QSet<QString> &arrays, const QString &key);
    static void addPath(QJsonObject &object, const QStringList &path, const QString &key, const QJsonValue &value);
    void addArray(QJsonObject &root, const QString &name, const QString &key, const QJsonValue &value);

    // Reader and writer of the "json" settings format.
    static bool readJson(QIODevice &device, QSettings::SettingsMap &map);
    static bool writeJson(QIODevice &device, const QSettings::SettingsMap &map);

private:
    // Elements per array, keyed by index so "list/10" lands after "list/2".
    QHash<QString, QMap<int, QJsonObject>> mElements;
};

} // namespace manager
