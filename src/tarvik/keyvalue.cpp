#include "tarvik/keyvalue.h"

#include "tarvik/jsonread.h"

#include <QSqlQuery>
#include <QVariant>

using namespace tarvik::json;

namespace tarvik {

namespace {

const QLatin1String kId("id");
const QLatin1String kCarrierId("carriersId");
const QLatin1String kKey("key");
const QLatin1String kValue("value");
const QLatin1String kDescription("keyDescription");

// An absent key is a null string and stores NULL; an empty text stores '', so the row reads
// back as the parameter was received.
QVariant textOrNull(const QString &text)
{
    return text.isNull() ? QVariant(QVariant::String) : QVariant(text);
}

QJsonValue jsonOrNull(const QVariant &column)
{
    return column.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue::fromVariant(column);
}

} // namespace

KeyValue::KeyValue(const QJsonObject &json)
    : mJson(json)
{
}

int KeyValue::id() const
{
    return readInt(mJson, kId);
}

int KeyValue::carrierId() const
{
    return readInt(mJson, kCarrierId);
}

QString KeyValue::key() const
{
    return readString(mJson, kKey);
}

QString KeyValue::value() const
{
    return readString(mJson, kValue);
}

QString KeyValue::description() const
{
    return readString(mJson, kDescription);
}

QString KeyValue::toString() const
{
    return QStringLiteral("(%1) %2 = %3").arg(id()).arg(key(), value());
}

void KeyValue::toSql(QSqlQuery &query) const
{
    query.addBindValue(id());
    query.addBindValue(carrierId());
    query.addBindValue(textOrNull(key()));
    query.addBindValue(textOrNull(value()));
    query.addBindValue(textOrNull(description()));
}

KeyValue::Ptr KeyValue::fromSql(const QSqlQuery &query)
{
    QJsonObject json;
    json.insert(kId, QJsonValue(query.value(0).toLongLong()));
    json.insert(kCarrierId, QJsonValue(query.value(1).toInt()));
    json.insert(kKey, jsonOrNull(query.value(2)));
    json.insert(kValue, jsonOrNull(query.value(3)));
    json.insert(kDescription, jsonOrNull(query.value(4)));
    return Ptr::create(json);
}

bool KeyValue::matches(const Ptr &other) const
{
    if (!other)
        return false;
    for (const QLatin1String key : {kId, kCarrierId, kKey, kValue, kDescription}) {
        if (mJson.value(key) != other->mJson.value(key))
            return false;
    }
    return true;
}

} // namespace tarvik
