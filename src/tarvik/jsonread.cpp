#include "tarvik/jsonread.h"

#include <QVariant>

#include <cmath>
#include <limits>

namespace tarvik::json {

namespace {

constexpr double kMaxExactInteger = 9007199254740992.0; // 2^53

bool isWhole(double d)
{
    return std::isfinite(d) && std::floor(d) == d;
}

} // namespace

int toInt(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!isWhole(d) || d < std::numeric_limits<int>::min() || d > std::numeric_limits<int>::max())
        return 0;
    return static_cast<int>(d);
}

qint64 toInt64(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!isWhole(d) || d < -kMaxExactInteger || d > kMaxExactInteger)
        return 0;
    return static_cast<qint64>(d);
}

double toDouble(const QJsonValue &value)
{
    return value.isDouble() ? value.toDouble() : 0.0;
}

QString toString(const QJsonValue &value)
{
    return value.isString() ? value.toString() : QString();
}

bool toBool(const QJsonValue &value)
{
    return value.isBool() && value.toBool();
}

QJsonObject toObject(const QJsonValue &value)
{
    return value.isObject() ? value.toObject() : QJsonObject();
}

QJsonArray toArray(const QJsonValue &value)
{
    return value.isArray() ? value.toArray() : QJsonArray();
}

int toIntFromDigits(const QJsonValue &value)
{
    if (!value.isString())
        return 0;
    const QString text = value.toString();
    if (text.isEmpty())
        return 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
    }
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok ? n : 0;
}

bool toBoolFromInt(const QJsonValue &value)
{
    return value.isDouble() && isWhole(value.toDouble()) && value.toDouble() != 0.0;
}

bool toBoolOrInt(const QJsonValue &value)
{
    return toBool(value) || toBoolFromInt(value);
}

bool toBoolTrueWhenAbsent(const QJsonValue &value)
{
    return value.isUndefined() || toBool(value);
}

double toDoubleFromText(const QJsonValue &value)
{
    if (!value.isString())
        return toDouble(value);
    bool ok = false;
    const double d = value.toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(d) ? d : 0.0;
}

quint64 toUInt64Converted(const QJsonValue &value)
{
    return value.toVariant().toULongLong();
}

QDateTime toLocalDateTime(const QJsonValue &value)
{
    return toLocalDateTime(value, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
}

QDateTime toLocalDateTime(const QJsonValue &value, const QString &format)
{
    if (!value.isString())
        return QDateTime();
    return QDateTime::fromString(value.toString(), format);
}

int toIntNullAsMinusOne(const QJsonValue &value)
{
    return value.isNull() ? -1 : toInt(value);
}

int toIntFromText(const QJsonValue &value)
{
    bool ok = false;
    const int n = toString(value).toInt(&ok, 10);
    return ok ? n : 0;
}

QDateTime toLocalDateTimeZ(const QJsonValue &value)
{
    if (!value.isString())
        return QDateTime();
    return QDateTime::fromString(value.toString(), QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'"));
}

QDateTime toUtcFromEpochMs(const QJsonValue &value)
{
    if (!value.isDouble() || !isWhole(value.toDouble()))
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(toInt64(value), Qt::UTC);
}

} // namespace tarvik::json
