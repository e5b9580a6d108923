#pragma once

#include "inspection/layoutinspector.h"
#include "rfid/zetodes_v2/periodpass.h"
#include "rfid/zetodes_v2/storedjourneys.h"
#include "rfid/zetodes_v2/usagelogentry.h"

namespace ZetoDes_v2 {
class Card;
}

// Inspector of DES v2 cards: runs the card checks (issue, status, issuer, version), finds the
// ACTIVE product that paid the usage log's last entry (period pass slot 0, slot 1, stored
// journeys; else one built from the entry) and reports that ride with names from the fare and
// route data. Every failure is reported as "Invalid". Never changes the card.
class ZetoDesInspector_v2 : public LayoutInspector<ZetoDes_v2::Card>
{
    Q_OBJECT
public:
    explicit ZetoDesInspector_v2(DBManager &db);
    ~ZetoDesInspector_v2() override;

    bool inspectCard(RfidCard *card) override;

private:
    // The working record of one inspection; points into the card or at the scratch products.
    struct Transaction : LayoutInspector::Transaction
    {
        using LayoutInspector::Transaction::Transaction;
        ZetoDes_v2::PeriodPass *periodPass = nullptr;
        ZetoDes_v2::StoredJourneys *storedJourneys = nullptr;
    };

    Transaction createTransaction(ZetoDes_v2::Card *card) const { return Transaction(card); }
    bool processCardTransaction(ZetoDes_v2::Card *card, Transaction &transaction);
    bool processCommonChecks(ZetoDes_v2::Card *card, Transaction &transaction);
    bool processFareProducts(ZetoDes_v2::Card *card, Transaction &transaction);
    ZetoDes_v2::PeriodPass *getUsageLogPeriodPass(const ZetoDes_v2::UsageLogEntry &entry);
    ZetoDes_v2::StoredJourneys *getUsageLogStoredJourneys(const ZetoDes_v2::UsageLogEntry &entry);
    bool processPeriodPass(ZetoDes_v2::Card *card, ZetoDes_v2::PeriodPass *pass, Transaction &transaction);
    void processStoredJourneys(ZetoDes_v2::Card *card, ZetoDes_v2::StoredJourneys *product,
                               Transaction &transaction);
    InspectorResult getInspectionResult(const Transaction &transaction) const;

    // Not called by the inspection.
    bool checkStoredJourneysExpired(const ZetoDes_v2::StoredJourneys *product, Transaction &transaction) const;
    void printFareProducts(ZetoDes_v2::Card *card) const;

    ZetoDes_v2::PeriodPass mUsageLogPeriodPass;
    ZetoDes_v2::StoredJourneys mUsageLogStoredJourneys;

    friend class tst_RfidInspector;
};
