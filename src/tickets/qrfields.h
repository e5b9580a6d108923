#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

// Field helpers shared by the ticket formats. A field map holds what the scanned text gave
// (int, uint, bool, text, or a null value) or, for a ticket built from JSON, the QJsonValue
// itself; these functions read either kind by the same rules.
namespace qrfields {

// Drops one trailing "|" (a second one stays and makes an empty last field).
QString withoutTrailingBar(const QString &text);
// Splits at every "|", keeping empty fields.
QStringList split(const QString &serialized);

// Base-10 32-bit numbers; anything else (empty, letters, out of range, a sign on an
// unsigned field) reads 0.
int parseInt(const QString &field);
uint parseUInt(const QString &field);

// Getter rules: an absent or mistyped value reads 0 or empty text. Unsigned values above
// INT_MAX read INT_MAX rather than wrapping negative.
int intOf(const QVariant &value);
QString textOf(const QVariant &value);
// The stored value as the dump shows it: numbers of the scanned text in decimal, JSON
// strings as written, anything else (a JSON number included) empty.
QString storedText(const QVariant &value);

// Stored seconds since the epoch read as unsigned, as a local date-time.
QDateTime localFromUnsigned(int seconds);
// "yyyy/MM/dd hh:mm:ss" of the same, as written in the JSON forms.
QString jsonDateTime(int seconds);

// One dump line: the label padded to 20 characters, ": ", the value and a line feed.
void appendLine(QString &out, QLatin1String label, const QString &value);
// Decimal, padded on the left with "0" to the width; a minus sign stands before the zeros
// and counts in the width. Longer values stand whole.
QString padded(qint64 number, int width);

} // namespace qrfields
