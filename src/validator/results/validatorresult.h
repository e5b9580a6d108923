#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QObject>
#include <QPair>
#include <QSharedPointer>
#include <QString>

namespace tarvik {
class ActionRecord;
class Customer;
} // namespace tarvik

// The verdict of one validation, card or QR ticket: a value that travels in queued signals from
// the validation thread to the controller. A default-constructed result is invalid.
//
// toJson() writes one key per field, named after it:
//   "result" bool, "denyReason" {"code": int, "text": text}, "transactionType" int,
//   "timeStamp" and "issueTimestamp" (ISO 8601 UTC, or null when unset), "template",
//   "ticketData" object, "ticketUID", "routeInfo" {"axisId", "routeExecutionId", "routeId",
//   "stopId", "stopUuid", "stopGroupId"}, "passengerType" {"id", "name"}, "fareProductId",
//   "fareProductName", "transferDuration" (minutes), "expiry", "fromStopGroupName",
//   "toStopGroupName", "passengerId", "passenger" (the customer's record, or null),
//   "shouldWriteBack", "actionRecord" (the applied back-end action, or null), "blockReason".
class ValidatorResult
{
    Q_GADGET
public:
    enum DenyReason {
        Valid = 0,
        InvalidFormat = 100,
        Expired = 101,
        NotAllowedInRoute = 102,
        AlreadyValidated = 103,
        NotYetActive = 104,
        TryAgain = 105,
        InvalidCarrierId = 106,
        InvalidPassengerType = 107,
        NotAllowedInAxis = 108,
        NotAllowedInZone = 109,
        InvalidTickCount = 110,
        InternalError = 400,
        Unknown = 500,
        EmployeeCard = 600,
    };
    Q_ENUM(DenyReason)

    enum TransactionType {
        Barcode = 0,
        Card = 5, // a card transaction that failed before any product was used
    };
    Q_ENUM(TransactionType)

    struct RouteInfo {
        int axisId = 0;
        int routeExecutionId = 0;
        int routeId = 0;
        int stopId = 0;
        int stopUuid = 0;
        int stopGroupId = 0;
    };

    static QString denyReasonToString(DenyReason reason);
    static QString transactionTypeToString(TransactionType type);

    void reset() { *this = ValidatorResult(); }

    void setResult(bool valid) { mResult = valid; }
    void setDenyReason(DenyReason reason) { mDenyReason = reason; }
    void setTransactionType(TransactionType type) { mTransactionType = type; }
    void setTimeStamp(const QDateTime &time) { mTimeStamp = time; }
    void setTemplate(const QString &name) { mTemplate = name; }
    void setTicketData(const QJsonObject &data) { mTicketData = data; }
    void setTicketUID(const QString &uid) { mTicketUID = uid; }
    void setRouteInfo(const RouteInfo &info) { mRouteInfo = info; }
    void setPassengerType(const QPair<int, QString> &type) { mPassengerType = type; }
    void setIssueTimestamp(const QDateTime &time) { mIssueTimestamp = time; }
    void setFareProductId(int id) { mFareProductId = id; }
    void setFareProductName(const QString &name) { mFareProductName = name; }
    void setTransferDuration(int minutes) { mTransferDuration = minutes; }
    void setExpiry(const QString &expiry) { mExpiry = expiry; }
    void setFromStopGroupName(const QString &name) { mFromStopGroupName = name; }
    void setToStopGroupName(const QString &name) { mToStopGroupName = name; }
    void setPassenger(QSharedPointer<tarvik::Customer> passenger) { mPassenger = std::move(passenger); }
    void setShouldWriteBack(bool writeBack) { mShouldWriteBack = writeBack; }
    void setActionRecord(QSharedPointer<tarvik::ActionRecord> record) { mActionRecord = std::move(record); }
    void setBlockReason(int reason) { mBlockReason = reason; }

    bool getResult() const { return mResult; }
    DenyReason getDenyReason() const { return mDenyReason; }
    TransactionType getTransactionType() const { return mTransactionType; }
    QDateTime getTimeStamp() const { return mTimeStamp; }
    QString getTemplate() const { return mTemplate; }
    QJsonObject getTicketData() const { return mTicketData; }
    QString getTicketUID() const { return mTicketUID; }
    RouteInfo getRouteInfo() const { return mRouteInfo; }
    QPair<int, QString> getPassengerType() const { return mPassengerType; }
    QDateTime getIssueTimestamp() const { return mIssueTimestamp; }
    int getFareProductId() const { return mFareProductId; }
    QString getFareProductName() const { return mFareProductName; }
    int getTransferDuration() const { return mTransferDuration; }
    QString getExpiry() const { return mExpiry; }
    QString getFromStopGroupName() const { return mFromStopGroupName; }
    QString getToStopGroupName() const { return mToStopGroupName; }
    QSharedPointer<tarvik::Customer> passenger() const { return mPassenger; }
    int passengerId() const; // the customer's id; 0 without one
    bool getShouldWriteBack() const { return mShouldWriteBack; }
    QSharedPointer<tarvik::ActionRecord> actionRecord() const { return mActionRecord; }
    int getBlockReason() const { return mBlockReason; }

    QJsonObject toJson() const;

private:
    bool mResult = false;
    DenyReason mDenyReason = Valid;
    TransactionType mTransactionType = Barcode;
    QDateTime mTimeStamp;
    QString mTemplate;
    QJsonObject mTicketData;
    QString mTicketUID;
    RouteInfo mRouteInfo;
    QPair<int, QString> mPassengerType{0, QStringLiteral("Invalid")};
    QDateTime mIssueTimestamp;
    int mFareProductId = 0;
    QString mFareProductName;
    int mTransferDuration = 0;
    QString mExpiry;
    QString mFromStopGroupName;
    QString mToStopGroupName;
    QSharedPointer<tarvik::Customer> mPassenger;
    bool mShouldWriteBack = false;
    QSharedPointer<tarvik::ActionRecord> mActionRecord;
    int mBlockReason = 0;
};

Q_DECLARE_METATYPE(ValidatorResult)
