#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

namespace tarvik {

// The route and fare managers' files in the back-end storage directory: a JSON data file
// written whole or not at all, and the dates of the last sync kept in ".sync". Stateless;
// failures come back as a result and a reason, the caller logs them under its own tag.
class DataFile
{
public:
    enum class ReadStatus { Ok, NotOpened, Malformed };

    // Reads a JSON document; a valid document that is not an object gives an empty object.
    static ReadStatus read(const QString &path, QJsonObject *object, QString *error);
    // Writes through a temporary file renamed over the target once flushed to disk, so a
    // power loss leaves the previous file intact. NotOpened: nothing was written.
    static bool write(const QString &path, const QJsonObject &object, bool *opened, QString *error);

    // The text of `key` in ".sync", "01/01/1970 00:00:00" when absent.
    static QString syncDateText(const QString &storagePath, const QString &key);
    static QDateTime parseSyncDate(const QString &text);
    static QString formatSyncDate(const QDateTime &date);
    // Stores the text and flushes the file at once; false when it could not be written.
    static bool storeSyncDateText(const QString &storagePath, const QString &key, const QString &text);
};

} // namespace tarvik
