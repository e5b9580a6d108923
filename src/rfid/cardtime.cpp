#include "rfid/cardtime.h"

namespace {

void writeDigits(char *out, int value, int n)
{
    for (int i = n - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
}

} // namespace

CardTime::CardTime(const QDateTime &time)
    : CardValue(time)
{
}

QDateTime CardTime::parse(const QString &text)
{
    // Parsed by hand: a format parse runs in local time first and fails on the
    // hour that a daylight-saving change skips, although the text is UTC.
    if (text.size() != 20 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-')
        || text.at(10) != QLatin1Char('T') || text.at(13) != QLatin1Char(':')
        || text.at(16) != QLatin1Char(':') || text.at(19) != QLatin1Char('Z'))
        return QDateTime();
    int y, mo, d, h, mi, s;
    if (!readDigits(text, 0, 4, y) || !readDigits(text, 5, 2, mo) || !readDigits(text, 8, 2, d)
        || !readDigits(text, 11, 2, h) || !readDigits(text, 14, 2, mi) || !readDigits(text, 17, 2, s))
        return QDateTime();
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

QString CardTime::format(const QDateTime &time)
{
    const QDateTime utc = time.toUTC();
    const QDate date = utc.date();
    const QTime clock = utc.time();
    if (date.year() < 0 || date.year() > 9999)
        return utc.toString(QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'"));
    char text[21] = "0000-00-00T00:00:00Z";
    writeDigits(text, date.year(), 4);
    writeDigits(text + 5, date.month(), 2);
    writeDigits(text + 8, date.day(), 2);
    writeDigits(text + 11, clock.hour(), 2);
    writeDigits(text + 14, clock.minute(), 2);
    writeDigits(text + 17, clock.second(), 2);
    return QString::fromLatin1(text, 20);
}

QDateTime CardTime::unset()
{
    static const QDateTime time(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
    return time;
}
