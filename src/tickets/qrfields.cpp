#include "tickets/qrfields.h"

#include "tarvik/jsonread.h"

#include <QJsonValue>

#include <climits>

namespace qrfields {

QString withoutTrailingBar(const QString &text)
{
    if (text.endsWith(QLatin1Char('|')))
        return text.left(text.size() - 1);
    return text;
}

QStringList split(const QString &serialized)
{
    return serialized.split(QLatin1Char('|'), Qt::KeepEmptyParts);
}

int parseInt(const QString &field)
{
    bool ok = false;
    const int n = field.toInt(&ok, 10);
    return ok ? n : 0;
}

uint parseUInt(const QString &field)
{
    bool ok = false;
    const uint n = field.toUInt(&ok, 10);
    return ok ? n : 0u;
}

int intOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
        return value.toInt();
    case QMetaType::UInt:
        return static_cast<int>(qMin<uint>(value.toUInt(), INT_MAX));
    case QMetaType::QJsonValue:
        return tarvik::json::toInt(value.toJsonValue());
    default:
        return 0;
    }
}

QString textOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::QJsonValue:
        return tarvik::json::toString(value.toJsonValue());
    default:
        return QString();
    }
}

QString storedText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::UInt:
        return QString::number(value.toUInt());
    default:
        return textOf(value);
    }
}

QDateTime localFromUnsigned(int seconds)
{
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(static_cast<quint32>(seconds)),
                                         Qt::LocalTime);
}

QString jsonDateTime(int seconds)
{
    return localFromUnsigned(seconds).toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

void appendLine(QString &out, QLatin1String label, const QString &value)
{
    constexpr int kLabelWidth = 20;
    out += label;
    for (int i = label.size(); i < kLabelWidth; ++i)
        out += QLatin1Char(' ');
    out += QLatin1String(": ");
    out += value;
    out += QLatin1Char('\n');
}

QString padded(qint64 number, int width)
{
    const bool negative = number < 0;
    // qint64 holds the magnitude of any int, INT_MIN included.
    const QString digits = QString::number(negative ? -number : number);
    const int zeros = width - digits.size() - (negative ? 1 : 0);
    QString out;
    out.reserve(qMax(width, digits.size() + 1));
    if (negative)
        out += QLatin1Char('-');
    if (zeros > 0)
        out += QString(zeros, QLatin1Char('0'));
    out += digits;
    return out;
}

} // namespace qrfields
