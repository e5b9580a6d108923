#pragma once

#include "rfid/rfidcard.h"
#include "rfid/zetodes_v2/info.h"
#include "rfid/zetodes_v2/periodpass.h"
#include "rfid/zetodes_v2/state.h"
#include "rfid/zetodes_v2/storedjourneys.h"
#include "rfid/zetodes_v2/topuplogentry.h"
#include "rfid/zetodes_v2/usagelogentry.h"

#include <QList>

#include <vector>

namespace ZetoDes_v2 {

// The model of one DES v2 card for one tap: built from the reader's card message,
// changed by a validator, written back with toJson. The card message:
//
//   uid, type, template                   envelope, all required
//   data.state, data.info                 required
//   data.periodPass [slot 0, slot 1]      required when hasPeriodPass0 or hasPeriodPass1
//   data.storedJourneys, remainingJourneys required when hasStoredJourneys
//   data.balance                          required when hasEPurse
//   data.transactionCounter               required
//   data.topupLog, data.usageLog          optional; usageLog newest first
//
// Written back: identity, info, state, passes and stored journeys (present or with a
// status), balance, counter, only the usage-log entries added since reading, and
// "topupLog": null.
class Card : public RfidCard
{
public:
    static const QString MyTemplate;            // "ZetoDESv2"
    static const QList<int> SupportedVersions;  // of info "version"

    Card() = default;
    explicit Card(const QJsonObject &json); // throws std::runtime_error on a missing key
    ~Card() override;

    QString getTemplate() const override { return mTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override;

    Info getInfo() const { return mInfo; }
    std::vector<TopupLogEntry> getTopupLog() const { return mTopupLog; }
    std::vector<UsageLogEntry> getUsageLog() const { return mUsageLog; } // as read, not the added ones
    int getBalance() const { return mBalance; }
    unsigned int getRemainingJourneys() const { return mRemainingJourneys; }
    unsigned int getTransactionCounter() const { return mTransactionCounter; }

    State *getState() { return &mState; }
    StoredJourneys *getStoredJourneys() { return &mStoredJourneys; }
    PeriodPass *getPeriodPass0() { return &mPeriodPass0; }
    PeriodPass *getPeriodPass1() { return &mPeriodPass1; }
    void setPeriodPass0(const PeriodPass &pass) { mPeriodPass0 = pass; }
    void setPeriodPass1(const PeriodPass &pass) { mPeriodPass1 = pass; }
    void setStoredJourneys(const StoredJourneys &product) { mStoredJourneys = product; }
    void setState(const State &state) { mState = state; }
    void setRemainingJourneys(unsigned int journeys) { mRemainingJourneys = journeys; }
    void setTransactionCounter(unsigned int counter) { mTransactionCounter = counter; }

    // Pointers into the card's own present passes, slot 0 first.
    QList<PeriodPass *> periodPasses();
    // The card's own stored journeys when present, else null.
    StoredJourneys *storedJourneys();

    void block(State::Status status, int deviceId, int deviceType, const QDateTime &timestamp);
    // 0 sets hasPeriodPass0, 1 hasPeriodPass1, anything else hasStoredJourneys.
    void updateStateFlags(int product, bool value);
    // Both take the slot from where the pointer points into this card, never from the
    // record's own number; a record that is not the card's own is refused.
    bool setPeriodPassExpired(PeriodPass *pass);
    bool setStoredJourneysExpired(StoredJourneys *product);
    void addUsageLogEntry(const UsageLogEntry &entry);

private:
    void fromJson(const QJsonObject &json);

    QString mTemplate;
    QString mUid;
    int mType = 0;
    Info mInfo;
    State mState;
    StoredJourneys mStoredJourneys;
    PeriodPass mPeriodPass0;
    PeriodPass mPeriodPass1;
    int mBalance = 0;
    unsigned int mRemainingJourneys = 0;
    unsigned int mTransactionCounter = 0;
    std::vector<TopupLogEntry> mTopupLog;
    std::vector<UsageLogEntry> mUsageLog;
    std::vector<UsageLogEntry> mNewUsageLog;
};

} // namespace ZetoDes_v2
