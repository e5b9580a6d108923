#include "inspection/zetolucinspector.h"

#include "framework/logtag.h"
#include "rfid/zetoluc/card.h"

using ZetoLUC::Card;
using ZetoLUC::PeriodPass;
using ZetoLUC::StoredJourneys;
using ZetoLUC::UsageLogEntry;
using CardType = ZetoLUC::State::CardType;

namespace {

const manager::LogTag kLog(QStringLiteral("[inspector::ZetoLUC] "));

// Product types of the usage-log entry: which product paid the ride.
enum EntryProductType : unsigned int {
    PeriodPassProduct = 1,
    StoredJourneysProduct = 2,
};

} // namespace

ZetoLucInspector::ZetoLucInspector(DBManager &db)
    : LayoutInspector(db, kLog)
{
}

ZetoLucInspector::~ZetoLucInspector() = default;

bool ZetoLucInspector::inspectCard(RfidCard *card)
{
    Card *lucCard = startInspection(card);
    if (!lucCard)
        return false;
    Transaction transaction = createTransaction(lucCard);
    if (!processCardTransaction(lucCard, transaction)) {
        // Whatever the failing step found, this layout reports it as "Invalid".
        mResult.setDenyReason(InspectorResult::CardInvalid);
        return false;
    }
    endInspection(getValidationResult(transaction));
    return true;
}

bool ZetoLucInspector::processCardTransaction(Card *card, Transaction &transaction)
{
    // The product search runs, and logs, before the checks and whatever they find.
    const CardType flags = getValidFareProducts(card, transaction);
    if (!processCommonChecks(card, transaction))
        return false;
    return processFareProducts(card, transaction, flags);
}

CardType ZetoLucInspector::getValidFareProducts(Card *card, Transaction &transaction)
{
    kLog.info(QStringLiteral("Started collecting card fare products"));
    const UsageLogEntry entry = card->getUsageLogEntry();
    if (entry.getProductType() != PeriodPassProduct && entry.getProductType() != StoredJourneysProduct)
        return CardType();

    // Only an ACTIVE product with the entry's id pays, whatever product type the entry names.
    kLog.info(QStringLiteral("Getting all period passes."));
    const PeriodPass pass = *card->getPeriodPass();
    kLog.info([&pass] { return QStringLiteral("periodPass status ") + QString::number(pass.getStatus()); });
    const bool passMatches = pass.getStatus() == PeriodPass::Active && pass.getProductId() == entry.getProductId();
    kLog.info(QStringLiteral("Getting stored journeys."));
    const StoredJourneys journeys = *card->getStoredJourneys();
    kLog.info([&journeys] { return QStringLiteral("storedJourneys status ") + QString::number(journeys.getStatus()); });
    const bool journeysMatch =
        journeys.getStatus() == StoredJourneys::Active && journeys.getProductId() == entry.getProductId();

    if (passMatches) {
        // Also when the stored journeys match: the period pass pays.
        transaction.periodPass = card->getPeriodPass();
        return CardType{true, journeysMatch};
    }
    if (journeysMatch) {
        transaction.storedJourneys = card->getStoredJourneys();
        transaction.transactionType = InspectorResult::StoredJourneysValidation;
        return CardType{false, true};
    }

    kLog.info(QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data"));
    if (entry.getProductType() == PeriodPassProduct) {
        mUsageLogPeriodPass.setStatus(PeriodPass::Active);
        mUsageLogPeriodPass.setDays(0);
        mUsageLogPeriodPass.setProductId(entry.getProductId());
        transaction.periodPass = &mUsageLogPeriodPass;
        return CardType{true, false};
    }
    mUsageLogStoredJourneys.setStatus(StoredJourneys::Active);
    mUsageLogStoredJourneys.setRemainingJourneys(0);
    mUsageLogStoredJourneys.setProductId(entry.getProductId());
    transaction.storedJourneys = &mUsageLogStoredJourneys;
    transaction.transactionType = InspectorResult::StoredJourneysValidation;
    return CardType{false, true};
}

bool ZetoLucInspector::processCommonChecks(Card *card, Transaction &transaction)
{
    return checkCardRules(card, card->getInfo().getIssuerId(), int(card->getState().getStatus()),
                          transaction.denyReason);
}

bool ZetoLucInspector::processFareProducts(Card *card, Transaction &transaction, CardType flags)
{
    const int count = int(flags.hasPeriodPass) + int(flags.hasStoredJourneys);
    kLog.info([count] { return QStringLiteral("Found Products: ") + QString::number(count); });
    if (count == 0) {
        kLog.info(QStringLiteral("Card does not contain any valid products."));
        transaction.denyReason = InspectorResult::CardNotAllowed;
        return false;
    }
    if (flags.hasPeriodPass)
        return processPeriodPass(card, transaction.periodPass, transaction);
    return processStoredJourneys(card, transaction.storedJourneys, transaction);
}

// This and processStoredJourneys take the card and product only to match the DES v2 steps:
// getValidFareProducts has pointed the working record at the paying product already, and
// nothing here can fail, so only the kind of ride is recorded.
bool ZetoLucInspector::processPeriodPass(Card *, PeriodPass *, Transaction &transaction)
{
    transaction.transactionType = InspectorResult::PeriodPassValidation;
    transaction.journeysUsed = 0;
    return true;
}

bool ZetoLucInspector::processStoredJourneys(Card *, StoredJourneys *, Transaction &transaction)
{
    transaction.transactionType = InspectorResult::StoredJourneysValidation;
    transaction.journeysUsed = 1;
    return true;
}

InspectorResult ZetoLucInspector::getValidationResult(const Transaction &transaction) const
{
    InspectorResult result = freshResult();
    const UsageLogEntry entry = transaction.card->getUsageLogEntry();
    result.setDenyReason(transaction.denyReason);
    result.setTimeStamp(entry.getTimestamp());
    // Base 10 only; anything that is not a number reads 0.
    result.setVehicleId(entry.getVehicleId().toInt(nullptr, 10));
    result.setDeviceType(int(entry.getDeviceType()));

    const Ride ride = lookUpRide(kLog, int(entry.getProductId()), int(entry.getRouteId()),
                                 int(entry.getRouteExecutionId()), int(entry.getFromStopId()));
    result.setRouteInfo(ride.route);

    result.setResult(transaction.denyReason == InspectorResult::Valid);
    result.setTransactionType(transaction.transactionType);
    result.setShouldWriteBack(false);

    if (transaction.transactionType == InspectorResult::PeriodPassValidation && transaction.periodPass) {
        result.setRemainingPassDays(getPeriodPassRemainingDays(transaction.periodPass));
        result.setFareProductId(int(transaction.periodPass->getProductId()));
        result.setFareProductName(ride.fareProductName);
    } else if (transaction.transactionType == InspectorResult::StoredJourneysValidation && transaction.storedJourneys) {
        result.setJourneysBefore(clampToInt(entry.getJourneysBefore()));
        result.setJourneysAfter(clampToInt(entry.getJourneysAfter()));
        result.setFareProductId(int(transaction.storedJourneys->getProductId()));
        result.setFareProductName(ride.fareProductName);
    }
    return result;
}

bool ZetoLucInspector::checkStoredJourneysExpired(const StoredJourneys *product, Transaction &transaction) const
{
    return storedJourneysExpired(product->getStatus(), product->getRemainingJourneys(), transaction);
}

void ZetoLucInspector::printFareProducts(Card *card, CardType flags) const
{
    if (flags.hasPeriodPass)
        printPeriodPass(card->getPeriodPass());
    if (flags.hasStoredJourneys)
        printStoredJourneys(card->getStoredJourneys());
}
