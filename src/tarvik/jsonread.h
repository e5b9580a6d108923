#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// The one set of JSON reading rules shared by every record of the fare, route and ticket
// model: a missing key, a null or a value of another JSON type gives the fixed default.
//
//   int     whole number within the 32-bit signed range, else 0 ("5" as text reads 0)
//   int64   whole number within +-2^53 (exact in a double), else 0
//   double  any number, else 0.0
//   text    a string, else empty
//   bool    only the JSON value true
//   object  / array: the value, else empty
//
// Named variants cover the per-key exceptions of the records that need them.
namespace tarvik::json {

int toInt(const QJsonValue &value);
qint64 toInt64(const QJsonValue &value);
double toDouble(const QJsonValue &value);
QString toString(const QJsonValue &value);
bool toBool(const QJsonValue &value);
QJsonObject toObject(const QJsonValue &value);
QJsonArray toArray(const QJsonValue &value);

// Exceptions used by particular keys:
int toIntFromDigits(const QJsonValue &value); // only a text of decimal digits (OBU public ids): a number reads 0
bool toBoolFromInt(const QJsonValue &value);  // a whole number other than 0
bool toBoolOrInt(const QJsonValue &value);    // JSON true, or a whole number other than 0
bool toBoolTrueWhenAbsent(const QJsonValue &value); // absent: true; present: only JSON true
// A number, or a text of a decimal number with a point (blanks around it ignored).
double toDoubleFromText(const QJsonValue &value);
// QVariant's own conversion: numbers (rounded), texts of digits and true convert; else 0.
quint64 toUInt64Converted(const QJsonValue &value);
// "dd/MM/yyyy hh:mm:ss" in local time; anything else gives an invalid date-time.
QDateTime toLocalDateTime(const QJsonValue &value);
// A text in the given format, in local time; anything else gives an invalid date-time.
QDateTime toLocalDateTime(const QJsonValue &value, const QString &format);
// JSON null gives -1 (no such id), anything else the int rule (absent reads 0).
int toIntNullAsMinusOne(const QJsonValue &value);
// A text holding a base-10 integer, else 0 (a JSON number reads as empty text, so 0).
int toIntFromText(const QJsonValue &value);
// "yyyy-MM-ddThh:mm:ssZ" with T and Z as literal letters, read as local wall-clock time
// (the OBU's clock, not UTC); anything else gives an invalid date-time.
QDateTime toLocalDateTimeZ(const QJsonValue &value);
// A number of milliseconds since the epoch, as UTC; anything else gives an invalid date-time.
QDateTime toUtcFromEpochMs(const QJsonValue &value);

inline int readInt(const QJsonObject &o, QLatin1String key) { return toInt(o.value(key)); }
inline qint64 readInt64(const QJsonObject &o, QLatin1String key) { return toInt64(o.value(key)); }
inline double readDouble(const QJsonObject &o, QLatin1String key) { return toDouble(o.value(key)); }
inline QString readString(const QJsonObject &o, QLatin1String key) { return toString(o.value(key)); }
inline bool readBool(const QJsonObject &o, QLatin1String key) { return toBool(o.value(key)); }
inline QJsonObject readObject(const QJsonObject &o, QLatin1String key) { return toObject(o.value(key)); }
inline QJsonArray readArray(const QJsonObject &o, QLatin1String key) { return toArray(o.value(key)); }

} // namespace tarvik::json
