#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class QJsonDocument;
class QSettings;

// Each component's view of the settings: a key reads the settings file's value, else the
// default of whichever component registered it, with "${key}" and "${#name}" placeholders in
// text expanded. Every object has its own QSettings on the one settings file and is used on
// its owner's thread. A change made to the file by another process is logged once.
//
//   placeholder      replaced by
//   ${#name}         staticValues[name] ("serialNumber" only)
//   ${group/name}    that setting's value, itself expanded
class Configuration : public QObject
{
    Q_OBJECT
public:
    explicit Configuration(QObject *parent = nullptr);
    ~Configuration() override;
    Q_DISABLE_COPY(Configuration)

    // The expanded value; an int or bool default keeps its type; invalid for an unknown key.
    QVariant get(const QString &key) const;
    // The same, as it would read once `pending` (unexpanded values, as they would be written)
    // is stored: a change can be checked before it is written.
    QVariant get(const QString &key, const QMap<QString, QVariant> &pending) const;
    // Writes go straight to disk; false (and one warning) when the file could not be written.
    bool set(const QString &key, const QVariant &value);
    bool setMultipleSettings(const QMap<QString, QVariant> &settings);
    // Writes every default the file lacks, unexpanded and with its own type.
    bool save() const;
    // The topic settings among these defaults ("<group>/sub_..." and "<group>/pub_...", not the
    // QoS), expanded: for a client that keeps the topics it started with.
    QHash<QString, QByteArray> topics(const QMap<QString, QVariant> &defaults) const;
    // Logs every defaulted setting as a table; secrets show masked.
    void print() const;
    QJsonDocument toJsonDoc() const;

    // Each component registers its Defaults map from a static initialiser:
    //   static const bool registered = Configuration::registerDefaults(4, &DBManager::Defaults);
    // Maps are united in ascending order (1 to 16), the later giving the default of a key two
    // maps hold. The union is built at the first construction; later registrations are refused.
    static bool registerDefaults(int order, const QMap<QString, QVariant> *map);
    static QMap<QString, QVariant> defaults();
    // Keys their component applies as soon as the file changes: a change of these alone
    // needs no restart, and none is asked for.
    static void registerLiveKeys(const QStringList &keys);
    static bool isLive(const QString &key);

    // Run-time values for "${#name}": "serialNumber", read once before main().
    static QMap<QString, QVariant> staticValues;

private slots:
    void locationChanged();

private:
    static void noticeChange(const QStringList &keys);
    struct Expansion;
    struct United;
    static const United *united();
    QVariant read(const QString &key, Expansion &expansion) const;
    // The setting a placeholder in `key`'s value names, itself expanded; invalid for one that
    // leads back to a setting being read, or lies too deep.
    QVariant expand(QStringView name, const QString &key, Expansion &expansion) const;

    std::unique_ptr<QSettings> mSettings;
    const United *mDefaults = nullptr; // shared by every configuration, never changed
};
