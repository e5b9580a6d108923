#pragma once

#include "inspection/layoutinspector.h"
#include "rfid/zetolucv2/card.h"

#include <QDateTime>
#include <QList>

// Inspector of LUC v2 cards: runs the layout's own checks (issue, issuer, version 2, carrier),
// takes the product of the usage log's ride from the period passes before the stored journeys,
// each by status (else one built from the usage log), accepts only transfers, period-pass and
// stored-journeys validations, and logs a card dump before and a transaction dump after.
// Never changes the card.
class ZetoLUCInspector_v2 : public LayoutInspector<ZetoLUCv2::Card, int>
{
    Q_OBJECT
public:
    explicit ZetoLUCInspector_v2(DBManager &db);
    ~ZetoLUCInspector_v2() override;

    bool inspectCard(RfidCard *card) override;

private:
    using Product = ZetoLUCv2::Card::Product;

    // The working record of one inspection; points into the card or at mUsageLogProduct.
    struct Transaction : LayoutInspector::Transaction
    {
        using LayoutInspector::Transaction::Transaction;
        bool endOfLastDay = false; // a period pass ends at 00:00 UTC of its last date
        Product *product = nullptr;
        QList<Product *> products; // candidates in search order
        QDateTime now;
    };

    Transaction createTransaction(ZetoLUCv2::Card *card) const;
    bool processCardTransaction(Transaction &transaction);
    void printCardInfo(const Transaction &transaction) const;
    void sortFareProducts(Transaction &transaction) const;
    bool processCommonChecks(Transaction &transaction) const;
    bool processFareProducts(Transaction &transaction);
    Product *getUsageLogProduct(const ZetoLUCv2::Card::UsageLogEntry &usageLog);
    bool processPeriodPass(Product *product, Transaction &transaction) const;
    bool processStoredJourneys(Product *product, Transaction &transaction) const;
    bool checkProductEligibleForTransfer(const ZetoLUCv2::Card *card) const;
    InspectorResult mapTransactionToInspectorResult(const Transaction &transaction) const;
    void printTransactionInfo(const Transaction &transaction) const;

    Product mUsageLogProduct;

    friend class tst_RfidInspector;
};
