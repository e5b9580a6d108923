#pragma once

#include "inspection/inspectorresult.h"
#include "inspection/rfidinspector.h"
#include "rfid/zetoluc/periodpass.h"
#include "rfid/zetoluc/state.h"
#include "rfid/zetoluc/storedjourneys.h"

#include <QDateTime>

#include <memory>

class Configuration;

namespace ZetoLUC {
class Card;
}

// Inspector of LUC cards, the twin of the DES v2 one for a layout with one period pass, one
// stored-journeys product and the last ride: finds the ACTIVE product that paid that ride
// (else one built from it), runs the card checks and reports the ride with names from the fare
// and route data. Every failure is reported as "Invalid". Never changes the card.
class ZetoLucInspector : public RfidInspector
{
    Q_OBJECT
public:
    explicit ZetoLucInspector(DBManager &db);
    ~ZetoLucInspector() override;

    bool inspectCard(RfidCard *card) override;
    InspectorResult getResult() const override;

private:
    // The working record of one inspection; points into the card or at the scratch products.
    struct Transaction
    {
        int journeysUsed = 0;
        InspectorResult::TransactionType transactionType = InspectorResult::PeriodPassValidation;
        InspectorResult::DenyReason denyReason = InspectorResult::Valid;
        ZetoLUC::Card *card = nullptr;
        ZetoLUC::PeriodPass *periodPass = nullptr;
        ZetoLUC::StoredJourneys *storedJourneys = nullptr;
    };

    Transaction createTransaction(ZetoLUC::Card *card) const;
    bool processCardTransaction(ZetoLUC::Card *card, Transaction &transaction);
    // Which of the two products paid the last ride (not which ones the card carries).
    ZetoLUC::State::CardType getValidFareProducts(ZetoLUC::Card *card, Transaction &transaction);
    bool processCommonChecks(ZetoLUC::Card *card, Transaction &transaction);
    bool processFareProducts(ZetoLUC::Card *card, Transaction &transaction, ZetoLUC::State::CardType flags);
    bool processPeriodPass(ZetoLUC::Card *card, ZetoLUC::PeriodPass *pass, Transaction &transaction);
    bool processStoredJourneys(ZetoLUC::Card *card, ZetoLUC::StoredJourneys *product, Transaction &transaction);
    InspectorResult getValidationResult(const Transaction &transaction) const;
    int getPeriodPassRemainingDays(const ZetoLUC::PeriodPass *pass) const;
    QDateTime getPeriodPassExpiryTimestamp(const ZetoLUC::PeriodPass *pass) const;

    std::unique_ptr<Configuration> mConfig;
    InspectorResult mResult;
    QDateTime mNow;
    ZetoLUC::PeriodPass mUsageLogPeriodPass;
    ZetoLUC::StoredJourneys mUsageLogStoredJourneys;
};
