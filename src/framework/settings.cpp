#include "framework/settings.h"

#include "framework/cli.h"
#include "framework/jsonsettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLockFile>
#include <QReadLocker>
#include <QRegularExpression>
#include <QWriteLocker>

#include <atomic>

namespace manager {

namespace {

const QString Tag = QStringLiteral("[settings] ");

// Set once constructed: sync() may be called by whoever holds a QSettings.
std::atomic<Settings *> gInstance{nullptr};

// How long the file must stay still before a change is looked at: an edit comes as a burst of
// reports (truncate, write, rename).
constexpr int SettleMs = 200;

QMap<QString, QVariant> readAll(const QString &file)
{
    // A fresh object reads the file again when it changed on disk.
    const QSettings settings(file, QSettings::defaultFormat());
    QMap<QString, QVariant> all;
    for (const QString &key : settings.allKeys())
        all.insert(key, settings.value(key));
    return all;
}

QStringList changedKeys(const QMap<QString, QVariant> &before, const QMap<QString, QVariant> &after)
{
    QStringList keys;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!after.contains(it.key()) || after.value(it.key()) != it.value())
            keys << it.key();
    }
    for (auto it = after.cbegin(); it != after.cend(); ++it) {
        if (!before.contains(it.key()))
            keys << it.key();
    }
    return keys;
}

// A process killed while saving can leave the library's lock file and its temporary copy
// ("<name>." and six letters or digits, written after the lock was taken) behind. Only a dead
// writer's lock is taken over, never a live one's; unlocking removes it. A file of that name
// older than the lock is not such a copy.
void removeStaleFiles(const QFileInfo &file)
{
    const QString lockPath = file.absoluteFilePath() + QStringLiteral(".lock");
    const QFileInfo leftLock(lockPath);
    const bool crashed = leftLock.exists();
    const QDateTime lockedAt = leftLock.lastModified();
    QLockFile lock(lockPath);
    if (!lock.tryLock(0) || !crashed)
        return;
    QDir folder = file.absoluteDir();
    const QRegularExpression temporary(QLatin1Char('^') + QRegularExpression::escape(file.fileName())
                                       + QStringLiteral("\\.[A-Za-z0-9]{6}$"));
    const QStringList names = folder.entryList({file.fileName() + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString path = folder.filePath(name);
        if (temporary.match(name).hasMatch() && QFileInfo(path).lastModified() >= lockedAt && folder.remove(name))
            qInfo().noquote().nospace() << Tag << "Removed stale temporary file " << path;
    }
}

} // namespace

Settings::Settings()
{
    // 1. the "json" format exists for the JSON rendering only; no file is opened in it
    mJsonFormat = QSettings::registerFormat(QStringLiteral("json"), &JsonSettings::readJson,
                                            &JsonSettings::writeJson, Qt::CaseSensitive);
    // 2. the default location
    mLocation = QFileInfo(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                          + QCoreApplication::applicationName() + QStringLiteral(".conf"));
    // 3. the watcher
    connect(&mWatcher, &QFileSystemWatcher::fileChanged, this, &Settings::onWatchedFileChanged);
    connect(&mWatcher, &QFileSystemWatcher::directoryChanged, this, &Settings::onDirectoryChanged);
    mSettle.setSingleShot(true);
    mSettle.setInterval(SettleMs);
    connect(&mSettle, &QTimer::timeout, this, &Settings::onSettled);
    // 4. the banner; help, version and a bad command line may end the process below
    const CLI cli(QString{});
    if (!fileExists(mLocation)) {
        // 5. a first start: create the file empty, unless the command line names another one
        if (!cli.parse().contains(QStringLiteral("conf"))) {
            const QString target = QCoreApplication::applicationDirPath() + QDir::separator() + name();
            QFile file(target);
            if (file.open(QIODevice::WriteOnly))
                file.close();
            else
                qWarning().noquote().nospace() << Tag << "WARN: Could not create settings file " << target
                                               << ": " << file.errorString();
        }
    }
    removeStaleFiles(mLocation);
    watch(mLocation.absoluteFilePath());
    remember(mLocation.absoluteFilePath());
    gInstance = this;
}

Settings *Settings::instance()
{
    static Settings *const settings = new Settings;
    return settings;
}

QSettings *Settings::create() const
{
    return new QSettings(currentFile(), QSettings::defaultFormat());
}

QString Settings::name() const
{
    QReadLocker lock(&mLock);
    return mLocation.fileName();
}

QString Settings::path() const
{
    QReadLocker lock(&mLock);
    return mLocation.absolutePath();
}

bool Settings::fileExists(const QFileInfo &file)
{
    // A fresh look: the caller's QFileInfo may hold stale cached facts.
    const QFileInfo now(file.absoluteFilePath());
    return now.exists() && now.isFile();
}

void Settings::setDefaultLocation(const QFileInfo &file)
{
    {
        QWriteLocker lock(&mLock);
        qInfo().noquote().nospace() << Tag << "Setting location to " << file.absoluteFilePath();
        if (!fileExists(file)) {
            qWarning().noquote().nospace() << Tag << "Location not found, keeping current "
                                           << mLocation.absoluteFilePath();
            return;
        }
        if (file == mLocation) {
            qInfo().noquote().nospace() << Tag << "Location found and same as current, no action taken";
            return;
        }
        qInfo().noquote().nospace() << Tag << "Location found, changing";
        unwatch(mLocation.absoluteFilePath());
        mLocation = QFileInfo(file.absoluteFilePath());
        removeStaleFiles(mLocation);
        watch(mLocation.absoluteFilePath());
    }
    // After the lock is released: remember() and the receivers read the location.
    remember(file.absoluteFilePath());
    emit locationChanged();
}

void Settings::setDefaultFormat(const QSettings::Format &format)
{
    QWriteLocker lock(&mLock);
    QSettings::setDefaultFormat(format);
}

QJsonDocument Settings::toJsonDoc() const
{
    QString file;
    QSettings::Format format;
    {
        QReadLocker lock(&mLock);
        file = mLocation.absoluteFilePath();
        format = QSettings::defaultFormat();
    }
    QSettings settings(file, format);
    return JsonSettings().settingsToJson(settings);
}

bool Settings::sync(QSettings &settings)
{
    settings.sync();
    switch (settings.status()) {
    case QSettings::NoError:
        if (Settings *self = gInstance.load())
            self->remember(settings.fileName());
        return true;
    case QSettings::AccessError:
        qWarning().noquote().nospace() << Tag << "WARN: Could not write settings file " << settings.fileName();
        break;
    case QSettings::FormatError:
        qWarning().noquote().nospace() << Tag << "WARN: Settings file " << settings.fileName() << " is malformed";
        break;
    }
    return false;
}

void Settings::onWatchedFileChanged(const QString &path)
{
    // Saving by writing a new file and renaming it over the old one ends the watch on the
    // old file: watch the new one, or its folder until it is back.
    if (path == mWatchedFile && !mWatcher.files().contains(path))
        watch(path);
    mSettle.start();
}

void Settings::onDirectoryChanged(const QString &)
{
    if (mWatchedFile.isEmpty() || mWatcher.files().contains(mWatchedFile) || !fileExists(QFileInfo(mWatchedFile)))
        return;
    watch(mWatchedFile);
    mSettle.start();
}

void Settings::onSettled()
{
    const QString file = currentFile();
    const QMap<QString, QVariant> now = readAll(file);
    QStringList keys;
    {
        QMutexLocker lock(&mKnownMutex);
        if (mKnownFile == file)
            keys = changedKeys(mKnown, now);
        mKnownFile = file;
        mKnown = now;
    }
    if (!keys.isEmpty())
        emit fileChanged(keys);
}

void Settings::remember(const QString &file)
{
    const QString current = currentFile();
    if (QFileInfo(file) != QFileInfo(current))
        return;
    const QMap<QString, QVariant> now = readAll(current);
    QMutexLocker lock(&mKnownMutex);
    mKnownFile = current;
    mKnown = now;
}

QString Settings::currentFile() const
{
    QReadLocker lock(&mLock);
    return mLocation.absoluteFilePath();
}

void Settings::watch(const QString &file)
{
    mWatchedFile = file;
    const QString folder = QFileInfo(file).absolutePath();
    if (fileExists(QFileInfo(file))) {
        if (mWatcher.directories().contains(folder))
            mWatcher.removePath(folder);
        if (!mWatcher.files().contains(file))
            mWatcher.addPath(file);
    } else if (!mWatcher.directories().contains(folder) && QFileInfo(folder).isDir()) {
        mWatcher.addPath(folder);
    }
}

void Settings::unwatch(const QString &file)
{
    if (mWatcher.files().contains(file))
        mWatcher.removePath(file);
    const QString folder = QFileInfo(file).absolutePath();
    if (mWatcher.directories().contains(folder))
        mWatcher.removePath(folder);
    mWatchedFile.clear();
}

} // namespace manager
