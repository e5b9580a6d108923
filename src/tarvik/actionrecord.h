#pragma once

#include "tarvik/action.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSharedPointer>
#include <QString>
#include <QVariant>

#include <utility>

namespace tarvik {

// The device's report that it applied one back-end action to a card: kept by the action record
// store until the back-end confirms it. A plain value; its identity in the store is
// (accountToken, smartCardUid, actionDate to the second).
//
//   field          JSON key of toJson()   (the body of "action complete")
//   accountToken   "accountToken"
//   counter        "counter"
//   actionDate     "actionDate"           "dd/MM/yyyy hh:mm:ss"
//   deviceUuid     "deviceUuid"
//   smartCardUid   "smartCardUuid"
//   balance*/journeys*  "balanceBefore", ... a number, or null when unset
//   snapshot       "snapshot"             the card after the action, Base64
//   action, code, sendAttempts            kept on the device only
class ActionRecord
{
public:
    using Ptr = QSharedPointer<ActionRecord>;

    ActionRecord() = default;
    // Copies token, counter and card uid from the action and stamps the current local time.
    explicit ActionRecord(const Action::Ptr &action);

    QString accountToken() const { return mAccountToken; }
    void setAccountToken(const QString &accountToken) { mAccountToken = accountToken; }
    int counter() const { return mCounter; }
    void setCounter(int counter) { mCounter = counter; }
    QDateTime actionDate() const { return mActionDate; }
    void setActionDate(const QDateTime &actionDate) { mActionDate = actionDate; }
    QString deviceUuid() const { return mDeviceUuid; }
    void setDeviceUuid(const QString &deviceUuid) { mDeviceUuid = deviceUuid; }
    QString smartCardUid() const { return mSmartCardUid; }
    void setSmartCardUid(const QString &smartCardUid) { mSmartCardUid = smartCardUid; }
    QString snapshot() const { return mSnapshot; }
    void setSnapshot(const QString &snapshot) { mSnapshot = snapshot; }
    QVariant balanceBefore() const { return mBalanceBefore; }
    void setBalanceBefore(QVariant balance) { mBalanceBefore = std::move(balance); }
    QVariant balanceAfter() const { return mBalanceAfter; }
    void setBalanceAfter(QVariant balance) { mBalanceAfter = std::move(balance); }
    QVariant journeysBefore() const { return mJourneysBefore; }
    void setJourneysBefore(QVariant journeys) { mJourneysBefore = std::move(journeys); }
    QVariant journeysAfter() const { return mJourneysAfter; }
    void setJourneysAfter(QVariant journeys) { mJourneysAfter = std::move(journeys); }
    Action::Ptr action() const { return mAction; }
    void setAction(const Action::Ptr &action) { mAction = action; }
    QString code() const { return mCode; }
    void setCode(const QString &code) { mCode = code; }
    int sendAttempts() const { return mSendAttempts; }
    void setSendAttempts(int sendAttempts) { mSendAttempts = sendAttempts; }
    void incSendAttempts(int n) { mSendAttempts += n; }

    QJsonObject toJson() const;
    QString toString() const;

private:
    QString mAccountToken;
    int mCounter = 0;
    QDateTime mActionDate;
    QString mDeviceUuid;
    QString mSmartCardUid;
    QString mSnapshot;
    QVariant mBalanceBefore;
    QVariant mBalanceAfter;
    QVariant mJourneysBefore;
    QVariant mJourneysAfter;
    Action::Ptr mAction;
    QString mCode;
    int mSendAttempts = 0;
};

} // namespace tarvik

Q_DECLARE_METATYPE(tarvik::ActionRecord::Ptr)
