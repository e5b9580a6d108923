#include "rfid/carddate.h"

CardDate::CardDate(const QDate &date)
    : CardValue(date)
{
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
