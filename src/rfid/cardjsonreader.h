#pragma once

#include "rfid/carddate.h"
#include "rfid/cardtime.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLatin1String>
#include <QString>

#include <cstddef>
#include <vector>

// Reads the keys of one JSON object of a card message. A missing key throws
// std::runtime_error with opening + key + closing ("card missing '" "state" "' field in
// top level"); a value of another JSON type reads as that type's empty value:
//
//   toInt    whole number within the signed 32-bit range, else 0
//   toUInt   whole number from 0 to 2^31-1, else 0 (a negative count must not wrap)
//   toBool   only the JSON value true
//   toString / toObject / toArray: the value, else empty
//   toTime / toDate: the card formats, see CardTime and CardDate
class CardJsonReader
{
public:
    CardJsonReader(const QJsonObject &object, const char *opening, const char *closing);

    bool has(QLatin1String key) const { return mObject.contains(key); }
    QJsonValue value(QLatin1String key) const; // throws when the key is missing

    int toInt(QLatin1String key) const { return intFrom(value(key)); }
    unsigned int toUInt(QLatin1String key) const { return uintFrom(value(key)); }
    bool toBool(QLatin1String key) const;
    QString toString(QLatin1String key) const;
    QJsonObject toObject(QLatin1String key) const;
    QJsonArray toArray(QLatin1String key) const;
    CardTime toTime(QLatin1String key) const { return CardTime::fromJson(value(key)); }
    CardDate toDate(QLatin1String key) const { return CardDate::fromJson(value(key)); }

    // The envelope of a card message, read in this order.
    void readEnvelope(QString &uid, int &type, QString &templateName) const;
    // An optional array of records, each built from its object; nothing when the key is missing.
    template<typename Record>
    void readRecords(QLatin1String key, std::vector<Record> &records) const
    {
        if (!has(key))
            return;
        const QJsonArray list = toArray(key);
        records.reserve(std::size_t(list.size()));
        for (const QJsonValue &entry : list)
            records.emplace_back(entry.toObject());
    }

    static int intFrom(const QJsonValue &value);
    static unsigned int uintFrom(const QJsonValue &value);
    // Unsigned fields go out as their own value, never as a negative number.
    static QJsonValue fromUInt(unsigned int value) { return QJsonValue(qint64(value)); }
    // A card message: the envelope around the layout's data.
    static QJsonObject envelope(const QString &uid, int type, const QString &templateName,
                                const QJsonObject &data);

private:
    [[noreturn]] void throwMissing(QLatin1String key) const;

    QJsonObject mObject;
    const char *mOpening;
    const char *mClosing;
};
