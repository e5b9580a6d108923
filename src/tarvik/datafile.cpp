#include "tarvik/datafile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSettings>

#include <cerrno>

namespace tarvik {

namespace {
const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
const QString kEpoch = QStringLiteral("01/01/1970 00:00:00");
const QString kSyncFile = QStringLiteral(".sync");
} // namespace

DataFile::ReadStatus DataFile::read(const QString &path, QJsonObject *object, QString *error)
{
    *object = QJsonObject();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return ReadStatus::NotOpened;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = parseError.errorString();
        return ReadStatus::Malformed;
    }
    *object = document.object();
    return ReadStatus::Ok;
}

bool DataFile::write(const QString &path, const QJsonObject &object, bool *opened, QString *error)
{
    QSaveFile file(path);
    *opened = file.open(QIODevice::WriteOnly);
    if (!*opened) {
        *error = file.errorString();
        return false;
    }
    const QByteArray data = QJsonDocument(object).toJson(QJsonDocument::Indented);
    // commit() overlooks a failure to empty the write buffer and would rename a truncated
    // file over the good one: flush first, so that failure is seen and nothing is renamed.
    errno = 0;
    if (file.write(data) != data.size() || !file.flush()) {
        // A short write leaves no error in the file object, only in errno.
        *error = errno != 0 ? qt_error_string(errno) : file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QString DataFile::syncDateText(const QString &storagePath, const QString &key)
{
    const QSettings settings(QDir(storagePath).filePath(kSyncFile), QSettings::NativeFormat);
    return settings.value(key, kEpoch).toString();
}

QDateTime DataFile::parseSyncDate(const QString &text)
{
    return QDateTime::fromString(text, kDateFormat);
}

QString DataFile::formatSyncDate(const QDateTime &date)
{
    return date.toString(kDateFormat);
}

bool DataFile::storeSyncDateText(const QString &storagePath, const QString &key, const QString &text)
{
    QSettings settings(QDir(storagePath).filePath(kSyncFile), QSettings::NativeFormat);
    settings.setValue(key, text);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace tarvik
