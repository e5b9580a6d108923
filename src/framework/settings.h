#pragma once

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QReadWriteLock>
#include <QSettings>
#include <QString>

class QJsonDocument;

namespace manager {

// Owner of the process's settings file ("<application>.conf" next to the program): creates
// it empty when missing, hands out QSettings objects on it, watches it, switches to another
// file, and renders it as JSON. One per process on the main thread, which alone switches;
// create(), name(), path() and toJsonDoc() may be called from any thread. Emits
// fileChanged() for every change on disk and locationChanged() after a switch.
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
    void fileChanged();
    void locationChanged();

private slots:
    void onWatchedFileChanged(const QString &path);
    void onDirectoryChanged(const QString &path);

private:
    Settings();
    Q_DISABLE_COPY(Settings)

    void watch(const QString &file);
    void unwatch(const QString &file);

    QSettings::Format mJsonFormat = QSettings::InvalidFormat;
    QFileInfo mLocation;
    mutable QReadWriteLock mLock;
    QFileSystemWatcher mWatcher;
    QString mWatchedFile; // main thread only
};

} // namespace manager
