#pragma once

#include "rfid/loggedcard.h"
#include "rfid/zetodes_v2/info.h"
#include "rfid/zetodes_v2/periodpass.h"
#include "rfid/zetodes_v2/state.h"
#include "rfid/zetodes_v2/storedjourneys.h"
#include "rfid/zetodes_v2/topuplogentry.h"
#include "rfid/zetodes_v2/usagelogentry.h"

#include <QList>

namespace ZetoDes_v2 {

// The model of one DES v2 card for one tap: built from the reader's card message,
// changed by a validator, written back with toJson. The card message:
//
//   uid, type, template                   envelope, all required
//   data.periodPass [slot 0, slot 1]      required when hasPeriodPass0 or hasPeriodPass1
//   data.storedJourneys, remainingJourneys required when hasStoredJourneys
//   the rest as LoggedCard reads it
//
// Written back: identity, info, state, passes and stored journeys (present or with a
// status), balance, counter, only the usage-log entries added since reading, and
// "topupLog": null.
class Card : public LoggedCard<Info, State, TopupLogEntry, UsageLogEntry>
{
public:
    static const QString MyTemplate;            // "ZetoDESv2"
    static const QList<int> SupportedVersions;  // of info "version"

    Card() = default;
    explicit Card(const QJsonObject &json); // throws std::runtime_error on a missing key
    ~Card() override;

    QJsonObject toJson() const override;

    unsigned int getRemainingJourneys() const { return mRemainingJourneys; }

    State *getState() { return &mState; }
    StoredJourneys *getStoredJourneys() { return &mStoredJourneys; }
    PeriodPass *getPeriodPass0() { return &mPeriodPass0; }
    PeriodPass *getPeriodPass1() { return &mPeriodPass1; }
    void setPeriodPass0(const PeriodPass &pass) { mPeriodPass0 = pass; }
    void setPeriodPass1(const PeriodPass &pass) { mPeriodPass1 = pass; }
    void setStoredJourneys(const StoredJourneys &product) { mStoredJourneys = product; }
    void setRemainingJourneys(unsigned int journeys) { mRemainingJourneys = journeys; }

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

private:
    void fromJson(const QJsonObject &json);

    StoredJourneys mStoredJourneys;
    PeriodPass mPeriodPass0;
    PeriodPass mPeriodPass1;
    unsigned int mRemainingJourneys = 0;
};

} // namespace ZetoDes_v2
