#include "tarvik/datafile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSettings>

#include <cerrno>
#include <limits>

namespace tarvik {

namespace {
const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
const QString kEpoch = QStringLiteral("01/01/1970 00:00:00");
const QString kSyncFile = QStringLiteral(".sync");

// Text of Qt's indented writer with the first `head` and last `tail` bytes dropped.
QByteArray indentedPart(const QJsonDocument &document, int head, int tail)
{
    const QByteArray text = document.toJson(QJsonDocument::Indented);
    return text.mid(head, text.size() - head - tail);
}

// A member as the writer puts it in a top-level object: "    \"key\": <value>".
QByteArray memberText(const QString &key, const QJsonValue &value)
{
    return indentedPart(QJsonDocument(QJsonObject{{key, value}}), 2, 3);
}

// An element of a top-level member's array, eight spaces in, without what follows it (a
// comma, the line break). A one-element array holds it four spaces in: "[\n    <value>\n]\n".
// Objects and arrays are shared into that array, not copied.
QByteArray elementText(const QJsonValue &value)
{
    QByteArray text = indentedPart(QJsonDocument(QJsonArray{value}), 2, 3);
    return "    " + text.replace('\n', "\n    ");
}

// The text of QJsonDocument(object).toJson(Indented), written a member at a time and the
// members' arrays an element at a time: the whole text at once would cost the file's size in
// memory, and up to twice that while it grows.
bool writeIndented(QIODevice &device, const QJsonObject &object)
{
    const auto put = [&device](const QByteArray &text) { return device.write(text) == text.size(); };
    if (!put("{\n"))
        return false;
    for (auto member = object.constBegin(); member != object.constEnd(); ++member) {
        const QJsonArray array = member.value().toArray();
        if (array.isEmpty()) {
            if (!put(memberText(member.key(), member.value())))
                return false;
        } else {
            // With an empty array the member ends "[\n    ]": the elements go before the "    ]".
            if (!put(memberText(member.key(), QJsonArray()).chopped(5)))
                return false;
            for (auto element = array.constBegin(); element != array.constEnd(); ++element) {
                const bool last = element + 1 == array.constEnd();
                if (!put(elementText(*element) + (last ? "\n" : ",\n")))
                    return false;
            }
            if (!put("    ]"))
                return false;
        }
        if (!put(member + 1 == object.constEnd() ? "\n" : ",\n"))
            return false;
    }
    return put("}\n");
}
} // namespace

DataFile::ReadStatus DataFile::read(const QString &path, QJsonObject *object, QString *error)
{
    *object = QJsonObject();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return ReadStatus::NotOpened;
    }
    // Parsed from the file's pages rather than a copy of its text: the records keep their own.
    const qint64 size = file.size();
    const uchar *mapped = size > 0 && size <= std::numeric_limits<int>::max() ? file.map(0, size) : nullptr;
    const QByteArray text = mapped ? QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), int(size))
                                   : file.readAll();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
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
    // commit() overlooks a failure to empty the write buffer and would rename a truncated
    // file over the good one: flush first, so that failure is seen and nothing is renamed.
    errno = 0;
    if (!writeIndented(file, object) || !file.flush()) {
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
