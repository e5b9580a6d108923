#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <utility>

namespace tarvik {
class Customer;
}

// What one card inspection found: the card's last use, the product that paid it and its
// validity, and the verdict. A plain value; each inspector keeps one and hands out copies.
// Also owns the texts of its device types, transaction types and deny reasons.
//
// reset() clears the verdict and product fields but keeps routeInfo, transferDuration,
// expiry, deviceType, fareProductName, fpActivationTimestamp, initialTimestamp and
// vehicleId; an inspector starts each card from a newly constructed record instead.
class InspectorResult
{
    Q_GADGET
public:
    enum DeviceType {
        RegistrationTerminal = 1,
        TicketVendingMachine = 2,
        InspectionTerminal = 3,
        Validator = 6,
        LoadingTerminal = 9,
    };
    Q_ENUM(DeviceType)

    enum TransactionType {
        Unsupported = 0,
        StoredJourneysValidation = 5,
        PeriodPassValidation = 8,
        Transfer = 12,
    };
    Q_ENUM(TransactionType)

    enum DenyReason {
        Valid = 0,
        Invalid = 100,
        Expired = 101,
        NotAllowed = 102,
        AlreadyValidated = 103,
        NotActive = 104,
        CardInvalid = 200,
        CardExpired = 201,
        CardNotAllowed = 202,
        CardAlreadyValidated = 203,
        CardInsufficientJourneys = 204,
        CardInsufficientBalance = 205,
        CardInvalidTransactionCounter = 206,
        CardPassback = 207,
        CardNotActiveYet = 208,
        CardBlockedLost = 250,
        CardBlockedStolen = 251,
        CardBlockedRefunded = 252,
        CardBlockedMisuse = 253,
        CardBlockedDamaged = 254,
        CardBlockedOverlimit = 255,
        CardProductBlocked = 300,
        CardProductNotActive = 301,
        InternalError = 400,
    };
    Q_ENUM(DenyReason)

    // Where the card's last transaction took place; names in Greek from the route data.
    struct RouteInfo
    {
        int routeExecutionId = 0;
        int routeId = 0;
        int boardingStopId = 0;
        QString axisName;
        QString stopName;
        QString zoneName;
    };

    InspectorResult();
    virtual ~InspectorResult();
    InspectorResult(const InspectorResult &) = default;
    InspectorResult &operator=(const InspectorResult &) = default;

    void reset();

    void setRouteInfo(const RouteInfo &routeInfo) { mRouteInfo = routeInfo; }
    void setResult(bool result) { mResult = result; }
    void setTransactionType(TransactionType type) { mTransactionType = type; }
    void setFareProductId(int id) { mFareProductId = id; }
    void setVehicleId(int id) { mVehicleId = id; }
    void setDenyReason(DenyReason reason) { mDenyReason = reason; }
    void setTemplate(const QString &name) { mTemplate = name; }
    void setDeviceType(int type) { mDeviceType = type; }
    void setPassengerType(std::pair<int, QString> type) { mPassengerType = std::move(type); }
    void setTimeStamp(const QDateTime &time) { mTimeStamp = time; }
    void setTicketData(const QJsonObject &data) { mTicketData = data; }
    void setIssueTimestamp(const QDateTime &time) { mIssueTimestamp = time; }
    void setFpActivationTimestamp(const QDateTime &time) { mFpActivationTimestamp = time; }
    void setInitialTimestamp(const QDateTime &time) { mInitialTimestamp = time; }
    void setCardType(int type) { mCardType = type; }
    void setBalanceBefore(int balance) { mBalanceBefore = balance; }
    void setBalanceAfter(int balance) { mBalanceAfter = balance; }
    void setJourneysBefore(int journeys) { mJourneysBefore = journeys; }
    void setJourneysAfter(int journeys) { mJourneysAfter = journeys; }
    void setRemainingPassDays(int days) { mRemainingPassDays = days; }
    void setExpiry(QString expiry) { mExpiry = std::move(expiry); }
    void setTransferDuration(int minutes) { mTransferDuration = minutes; }
    void setTicketUID(const QString &uid) { mTicketUID = uid; }
    void setFareProductName(const QString &name) { mFareProductName = name; }
    void setShouldWriteBack(bool writeBack) { mShouldWriteBack = writeBack; }
    void setPassengerId(int id) { mPassengerId = id; }
    void setPassenger(QSharedPointer<tarvik::Customer> passenger) { mPassenger = std::move(passenger); }

    bool getResult() const { return mResult; }
    DenyReason getDenyReason() const { return mDenyReason; }
    QString getDenyReasonName() const { return denyReasonToString(mDenyReason); }
    TransactionType getTransactionType() const { return mTransactionType; }
    QDateTime getTimeStamp() const { return mTimeStamp; }
    QString getTicketUID() const { return mTicketUID; }
    QString getExpiry() const { return mExpiry; }
    QJsonObject getTicketData() const { return mTicketData; }
    int getTransferDuration() const { return mTransferDuration; }
    int getRemainingPassDays() const { return mRemainingPassDays; }
    int getRemainingJourneys() const { return mJourneysAfter; }
    int getRemaingBalance() const { return mBalanceAfter; }
    bool getShouldWriteBack() const { return mShouldWriteBack; }
    int passengerId() const { return mPassengerId; }
    QSharedPointer<tarvik::Customer> passenger() const { return mPassenger; }
    // The device's serial number, read once at program start; the same for every record.
    QString getDeviceId() const;

    QJsonObject toJson() const;

    // "Unknown" for a code not in the table.
    static QString deviceTypeToString(DeviceType type);
    static QString transactionTypeToString(TransactionType type);
    static QString denyReasonToString(DenyReason reason);

private:
    RouteInfo mRouteInfo;
    bool mResult = false;
    DenyReason mDenyReason = Valid;
    QDateTime mTimeStamp;
    TransactionType mTransactionType = Unsupported;
    int mFareProductId = 0;
    int mTransferDuration = 0;
    std::pair<int, QString> mPassengerType{0, QString()};
    QString mExpiry;
    QString mTicketUID;
    QString mTemplate;
    int mDeviceType = 0;
    QString mFareProductName;
    QJsonObject mTicketData;
    QDateTime mIssueTimestamp;
    QDateTime mFpActivationTimestamp;
    QDateTime mInitialTimestamp;
    QSharedPointer<tarvik::Customer> mPassenger;
    int mPassengerId = 0;
    int mVehicleId = 0;
    int mCardType = 0;
    int mBalanceBefore = 0;
    int mBalanceAfter = 0;
    int mJourneysBefore = 0;
    int mJourneysAfter = 0;
    int mRemainingPassDays = 0;
    bool mShouldWriteBack = false;
};

Q_DECLARE_METATYPE(InspectorResult)
