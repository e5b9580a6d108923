#pragma once

#include "rfid/rfidcard.h"
#include "rfid/zetoluc/info.h"
#include "rfid/zetoluc/periodpass.h"
#include "rfid/zetoluc/state.h"
#include "rfid/zetoluc/storedjourneys.h"
#include "rfid/zetoluc/usagelogentry.h"

#include <QJsonObject>
#include <QList>

#include <optional>

namespace ZetoLUC {

// The model of one LUC card for one tap: one period pass, one stored-journeys product and
// the last ride. The layout's keys, named nowhere else but in card.cpp:
//
//   uid, type, template        envelope                               required
//   data.state                 status, statusDeviceId, statusDeviceType,
//                              passengerType, statusTimestamp,
//                              cardType {hasPeriodPass, hasStoredJourneys}   required
//   data.info                  version, issuerId                      required
//   data.periodPass            productId, status, days,
//                              activationTimestamp                    when hasPeriodPass
//   data.storedJourneys        productId, status, remainingJourneys   when hasStoredJourneys
//   data.usageLog              productType, productId, timestamp, vehicleId (text),
//                              deviceId, deviceType, routeId, routeExecutionId,
//                              fromStopId, journeysBefore, journeysAfter      required;
//                              an object, or an array whose element 0 is the last ride
//
// A missing key throws std::runtime_error "card missing '<key>' field in <record>".
// toJson is the whole card image: the message as read, with only the values the model
// changed written over it, so keys it does not know go back unchanged.
class Card : public RfidCard
{
public:
    static const QString MyTemplate;            // "ZetoLUC"
    static const QList<int> SupportedVersions;  // of info "version"

    explicit Card(const QJsonObject &json); // throws std::runtime_error on a missing key
    ~Card() override;

    QString getTemplate() const override { return mTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override;

    Info getInfo() const { return mInfo; }
    State getState() const { return mState; }
    void setState(const State &state) { mState = state; }
    PeriodPass *getPeriodPass() { return &mPeriodPass; }
    StoredJourneys *getStoredJourneys() { return &mStoredJourneys; }
    UsageLogEntry getUsageLogEntry() const { return mUsageLogEntry; }
    // The new last ride; keys of the old entry that the model does not know stay.
    void setUsageLogEntry(const UsageLogEntry &entry) { mUsageLogEntry = entry; }

private:
    void fromJson(const QJsonObject &json);

    QJsonObject mJson; // the message as read
    QString mTemplate;
    QString mUid;
    int mType = 0;
    Info mInfo;
    State mState;
    PeriodPass mPeriodPass;
    StoredJourneys mStoredJourneys;
    UsageLogEntry mUsageLogEntry;

    // The records as read, so that toJson writes only what changed; a product is not
    // read when its flag is off.
    Info mInfoAsRead;
    State mStateAsRead;
    std::optional<PeriodPass> mPeriodPassAsRead;
    std::optional<StoredJourneys> mStoredJourneysAsRead;
    UsageLogEntry mUsageLogEntryAsRead;
};

} // namespace ZetoLUC
