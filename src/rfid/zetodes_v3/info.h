#pragma once

#include "rfid/carddate.h"
#include "rfid/cardtime.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v3 {

// The card's identity, JSON "info" of a DES v3 card:
//
//   version, carrierId, issuerId, passengerId   numbers
//   passengerTypeExpiryDate                     card date
//   issueTimestamp                              card time
class Info
{
public:
    Info() = default;
    explicit Info(const QJsonObject &json);
    virtual ~Info() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    int getVersion() const { return mVersion; }
    int getCarrierId() const { return mCarrierId; }
    int getIssuerId() const { return mIssuerId; }
    unsigned int getPassengerId() const { return mPassengerId; } // the employee id on an employee card
    QDateTime getIssueTimestamp() const { return mIssueTimestamp.value(); }
    QDate getPassengerTypeExpiryDate() const { return mPassengerTypeExpiryDate.value(); }

private:
    int mVersion = 0;
    int mCarrierId = 0;
    int mIssuerId = 0;
    CardTime mIssueTimestamp;
    CardDate mPassengerTypeExpiryDate;
    unsigned int mPassengerId = 0;
};

} // namespace ZetoDes_v3
