#include "rfid/cardjsonreader.h"

#include <cmath>
#include <limits>
#include <stdexcept>

CardJsonReader::CardJsonReader(const QJsonObject &object, const char *opening, const char *closing)
    : mObject(object)
    , mOpening(opening)
    , mClosing(closing)
{
}

QJsonValue CardJsonReader::value(QLatin1String key) const
{
    const auto it = mObject.constFind(key);
    if (it == mObject.constEnd())
        throwMissing(key);
    return it.value();
}

void CardJsonReader::readEnvelope(QString &uid, int &type, QString &templateName) const
{
    uid = toString(QLatin1String("uid"));
    type = toInt(QLatin1String("type"));
    templateName = toString(QLatin1String("template"));
}

QJsonObject CardJsonReader::envelope(const QString &uid, int type, const QString &templateName,
                                     const QJsonObject &data)
{
    QJsonObject json;
    json.insert(QLatin1String("uid"), uid);
    json.insert(QLatin1String("type"), type);
    json.insert(QLatin1String("template"), templateName);
    json.insert(QLatin1String("data"), data);
    return json;
}

bool CardJsonReader::toBool(QLatin1String key) const
{
    const QJsonValue v = value(key);
    return v.isBool() && v.toBool();
}

QString CardJsonReader::toString(QLatin1String key) const
{
    const QJsonValue v = value(key);
    return v.isString() ? v.toString() : QString();
}

QJsonObject CardJsonReader::toObject(QLatin1String key) const
{
    const QJsonValue v = value(key);
    return v.isObject() ? v.toObject() : QJsonObject();
}

QJsonArray CardJsonReader::toArray(QLatin1String key) const
{
    const QJsonValue v = value(key);
    return v.isArray() ? v.toArray() : QJsonArray();
}

int CardJsonReader::intFrom(const QJsonValue &value)
{
    // Checked before the cast: an out-of-range double to int is undefined behaviour.
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < std::numeric_limits<int>::min()
        || d > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(d);
}

unsigned int CardJsonReader::uintFrom(const QJsonValue &value)
{
    const int n = intFrom(value);
    return n < 0 ? 0u : static_cast<unsigned int>(n);
}

void CardJsonReader::throwMissing(QLatin1String key) const
{
    const QString text = QLatin1String(mOpening) + key + QLatin1String(mClosing);
    throw std::runtime_error(text.toLocal8Bit().toStdString());
}
