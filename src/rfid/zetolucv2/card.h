#pragma once

#include "rfid/cardstatuscodes.h"
#include "rfid/cardtime.h"
#include "rfid/rfidcard.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <array>

namespace ZetoLUCv2 {

// The model of one LUC v2 card for one tap. It never throws: a key that is missing or of
// another type reads as 0, a time as the unset time 1990-01-01 00:00 UTC. The layout's
// keys, named nowhere else but in card.cpp:
//
//   uid, type, template        envelope; "template" is written as "ZetoLUCv2"
//   data.info                  version, carrierId, issuerId, issueTimestamp
//   data.state                 status, passengerType, statusDeviceId, statusDeviceType,
//                              statusTimestamp
//   data.product0, product1    productId, status, productType, initialValue,
//                              remainingValue, activationTimestamp
//   data.topupLog              deviceId, deviceType, productId, transactionType,
//                              transactionTimestamp
//   data.usageLog              deviceId, deviceType, productId, transactionType, vehicleId,
//                              routeId, routeExecutionId, fromStopId, transactionTimestamp,
//                              initialTimestamp
//
// Numbers are whole numbers, times "yyyy-MM-ddThh:mm:ssZ". Each log is an object, or an
// array whose element 0 is the record. toJson writes only the values the model changed
// over the message as read, so everything else (the per-zone daily counters of the usage
// log, for one) goes back unchanged.
class Card : public RfidCard
{
public:
    struct Info
    {
        int version = 0;
        int carrierId = 0;
        int issuerId = 0; // 0 is invalid
        QDateTime issueTimestamp = CardTime::unset();
    };

    struct State : CardStatusCodes<int>
    {
        int status = 0;
        int passengerType = 0;
        int statusDeviceId = 0;
        int statusDeviceType = 0;
        QDateTime statusTimestamp = CardTime::unset();
    };

    struct Product
    {
        enum Status : int {
            Unallocated = 0,
            Expired = 12,
            Active = 15,
            Preallocated = 16,
            Blocked = 19,
            Pending = 33,
        };
        enum Type : int {
            EPurse = 0,
            PeriodPass = 1,
            StoredJourneys = 2,
        };

        int index = 0; // slot: 0 for "product0", 1 for "product1"
        int productId = 0;
        int status = 0;
        int productType = 0;
        int initialValue = 0;   // a period pass's days from its activation
        int remainingValue = 0; // journeys left
        QDateTime activationTimestamp = CardTime::unset();

        // A period pass's end: activation plus initialValue days, at 00:00 UTC of that
        // date when endOfLastDay; the unset time for any other product and for a pending
        // pass never activated.
        QDateTime expiryTimestamp(bool endOfLastDay) const;
        // Minutes of a period pass left at now, from 0 to INT_MAX; a pending pass, or one
        // activated at or after now, has its whole initialValue left.
        int remainingMinutes(const QDateTime &now, bool endOfLastDay) const;
        int remainingDays(const QDateTime &now, bool endOfLastDay) const;

        static QString typeToString(int type);     // "Unknown" for other types
        static QString statusToString(int status); // "UNKNOWN" for other codes
    };

    struct TopupLogEntry
    {
        int deviceId = 0;
        int deviceType = 0;
        int productId = 0;
        int transactionType = 0;
        QDateTime transactionTimestamp = CardTime::unset();
    };

    // The card's last ride.
    struct UsageLogEntry
    {
        int deviceId = 0;
        int deviceType = 0;
        int productId = 0;
        int transactionType = 0; // 0 none; 20 transfer; 21, 22, 23 validations; 1, 2, 3 loads
        int vehicleId = 0;
        int routeId = 0;
        int routeExecutionId = 0;
        int fromStopId = 0;                                  // boarding stop
        QDateTime transactionTimestamp = CardTime::unset(); // the ride
        QDateTime initialTimestamp = CardTime::unset();     // first tap of the journey
    };

    static const QString MyTemplate; // "ZetoLUCv2"

    explicit Card(const QJsonObject &json);
    ~Card() override;

    QString getTemplate() const override { return MyTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override;

    Info &info() { return mRecords.info; }
    const Info &info() const { return mRecords.info; }
    State &state() { return mRecords.state; }
    const State &state() const { return mRecords.state; }
    TopupLogEntry &topupLog() { return mRecords.topupLog; }
    const TopupLogEntry &topupLog() const { return mRecords.topupLog; }
    UsageLogEntry &usageLog() { return mRecords.usageLog; }
    const UsageLogEntry &usageLog() const { return mRecords.usageLog; }

    // Pointers into the card's own slots, slot 0 first: both slots, and those of product
    // type 1 and 2.
    QList<Product *> products();
    QList<Product *> periodPassProducts();
    QList<Product *> storedJourneysProducts();

    static QString deviceTypeToString(int type); // "Unknown" for other types
    static QString transTypeToString(int type);  // "Unknown" for other types

private:
    struct Records
    {
        Info info;
        State state;
        std::array<Product, 2> products;
        TopupLogEntry topupLog;
        UsageLogEntry usageLog;
    };

    QList<Product *> productsOfType(int type);

    QJsonObject mJson; // the message as read
    QString mUid;
    int mType = 0;
    Records mRecords;
    Records mAsRead; // so that toJson writes only what changed
};

} // namespace ZetoLUCv2
