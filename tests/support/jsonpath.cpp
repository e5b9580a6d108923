#include "support/jsonpath.h"

#include <QFile>
#include <QJsonArray>
#include <QStringList>

namespace JsonPath {

namespace {

// Rebuilds the value along the path; value undefined means remove.
QJsonValue edit(const QJsonValue &node, const QStringList &keys, int at, const QJsonValue &value)
{
    const QString &key = keys.at(at);
    const bool last = at == keys.size() - 1;
    if (node.isObject()) {
        QJsonObject object = node.toObject();
        if (last && value.isUndefined())
            object.remove(key);
        else if (last || object.contains(key))
            object.insert(key, last ? value : edit(object.value(key), keys, at + 1, value));
        return object;
    }
    bool ok = false;
    const int index = key.toInt(&ok);
    QJsonArray array = node.toArray();
    if (!node.isArray() || !ok || index < 0 || index >= array.size())
        return node;
    if (last && value.isUndefined())
        array.removeAt(index);
    else
        array.replace(index, last ? value : edit(array.at(index), keys, at + 1, value));
    return array;
}

} // namespace

QJsonObject withValue(const QJsonObject &root, const QString &path, const QJsonValue &value)
{
    return edit(root, path.split(QLatin1Char('/')), 0, value).toObject();
}

QJsonDocument readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()) : QJsonDocument();
}

QByteArray describeMismatch(const QJsonObject &actual, const QJsonObject &expected)
{
    return "actual:\n" + QJsonDocument(actual).toJson(QJsonDocument::Indented) + "expected:\n"
           + QJsonDocument(expected).toJson(QJsonDocument::Indented);
}

} // namespace JsonPath
