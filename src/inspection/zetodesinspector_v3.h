#pragma once

#include "inspection/layoutinspector.h"
#include "rfid/zetodes_v3/product.h"
#include "rfid/zetodes_v3/usagelogentry.h"

#include <QList>

namespace ZetoDes_v3 {
class Card;
}

// Inspector of DES v3 cards: runs the card checks (employee, counter, issue, issuer,
// version, carrier, status), finds the product that paid the usage log's last entry
// (period passes before stored journeys, each by status), tells a transfer, and reports
// the last ride with names from the fare and route data. Never changes the card.
class ZetoDesInspector_v3 : public LayoutInspector<ZetoDes_v3::Card>
{
    Q_OBJECT
public:
    explicit ZetoDesInspector_v3(DBManager &db);
    ~ZetoDesInspector_v3() override;

    bool inspectCard(RfidCard *card) override;

private:
    // The working record of one inspection; points into the card or at mUsageLogProduct.
    struct Transaction : LayoutInspector::Transaction
    {
        using LayoutInspector::Transaction::Transaction;
        bool isTransfer = false;
        ZetoDes_v3::Product *product = nullptr;
    };

    Transaction createTransaction(ZetoDes_v3::Card *card) const { return Transaction(card); }
    bool processCardTransaction(ZetoDes_v3::Card *card, Transaction &transaction);
    bool checkEmployeeCard(ZetoDes_v3::Card *card) const;
    bool processCommonChecks(ZetoDes_v3::Card *card, Transaction &transaction);
    bool checkCardCarrierId(ZetoDes_v3::Card *card) const;
    bool getLastTransactionProduct(ZetoDes_v3::Card *card, Transaction &transaction);
    void printFareProducts(const QList<ZetoDes_v3::Product *> &products) const;
    ZetoDes_v3::Product *getUsageLogProduct(const ZetoDes_v3::UsageLogEntry &entry, Transaction &transaction);
    bool processFareProducts(ZetoDes_v3::Card *card, Transaction &transaction);
    bool processPeriodPass(ZetoDes_v3::Card *card, ZetoDes_v3::Product *product, Transaction &transaction);
    bool processStoredJourneys(ZetoDes_v3::Card *card, ZetoDes_v3::Product *product, Transaction &transaction);
    bool checkProductEligibleForTransfer(ZetoDes_v3::Card *card, const ZetoDes_v3::Product *product) const;
    InspectorResult getInspectionResult(const Transaction &transaction) const;
    int getProductRemainingDays(const ZetoDes_v3::Product *product) const;
    QDateTime getProductExpiryTimestamp(const ZetoDes_v3::Product *product) const;

    ZetoDes_v3::Product mUsageLogProduct;
};
