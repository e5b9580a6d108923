#include "inspection/zetodesinspector_v2.h"

#include "framework/logtag.h"
#include "rfid/zetodes_v2/card.h"

#include <vector>

using ZetoDes_v2::Card;
using ZetoDes_v2::PeriodPass;
using ZetoDes_v2::StoredJourneys;
using ZetoDes_v2::UsageLogEntry;

namespace {

const manager::LogTag kLog(QStringLiteral("[inspector::ZetoDESv2] "));

// Product types of a usage-log entry: which product paid the ride.
enum EntryProductType : unsigned int {
    PeriodPass0 = 1,
    PeriodPass1 = 2,
    StoredJourneysProduct = 3,
};

} // namespace

ZetoDesInspector_v2::ZetoDesInspector_v2(DBManager &db)
    : LayoutInspector(db, kLog)
{
}

ZetoDesInspector_v2::~ZetoDesInspector_v2() = default;

bool ZetoDesInspector_v2::inspectCard(RfidCard *card)
{
    Card *desCard = startInspection(card);
    if (!desCard)
        return false;
    Transaction transaction = createTransaction(desCard);
    if (!processCardTransaction(desCard, transaction)) {
        // Whatever the failing step found, this layout reports it as "Invalid".
        mResult.setDenyReason(InspectorResult::CardInvalid);
        return false;
    }
    endInspection(getInspectionResult(transaction));
    return true;
}

bool ZetoDesInspector_v2::processCardTransaction(Card *card, Transaction &transaction)
{
    if (!processCommonChecks(card, transaction))
        return false;
    return processFareProducts(card, transaction);
}

bool ZetoDesInspector_v2::processCommonChecks(Card *card, Transaction &transaction)
{
    return checkCardRules(card, card->getInfo().getIssuerId(), int(card->getState()->getStatus()),
                          transaction.denyReason);
}

bool ZetoDesInspector_v2::processFareProducts(Card *card, Transaction &transaction)
{
    const std::vector<UsageLogEntry> usageLog = card->getUsageLog();
    // An empty log names no product, so nothing paid.
    const unsigned int type = usageLog.empty() ? 0 : usageLog.front().getProductType();
    if (type != PeriodPass0 && type != PeriodPass1 && type != StoredJourneysProduct) {
        kLog.critical(QStringLiteral("No valid products found in card"));
        return false;
    }
    const UsageLogEntry &entry = usageLog.front();

    // Only an ACTIVE product with the entry's id pays, whatever product type the entry names.
    const auto pays = [&entry](const auto *product) {
        return product->getStatus() == PeriodPass::Active && product->getProductId() == entry.getProductId();
    };
    const ZetoDes_v2::State::CardType flags = card->getState()->getCardType();
    if (flags.hasPeriodPass0 && pays(card->getPeriodPass0()))
        return processPeriodPass(card, card->getPeriodPass0(), transaction);
    if (flags.hasPeriodPass1 && pays(card->getPeriodPass1()))
        return processPeriodPass(card, card->getPeriodPass1(), transaction);
    if (flags.hasStoredJourneys && pays(card->getStoredJourneys())) {
        processStoredJourneys(card, card->getStoredJourneys(), transaction);
        return true;
    }

    kLog.info(QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data"));
    if (type == StoredJourneysProduct)
        processStoredJourneys(card, getUsageLogStoredJourneys(entry), transaction);
    else
        processPeriodPass(card, getUsageLogPeriodPass(entry), transaction);
    return true;
}

PeriodPass *ZetoDesInspector_v2::getUsageLogPeriodPass(const UsageLogEntry &entry)
{
    mUsageLogPeriodPass.setStatus(PeriodPass::Active);
    mUsageLogPeriodPass.setDays(0);
    mUsageLogPeriodPass.setProductId(entry.getProductId());
    mUsageLogPeriodPass.setPeriodPassNum(0);
    return &mUsageLogPeriodPass;
}

StoredJourneys *ZetoDesInspector_v2::getUsageLogStoredJourneys(const UsageLogEntry &entry)
{
    mUsageLogStoredJourneys.setStatus(StoredJourneys::Active);
    mUsageLogStoredJourneys.setJourneys(0);
    mUsageLogStoredJourneys.setProductId(entry.getProductId());
    return &mUsageLogStoredJourneys;
}

// This and processStoredJourneys take the card only for the steps' common shape: on this layout
// the product alone is recorded, and a ride it paid cannot fail, so a pass always gives true.
bool ZetoDesInspector_v2::processPeriodPass(Card *, PeriodPass *pass, Transaction &transaction)
{
    transaction.transactionType = InspectorResult::PeriodPassValidation;
    transaction.periodPass = pass;
    transaction.journeysUsed = 0;
    return true;
}

void ZetoDesInspector_v2::processStoredJourneys(Card *, StoredJourneys *product, Transaction &transaction)
{
    transaction.storedJourneys = product;
    transaction.transactionType = InspectorResult::StoredJourneysValidation;
    transaction.journeysUsed = 1;
}

InspectorResult ZetoDesInspector_v2::getInspectionResult(const Transaction &transaction) const
{
    InspectorResult result = freshResult();
    const std::vector<UsageLogEntry> usageLog = transaction.card->getUsageLog();
    if (usageLog.empty())
        return result;
    const UsageLogEntry &entry = usageLog.front();

    result.setDenyReason(transaction.denyReason);
    result.setTimeStamp(entry.getTimestamp());
    result.setVehicleId(0); // the layout records no vehicle
    result.setResult(transaction.denyReason == InspectorResult::Valid);
    result.setTransactionType(transaction.transactionType);
    result.setShouldWriteBack(false);

    const Ride ride = lookUpRide(kLog, int(entry.getProductId()), int(entry.getRouteId()),
                                 int(entry.getExecutionRouteId()), int(entry.getFromStopId()));
    result.setRouteInfo(ride.route);
    result.setDeviceType(int(entry.getDeviceType()));

    if (transaction.periodPass || transaction.storedJourneys) {
        result.setFareProductId(int(entry.getProductId()));
        result.setFareProductName(ride.fareProductName);
    }
    if (transaction.transactionType == InspectorResult::PeriodPassValidation) {
        result.setRemainingPassDays(getPeriodPassRemainingDays(transaction.periodPass));
    } else if (transaction.transactionType == InspectorResult::StoredJourneysValidation) {
        result.setJourneysBefore(clampToInt(entry.getJourneysBefore()));
        result.setJourneysAfter(clampToInt(entry.getJourneysAfter()));
    }
    return result;
}

bool ZetoDesInspector_v2::checkStoredJourneysExpired(const StoredJourneys *product, Transaction &transaction) const
{
    // The journeys left are the card's "remainingJourneys", not the product's own journey count.
    return storedJourneysExpired(product->getStatus(), transaction.card->getRemainingJourneys(), transaction);
}

void ZetoDesInspector_v2::printFareProducts(Card *card) const
{
    const std::vector<UsageLogEntry> usageLog = card->getUsageLog();
    if (usageLog.empty())
        return; // no ride names a product
    switch (usageLog.front().getProductType()) {
    case PeriodPass0:
        printPeriodPass(card->getPeriodPass0());
        break;
    case PeriodPass1:
        printPeriodPass(card->getPeriodPass1());
        break;
    case StoredJourneysProduct:
        printStoredJourneys(card->getStoredJourneys());
        break;
    default:
        break;
    }
}
