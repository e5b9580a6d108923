#pragma once

#include "rfid/cardvalue.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>

// One timestamp of a card record. On the wire it is "yyyy-MM-ddThh:mm:ssZ", always UTC;
// the unset time is 1990-01-01 00:00:00 UTC. A value read from the card that does not
// parse is kept as it came and written back unchanged, so echoing a record can never
// wipe a date the device did not understand.
class CardTime : public CardValue<CardTime, QDateTime>
{
public:
    CardTime() = default;
    explicit CardTime(const QDateTime &time);

    // The card time format read as UTC; an invalid date-time when the text does not match.
    static QDateTime parse(const QString &text);
    // The time in UTC in the card time format.
    static QString format(const QDateTime &time);
    static QDateTime unset();
};
