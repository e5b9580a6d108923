#pragma once

#include "inspection/layoutinspector.h"
#include "rfid/zetoluc/periodpass.h"
#include "rfid/zetoluc/state.h"
#include "rfid/zetoluc/storedjourneys.h"

namespace ZetoLUC {
class Card;
}

// Inspector of LUC cards, the twin of the DES v2 one for a layout with one period pass, one
// stored-journeys product and the last ride: finds the ACTIVE product that paid that ride
// (else one built from it), runs the card checks and reports the ride with names from the fare
// and route data. Every failure is reported as "Invalid". Never changes the card.
class ZetoLucInspector : public LayoutInspector<ZetoLUC::Card>
{
    Q_OBJECT
public:
    explicit ZetoLucInspector(DBManager &db);
    ~ZetoLucInspector() override;

    bool inspectCard(RfidCard *card) override;

private:
    // The working record of one inspection; points into the card or at the scratch products.
    struct Transaction : LayoutInspector::Transaction
    {
        using LayoutInspector::Transaction::Transaction;
        ZetoLUC::PeriodPass *periodPass = nullptr;
        ZetoLUC::StoredJourneys *storedJourneys = nullptr;
    };

    Transaction createTransaction(ZetoLUC::Card *card) const { return Transaction(card); }
    bool processCardTransaction(ZetoLUC::Card *card, Transaction &transaction);
    // Which of the two products paid the last ride (not which ones the card carries).
    ZetoLUC::State::CardType getValidFareProducts(ZetoLUC::Card *card, Transaction &transaction);
    bool processCommonChecks(ZetoLUC::Card *card, Transaction &transaction);
    bool processFareProducts(ZetoLUC::Card *card, Transaction &transaction, ZetoLUC::State::CardType flags);
    bool processPeriodPass(ZetoLUC::Card *card, ZetoLUC::PeriodPass *pass, Transaction &transaction);
    bool processStoredJourneys(ZetoLUC::Card *card, ZetoLUC::StoredJourneys *product, Transaction &transaction);
    InspectorResult getValidationResult(const Transaction &transaction) const;

    // Not called by the inspection.
    bool checkStoredJourneysExpired(const ZetoLUC::StoredJourneys *product, Transaction &transaction) const;
    void printFareProducts(ZetoLUC::Card *card, ZetoLUC::State::CardType flags) const;

    ZetoLUC::PeriodPass mUsageLogPeriodPass;
    ZetoLUC::StoredJourneys mUsageLogStoredJourneys;

    friend class tst_RfidInspector;
};
