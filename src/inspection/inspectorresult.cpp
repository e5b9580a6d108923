#include "inspection/inspectorresult.h"

#include "framework/serialnumber.h"
#include "tarvik/customer.h"

#include <QJsonValue>
#include <QMap>

namespace {

// Fixed before any thread starts.
const QString kDeviceId = QString::fromStdString(getSerialNumber());

// Written in the zone the value carries, without conversion; T and Z are literal letters.
const QString kTimeFormat = QStringLiteral("yyyy-MM-dd'T'hh:mm:ss'Z'");

} // namespace

InspectorResult::InspectorResult() = default;

InspectorResult::~InspectorResult() = default;

void InspectorResult::reset()
{
    mResult = false;
    mDenyReason = Valid;
    mTimeStamp = QDateTime();
    mTransactionType = Unsupported;
    mFareProductId = 0;
    mPassengerType = {0, QStringLiteral("Invalid")};
    mTicketUID = QLatin1String("");
    mTemplate = QLatin1String("");
    mTicketData = QJsonObject();
    mIssueTimestamp = QDateTime();
    mPassenger.reset();
    mPassengerId = 0;
    mCardType = 0;
    mBalanceBefore = 0;
    mBalanceAfter = 0;
    mJourneysBefore = 0;
    mJourneysAfter = 0;
    mRemainingPassDays = 0;
    mShouldWriteBack = false;
}

QString InspectorResult::getDeviceId() const
{
    return kDeviceId;
}

QJsonObject InspectorResult::toJson() const
{
    QJsonObject storedJourneys;
    QJsonObject periodPass;
    if (mTransactionType == StoredJourneysValidation || mTransactionType == Transfer) {
        storedJourneys.insert(QStringLiteral("before"), mJourneysBefore);
        storedJourneys.insert(QStringLiteral("after"), mJourneysAfter);
        storedJourneys.insert(QStringLiteral("boardingTime"), mInitialTimestamp.toString(kTimeFormat));
    } else if (mTransactionType == PeriodPassValidation) {
        periodPass.insert(QStringLiteral("remainingDays"), mRemainingPassDays);
    }
    const auto objectOrNull = [](const QJsonObject &object) {
        return object.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(object);
    };

    return QJsonObject{
        {QStringLiteral("transType"), int(mTransactionType)},
        {QStringLiteral("fareProductId"), mFareProductId},
        {QStringLiteral("fareProductName"), mFareProductName},
        {QStringLiteral("vehicleId"), mVehicleId},
        {QStringLiteral("deviceType"), deviceTypeToString(DeviceType(mDeviceType))},
        {QStringLiteral("transTimestamp"), mTimeStamp.toString(kTimeFormat)},
        {QStringLiteral("result"), getResult()},
        {QStringLiteral("denyReason"),
         QJsonObject{{QStringLiteral("id"), int(mDenyReason)}, {QStringLiteral("description"), getDenyReasonName()}}},
        {QStringLiteral("storedJourneys"), objectOrNull(storedJourneys)},
        {QStringLiteral("periodPass"), objectOrNull(periodPass)},
        {QStringLiteral("route"),
         QJsonObject{
             {QStringLiteral("boardingStopId"), mRouteInfo.boardingStopId},
             {QStringLiteral("routeId"), mRouteInfo.routeId},
             {QStringLiteral("routeExecutionId"), mRouteInfo.routeExecutionId},
             {QStringLiteral("axisName"), mRouteInfo.axisName},
             {QStringLiteral("stopName"), mRouteInfo.stopName},
             {QStringLiteral("zoneName"), mRouteInfo.zoneName},
         }},
    };
}

QString InspectorResult::deviceTypeToString(DeviceType type)
{
    static const QMap<int, QString> texts{
        {RegistrationTerminal, QStringLiteral("REGISTRATION TERMINAL")},
        {TicketVendingMachine, QStringLiteral("TICKET VENDING MACHINE")},
        {InspectionTerminal, QStringLiteral("INSPECTION TERMINAL")},
        {Validator, QStringLiteral("VALIDATOR")},
        {LoadingTerminal, QStringLiteral("LOADING TERMINAL")},
    };
    return texts.value(type, QStringLiteral("Unknown"));
}

QString InspectorResult::transactionTypeToString(TransactionType type)
{
    static const QMap<int, QString> texts{
        {Unsupported, QStringLiteral("UNSUPPORTED")},
        {StoredJourneysValidation, QStringLiteral("STORED JOURNEYS VALIDATION")},
        {PeriodPassValidation, QStringLiteral("PERIOD PASS VALIDATION")},
        {Transfer, QStringLiteral("TRANSFER")},
    };
    return texts.value(type, QStringLiteral("Unknown"));
}

QString InspectorResult::denyReasonToString(DenyReason reason)
{
    static const QMap<int, QString> texts{
        {Valid, QStringLiteral("Valid")},
        {Invalid, QStringLiteral("Invalid")},
        {Expired, QStringLiteral("Expired")},
        {NotAllowed, QStringLiteral("Not Allowed")},
        {AlreadyValidated, QStringLiteral("Already Validated")},
        {NotActive, QStringLiteral("Not Active")},
        {CardInvalid, QStringLiteral("Invalid")},
        {CardExpired, QStringLiteral("Expired")},
        {CardNotAllowed, QStringLiteral("Not Allowed")},
        {CardAlreadyValidated, QStringLiteral("Already Validated")},
        {CardInsufficientJourneys, QStringLiteral("Insufficient Journeys")},
        {CardInsufficientBalance, QStringLiteral("Insufficient Balance")},
        {CardInvalidTransactionCounter, QStringLiteral("Card Invalid Transaction Counter")},
        {CardPassback, QStringLiteral("Card Passback")},
        {CardNotActiveYet, QStringLiteral("Card not active yet")},
        {CardBlockedLost, QStringLiteral("Card Blocked (Lost)")},
        {CardBlockedStolen, QStringLiteral("Card Blocked (Stolen)")},
        {CardBlockedRefunded, QStringLiteral("Card Blocked (Refunded)")},
        {CardBlockedMisuse, QStringLiteral("Card Blocked Misuse")},
        {CardBlockedDamaged, QStringLiteral("Card Blocked Damaged")},
        {CardBlockedOverlimit, QStringLiteral("Card Blocked Overlimit")},
        {CardProductBlocked, QStringLiteral("Card Product Blocked")},
        {CardProductNotActive, QStringLiteral("Card Product Not Active")},
        {InternalError, QStringLiteral("Internal Error")},
    };
    return texts.value(reason, QStringLiteral("Unknown"));
}
