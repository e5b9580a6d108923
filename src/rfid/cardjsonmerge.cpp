#include "rfid/cardjsonmerge.h"

#include <QJsonArray>

QJsonObject CardJsonMerge::merged(const QJsonObject &read, const QJsonObject &asRead, const QJsonObject &model)
{
    QJsonObject out = read;
    for (auto it = model.constBegin(); it != model.constEnd(); ++it) {
        const QJsonValue old = read.value(it.key());
        if (old.isObject() && it.value().isObject()) {
            out.insert(it.key(), merged(old.toObject(), asRead.value(it.key()).toObject(), it.value().toObject()));
            continue;
        }
        if (old.isUndefined() || asRead.value(it.key()) != it.value())
            out.insert(it.key(), it.value());
    }
    return out;
}

bool CardJsonMerge::hasRecord(const QJsonValue &value)
{
    if (value.isObject())
        return true;
    if (!value.isArray())
        return false;
    const QJsonArray array = value.toArray();
    return !array.isEmpty() && array.at(0).isObject();
}

QJsonObject CardJsonMerge::recordOf(const QJsonValue &value)
{
    if (value.isObject())
        return value.toObject();
    if (value.isArray())
        return value.toArray().at(0).toObject();
    return QJsonObject();
}

void CardJsonMerge::putRecord(QJsonObject &data, QLatin1String key, const QJsonObject &model,
                              const QJsonObject &asRead, const QJsonObject &blank)
{
    const bool wasRead = !asRead.isEmpty();
    if (model == (wasRead ? asRead : blank))
        return;
    const QJsonValue stored = data.value(key);
    const QJsonObject record = merged(hasRecord(stored) ? recordOf(stored) : QJsonObject(), asRead, model);
    if (!stored.isArray()) {
        data.insert(key, record);
        return;
    }
    QJsonArray array = stored.toArray();
    if (array.isEmpty())
        array.append(record);
    else
        array.replace(0, record);
    data.insert(key, array);
}
