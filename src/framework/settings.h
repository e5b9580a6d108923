#pragma once

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QReadWriteLock>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariant>

class QJsonDocument;

namespace manager {

// Owner of the process's settings file ("<application>.conf" next to the program): creates
// it empty when missing, hands out QSettings objects on it, watches it, switches to another
// file, and renders it as JSON. One per process on the main thread, which alone switches;
// create(), name(), path(), toJsonDoc() and sync() may be called from any thread. Emits
// fileChanged() once per change another process makes to the file (the process's own writes,
// made through sync(), give none) and locationChanged() after a switch.
class Settings : public QObject
{
    Q_OBJECT
public:
    static Settings *instance();

    // A new settings object on the current file; the caller owns it.
    QSettings *create() const;
    QString name() const;
    QString path() const;
    static bool fileExists(const QFileInfo &file);
    void setDefaultLocation(const QFileInfo &file);
    void setDefaultFormat(const QSettings::Format &format);
    QJsonDocument toJsonDoc() const;

    // Writes pending changes to disk; false, with one warning naming the file, on failure.
    static bool sync(QSettings &settings);

signals:
    // With the keys the change added, changed or removed.
    void fileChanged(const QStringList &keys);
    void locationChanged();

private slots:
    void onWatchedFileChanged(const QString &path);
    void onDirectoryChanged(const QString &path);
    void onSettled();

private:
    Settings();
    Q_DISABLE_COPY(Settings)

    QString currentFile() const;
    void watch(const QString &file);
    void unwatch(const QString &file);
    // Takes the file as it now stands for the last known state, when it is the one in use.
    void remember(const QString &file);

    QSettings::Format mJsonFormat = QSettings::InvalidFormat;
    QFileInfo mLocation;
    mutable QReadWriteLock mLock;
    QFileSystemWatcher mWatcher;
    QString mWatchedFile; // main thread only
    QTimer mSettle;

    // The file as the process last wrote or saw it: what differs from it came from outside.
    QMutex mKnownMutex;
    QString mKnownFile;
    QMap<QString, QVariant> mKnown;
};

} // namespace manager
