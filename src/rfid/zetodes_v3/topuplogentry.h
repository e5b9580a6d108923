#pragma once

#include "rfid/cardtime.h"

#include <QJsonObject>

namespace ZetoDes_v3 {

// One load of the card, an element of "topupLog" of a DES v3 card. Only read: the card
// never writes its top-up log back.
//
//   transType, transCounter, transAmount, deviceId, deviceType, productId   numbers
//   transTimestamp                                                        card time
class TopupLogEntry
{
public:
    TopupLogEntry() = default;
    explicit TopupLogEntry(const QJsonObject &json);
    virtual ~TopupLogEntry() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

private:
    int mTransType = 0;
    int mTransCounter = 0;
    int mTransAmount = 0;
    int mDeviceId = 0;
    int mDeviceType = 0;
    int mProductId = 0;
    CardTime mTransTimestamp;
};

} // namespace ZetoDes_v3
