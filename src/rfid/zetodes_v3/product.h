#pragma once

#include "rfid/cardproductstatus.h"
#include "rfid/cardtime.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>

namespace ZetoDes_v3 {

// One product slot of a DES v3 card, JSON "product0".."product2":
//
//   productType, productId, status, initialValue, remainingValue   numbers
//   issueTimestamp, activationTimestamp                            card times
//
// The slot number is not on the wire; the card sets it from the slot it read.
class Product : public CardProductStatus
{
public:
    enum Type : unsigned int {
        EPurse = 0,
        PeriodPass = 1,
        StoredJourneys = 2,
    };

    Product() = default;
    explicit Product(const QJsonObject &json);
    virtual ~Product() = default;

    void fromJson(const QJsonObject &json); // throws std::runtime_error on a missing key
    QJsonObject toJson() const;

    unsigned int getProductNum() const { return mProductNum; }
    unsigned int getProductType() const { return mProductType; }
    unsigned int getProductId() const { return mProductId; }
    unsigned int getInitialValue() const { return mInitialValue; } // a period pass's days
    unsigned int getRemainingValue() const { return mRemainingValue; } // journeys left
    unsigned int getStatus() const { return mStatus; }
    QDateTime getIssueTimestamp() const { return mIssueTimestamp.value(); }
    QDateTime getActivationTimestamp() const { return mActivationTimestamp.value(); }

    void setStatus(unsigned int status) { mStatus = status; }
    void setProductNum(unsigned int num) { mProductNum = num; }
    void setRemainingValue(unsigned int value) { mRemainingValue = value; }
    void setProductType(unsigned int type) { mProductType = type; }
    void setProductId(unsigned int id) { mProductId = id; }
    void setActivationTimestamp(const QDateTime &time) { mActivationTimestamp = CardTime(time); }

    QMap<QString, int> getStatusAsMap() const { return statusNames(); }
    static QString typeToString(int type);     // "Unknown" for other types

private:
    unsigned int mProductNum = 0;
    unsigned int mProductType = 0;
    unsigned int mProductId = 0;
    unsigned int mStatus = 0;
    unsigned int mInitialValue = 0;
    unsigned int mRemainingValue = 0;
    CardTime mIssueTimestamp;
    CardTime mActivationTimestamp;
};

} // namespace ZetoDes_v3
