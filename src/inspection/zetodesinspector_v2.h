#pragma once

#include "inspection/inspectorresult.h"
#include "inspection/rfidinspector.h"
#include "rfid/zetodes_v2/periodpass.h"
#include "rfid/zetodes_v2/storedjourneys.h"
#include "rfid/zetodes_v2/usagelogentry.h"

#include <QDateTime>

#include <memory>

class Configuration;

namespace ZetoDes_v2 {
class Card;
}

// Inspector of DES v2 cards: runs the card checks (issue, status, issuer, version), finds the
// ACTIVE product that paid the usage log's last entry (period pass slot 0, slot 1, stored
// journeys; else one built from the entry) and reports that ride with names from the fare and
// route data. Every failure is reported as "Invalid". Never changes the card.
class ZetoDesInspector_v2 : public RfidInspector
{
    Q_OBJECT
public:
    explicit ZetoDesInspector_v2(DBManager &db);
    ~ZetoDesInspector_v2() override;

    bool inspectCard(RfidCard *card) override;
    InspectorResult getResult() const override;

private:
    // The working record of one inspection; points into the card or at the scratch products.
    struct Transaction
    {
        int journeysUsed = 0;
        InspectorResult::TransactionType transactionType = InspectorResult::PeriodPassValidation;
        InspectorResult::DenyReason denyReason = InspectorResult::Valid;
        ZetoDes_v2::Card *card = nullptr;
        ZetoDes_v2::PeriodPass *periodPass = nullptr;
        ZetoDes_v2::StoredJourneys *storedJourneys = nullptr;
    };

    Transaction createTransaction(ZetoDes_v2::Card *card) const;
    bool processCardTransaction(ZetoDes_v2::Card *card, Transaction &transaction);
    bool processCommonChecks(ZetoDes_v2::Card *card, Transaction &transaction);
    bool processFareProducts(ZetoDes_v2::Card *card, Transaction &transaction);
    ZetoDes_v2::PeriodPass *getUsageLogPeriodPass(const ZetoDes_v2::UsageLogEntry &entry);
    ZetoDes_v2::StoredJourneys *getUsageLogStoredJourneys(const ZetoDes_v2::UsageLogEntry &entry);
    bool processPeriodPass(ZetoDes_v2::Card *card, ZetoDes_v2::PeriodPass *pass, Transaction &transaction);
    void processStoredJourneys(ZetoDes_v2::Card *card, ZetoDes_v2::StoredJourneys *product,
                               Transaction &transaction);
    InspectorResult getInspectionResult(const Transaction &transaction) const;
    int getPeriodPassRemainingDays(const ZetoDes_v2::PeriodPass *pass) const;
    QDateTime getPeriodPassExpiryTimestamp(const ZetoDes_v2::PeriodPass *pass) const;

    std::unique_ptr<Configuration> mConfig;
    InspectorResult mResult;
    QDateTime mNow;
    ZetoDes_v2::PeriodPass mUsageLogPeriodPass;
    ZetoDes_v2::StoredJourneys mUsageLogStoredJourneys;
};
