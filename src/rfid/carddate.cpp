#include "rfid/carddate.h"

namespace {

bool readDigits(const QString &text, int pos, int n, int &out)
{
    int value = 0;
    for (int i = pos; i < pos + n; ++i) {
        const ushort c = text.at(i).unicode();
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    out = value;
    return true;
}

} // namespace

CardDate::CardDate(const QDate &date)
    : mDate(date)
{
}

CardDate CardDate::fromJson(const QJsonValue &value)
{
    CardDate d;
    d.mDate = value.isString() ? parse(value.toString()) : QDate();
    if (!d.mDate.isValid())
        d.mUnparsed = value;
    return d;
}

QDate CardDate::parse(const QString &text)
{
    int y, m, d;
    if (text.size() != 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-')
        || !readDigits(text, 0, 4, y) || !readDigits(text, 5, 2, m) || !readDigits(text, 8, 2, d))
        return QDate();
    return QDate(y, m, d); // invalid for a day that does not exist
}

QString CardDate::format(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM-dd"));
}

QDate CardDate::unset()
{
    return QDate(1990, 1, 1);
}

QJsonValue CardDate::toJson() const
{
    if (mDate.isValid())
        return format(mDate);
    if (hasUnparsedValue())
        return mUnparsed;
    return QString();
}
