#pragma once

#include <QJsonDocument>
#include <QJsonObject>

// Edits a copy of a JSON document at a path of keys and array indices separated by "/"
// ("data/usageLog/0/routeId"), so a table row can name one change to a sample message.
// A path through a key or index that does not exist leaves the document unchanged.
namespace JsonPath {

QJsonObject withValue(const QJsonObject &root, const QString &path, const QJsonValue &value); // undefined removes
inline QJsonObject removed(const QJsonObject &root, const QString &path)
{
    return withValue(root, path, QJsonValue(QJsonValue::Undefined));
}

// Reads a whole JSON file; a null document when it is missing or malformed.
QJsonDocument readFile(const QString &fileName);
// Both documents pretty-printed, for a readable diff on a mismatch.
QByteArray describeMismatch(const QJsonObject &actual, const QJsonObject &expected);

} // namespace JsonPath
