#pragma once

#include "rfid/cardvalue.h"

#include <QDate>
#include <QJsonValue>
#include <QString>

// One calendar date of a card record, "yyyy-MM-dd" on the wire; the unset date is
// 1990-01-01. Like CardTime, a value that does not parse is written back as it came.
class CardDate : public CardValue<CardDate, QDate>
{
public:
    CardDate() = default;
    explicit CardDate(const QDate &date);

    static QDate parse(const QString &text);
    static QString format(const QDate &date);
    static QDate unset();
};
