#pragma once

#include "rfid/carddate.h"
#include "rfid/cardtime.h"

#include <QDate>
#include <QDateTime>
#include <QJsonObject>

namespace ZetoDes_v2 {

// The card's identity, JSON "info" of a DES v2 card:
//
//   version, issuerId, passengerId               numbers
//   passengerTypeExpiryDate, expiryDate          card dates
//   issueTimestamp                               card time
class Info
{
public:
    Info() = default;
    explicit Info(const QJsonObject &json);
    virtual ~Info() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    int getVersion() const { return mVersion; }
    int getIssuerId() const { return mIssuerId; } // 0 is invalid
    QDateTime getIssueTimestamp() const { return mIssueTimestamp.value(); }
    QDate getExpiryDate() const { return mExpiryDate.value(); }
    int getPassengerId() const { return mPassengerId; }
    QDate getPassengerTypeExpiryDate() const { return mPassengerTypeExpiryDate.value(); }

private:
    CardDate mExpiryDate;
    CardDate mPassengerTypeExpiryDate;
    CardTime mIssueTimestamp;
    int mIssuerId = 0;
    int mPassengerId = 0;
    int mVersion = 0;
};

} // namespace ZetoDes_v2
