#include "validator/results/validatorresult.h"

#include "tarvik/actionrecord.h"
#include "tarvik/customer.h"

#include <QJsonValue>

namespace {

QJsonValue dateValue(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString ValidatorResult::denyReasonToString(DenyReason reason)
{
    switch (reason) {
    case Valid: return QStringLiteral("Valid");
    case InvalidFormat: return QStringLiteral("Ticket has invalid format");
    case Expired: return QStringLiteral("Ticket has expired");
    case NotAllowedInRoute: return QStringLiteral("Ticket is not allowed in current route");
    case AlreadyValidated: return QStringLiteral("Ticket has already been validated");
    case NotYetActive: return QStringLiteral("Ticket is not yet active");
    case TryAgain: return QStringLiteral("Try Again");
    case InvalidCarrierId: return QStringLiteral("Ticket has invalid Carrier ID");
    case InvalidPassengerType: return QStringLiteral("Ticket has invalid Passenger Type");
    case NotAllowedInAxis: return QStringLiteral("Ticket is not allowed in current axis");
    case NotAllowedInZone: return QStringLiteral("Ticket is not allowed in current zone");
    case InvalidTickCount: return QStringLiteral("Ticket has invalid tick count");
    case InternalError: return QStringLiteral("Internal Error");
    case EmployeeCard: return QStringLiteral("Employee Card");
    case Unknown: break;
    }
    return QStringLiteral("Unknown");
}

QString ValidatorResult::transactionTypeToString(TransactionType type)
{
    switch (type) {
    case Barcode: return QStringLiteral("BARCODE");
    case Card: return QStringLiteral("CARD");
    }
    return QStringLiteral("Unknown");
}

int ValidatorResult::passengerId() const
{
    return mPassenger ? mPassenger->id() : 0;
}

QJsonObject ValidatorResult::toJson() const
{
    return {
        {QStringLiteral("result"), mResult},
        {QStringLiteral("denyReason"),
         QJsonObject{{QStringLiteral("code"), int(mDenyReason)}, {QStringLiteral("text"), denyReasonToString(mDenyReason)}}},
        {QStringLiteral("transactionType"), int(mTransactionType)},
        {QStringLiteral("timeStamp"), dateValue(mTimeStamp)},
        {QStringLiteral("template"), mTemplate},
        {QStringLiteral("ticketData"), mTicketData},
        {QStringLiteral("ticketUID"), mTicketUID},
        {QStringLiteral("routeInfo"),
         QJsonObject{{QStringLiteral("axisId"), mRouteInfo.axisId},
                     {QStringLiteral("routeExecutionId"), mRouteInfo.routeExecutionId},
                     {QStringLiteral("routeId"), mRouteInfo.routeId},
                     {QStringLiteral("stopId"), mRouteInfo.stopId},
                     {QStringLiteral("stopUuid"), mRouteInfo.stopUuid},
                     {QStringLiteral("stopGroupId"), mRouteInfo.stopGroupId}}},
        {QStringLiteral("passengerType"),
         QJsonObject{{QStringLiteral("id"), mPassengerType.first}, {QStringLiteral("name"), mPassengerType.second}}},
        {QStringLiteral("issueTimestamp"), dateValue(mIssueTimestamp)},
        {QStringLiteral("fareProductId"), mFareProductId},
        {QStringLiteral("fareProductName"), mFareProductName},
        {QStringLiteral("transferDuration"), mTransferDuration},
        {QStringLiteral("expiry"), mExpiry},
        {QStringLiteral("fromStopGroupName"), mFromStopGroupName},
        {QStringLiteral("toStopGroupName"), mToStopGroupName},
        {QStringLiteral("passengerId"), passengerId()},
        {QStringLiteral("passenger"), mPassenger ? QJsonValue(mPassenger->toJson()) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("shouldWriteBack"), mShouldWriteBack},
        {QStringLiteral("actionRecord"), mActionRecord ? QJsonValue(mActionRecord->toJson()) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("blockReason"), mBlockReason},
    };
}
