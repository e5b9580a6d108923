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
        if (last) {
            if (value.isUndefined())
                object.remove(key);
            else
                object.insert(key, value);
        } else if (object.contains(key)) {
            object.insert(key, edit(object.value(key), keys, at + 1, value));
        }
        return object;
    }
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        bool ok = false;
        const int index = key.toInt(&ok);
        if (!ok || index < 0 || index >= array.size())
            return array;
        if (last) {
            if (value.isUndefined())
                array.removeAt(index);
            else
                array.replace(index, value);
        } else {
            array.replace(index, edit(array.at(index), keys, at + 1, value));
        }
        return array;
    }
    return node;
}

} // namespace

QJsonObject removed(const QJsonObject &root, const QString &path)
{
    return edit(root, path.split(QLatin1Char('/')), 0, QJsonValue(QJsonValue::Undefined)).toObject();
}

QJsonObject withValue(const QJsonObject &root, const QString &path, const QJsonValue &value)
{
    return edit(root, path.split(QLatin1Char('/')), 0, value).toObject();
}

QJsonValue value(const QJsonObject &root, const QString &path)
{
    QJsonValue node = root;
    for (const QString &key : path.split(QLatin1Char('/'))) {
        if (node.isObject()) {
            node = node.toObject().value(key);
        } else if (node.isArray()) {
            bool ok = false;
            const int index = key.toInt(&ok);
            const QJsonArray array = node.toArray();
            if (!ok || index < 0 || index >= array.size())
                return QJsonValue(QJsonValue::Undefined);
            node = array.at(index);
        } else {
            return QJsonValue(QJsonValue::Undefined);
        }
    }
    return node;
}

QJsonDocument readFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QJsonDocument();
    return QJsonDocument::fromJson(file.readAll());
}

QByteArray describeMismatch(const QJsonObject &actual, const QJsonObject &expected)
{
    return "actual:\n" + QJsonDocument(actual).toJson(QJsonDocument::Indented) + "expected:\n"
           + QJsonDocument(expected).toJson(QJsonDocument::Indented);
}

} // namespace JsonPath
