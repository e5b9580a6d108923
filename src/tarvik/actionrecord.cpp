#include "tarvik/actionrecord.h"

#include "framework/logger.h"

#include <QStringList>

namespace tarvik {

namespace {

const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");

// The back-end takes these as numbers; an unset value (or one that is not a number) goes as null.
QJsonValue numberOrNull(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue(QJsonValue::Null);
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok ? QJsonValue(number) : QJsonValue(QJsonValue::Null);
}

} // namespace

ActionRecord::ActionRecord(const Action::Ptr &action)
    : mActionDate(QDateTime::currentDateTime())
    , mAction(action)
{
    if (action) {
        mAccountToken = action->accountToken();
        mCounter = action->counter();
        mSmartCardUid = action->smartCardUuid();
    }
}

QJsonObject ActionRecord::toJson() const
{
    return QJsonObject{
        {QStringLiteral("accountToken"), mAccountToken},
        {QStringLiteral("counter"), mCounter},
        {QStringLiteral("actionDate"), mActionDate.toString(kDateFormat)},
        {QStringLiteral("deviceUuid"), mDeviceUuid},
        {QStringLiteral("smartCardUuid"), mSmartCardUid},
        {QStringLiteral("balanceAfter"), numberOrNull(mBalanceAfter)},
        {QStringLiteral("balanceBefore"), numberOrNull(mBalanceBefore)},
        {QStringLiteral("journeysAfter"), numberOrNull(mJourneysAfter)},
        {QStringLiteral("journeysBefore"), numberOrNull(mJourneysBefore)},
        {QStringLiteral("snapshot"), mSnapshot},
    };
}

QString ActionRecord::toString() const
{
    const QStringList lines = {
        QStringLiteral("--- ACTION RECORD ---------------------------------------"),
        QStringLiteral("Action ID          : %1").arg(mAction ? mAction->id() : 0),
        QStringLiteral("Account Token      : %1").arg(mAccountToken),
        QStringLiteral("Action Counter     : %1").arg(mCounter),
        QStringLiteral("Action Date        : %1").arg(mActionDate.toString(kDateFormat)),
        QStringLiteral("Device UUID        : %1").arg(mDeviceUuid),
        QStringLiteral("Smart Card UID     : %1").arg(mSmartCardUid),
        QStringLiteral("FP/PT Code         : %1").arg(mCode),
        QStringLiteral("Send Attempts      : %1").arg(mSendAttempts),
        QStringLiteral("-------------------------------------------------"),
    };
    return manager::Logger::joinLines(lines);
}

} // namespace tarvik
