#include "inspection/zetodesinspector_v3.h"

#include "db/dbmanager.h"
#include "framework/logtag.h"
#include "rfid/zetodes_v3/card.h"
#include "validator/results/validatorlogic.h"

#include <algorithm>

using ZetoDes_v3::Card;
using ZetoDes_v3::Product;
using ZetoDes_v3::UsageLogEntry;

namespace {

const manager::LogTag kLog(QStringLiteral("[inspector::ZetoDESv3] "));

enum UsageTransType : unsigned int {
    TransferValidation = 20,
    PeriodPassValidation = 21,
    StoredJourneysValidation = 22,
};

const QString kNoTransactions =
    QStringLiteral("Usage log last entry does not contain any transactions ===> Return CardNotAllowed error");

} // namespace

ZetoDesInspector_v3::ZetoDesInspector_v3(DBManager &db)
    : LayoutInspector(db, kLog)
{
}

ZetoDesInspector_v3::~ZetoDesInspector_v3() = default;

bool ZetoDesInspector_v3::inspectCard(RfidCard *card)
{
    Card *desCard = startInspection(card);
    if (!desCard)
        return false;
    Transaction transaction = createTransaction(desCard);
    const bool passed = processCardTransaction(desCard, transaction);
    // Also after a failed check: the deny reason it found is the one reported.
    endInspection(getInspectionResult(transaction));
    return passed;
}

bool ZetoDesInspector_v3::processCardTransaction(Card *card, Transaction &transaction)
{
    if (checkEmployeeCard(card)) {
        kLog.critical(QStringLiteral("Employee Card can not be inspected ===> Return CardInvalid"));
        transaction.denyReason = InspectorResult::CardInvalid;
        return false;
    }
    if (!processCommonChecks(card, transaction))
        return false;
    if (!getLastTransactionProduct(card, transaction))
        return false;
    return processFareProducts(card, transaction);
}

bool ZetoDesInspector_v3::checkEmployeeCard(Card *card) const
{
    if (!card->getState().getFlags().employee)
        return false;
    kLog.info(QStringLiteral("Employee card found : uid=") + card->getUid() + QStringLiteral(" employeeId=")
              + QString::number(card->getInfo().getPassengerId()));
    return true;
}

bool ZetoDesInspector_v3::processCommonChecks(Card *card, Transaction &transaction)
{
    if (card->getState().getFlags().personalized)
        db().prefetchCustomer(int(card->getInfo().getPassengerId()));

    if (!ValidatorLogic::checkCardTransactionCounter(int(card->getTransactionCounter()))) {
        transaction.denyReason = InspectorResult::CardInvalidTransactionCounter;
        return false;
    }
    if (!ValidatorLogic::checkCardIsIssued(card) || !ValidatorLogic::checkCardIssuer(card->getInfo().getIssuerId())
        || !ValidatorLogic::checkCardVersion(card) || !checkCardCarrierId(card)) {
        transaction.denyReason = InspectorResult::CardInvalid;
        return false;
    }
    if (ValidatorLogic::checkCardBlocked(card)) {
        // Statuses that map to "Valid" (monitored, auto-reload disabled, unblocked) do not
        // block the card: the product search still has to say what it holds.
        const InspectorResult::DenyReason reason = mapCardStatusToDenyReason(int(card->state().getStatus()));
        if (reason != InspectorResult::Valid) {
            transaction.denyReason = reason;
            return false;
        }
    }
    transaction.denyReason = InspectorResult::Valid;
    return true;
}

bool ZetoDesInspector_v3::checkCardCarrierId(Card *card) const
{
    const int carrierId = card->getInfo().getCarrierId();
    const std::optional<int> deviceCarrier = deviceCarrierId(kLog, carrierId);
    if (!deviceCarrier)
        return false;
    if (carrierId != *deviceCarrier) {
        kLog.warning(QStringLiteral("Card has invalid carrier id."));
        return false;
    }
    kLog.info([carrierId] { return QStringLiteral("Carrier ID is valid          : ") + QString::number(carrierId); });
    return true;
}

bool ZetoDesInspector_v3::getLastTransactionProduct(Card *card, Transaction &transaction)
{
    const std::vector<UsageLogEntry> usageLog = card->getUsageLog();
    // Equal statuses keep their slot order.
    const auto byStatus = [](const Product *a, const Product *b) { return a->getStatus() < b->getStatus(); };

    kLog.info(QStringLiteral("Started collecting card fare products"));
    kLog.info(QStringLiteral("Getting all period passes."));
    QList<Product *> candidates = card->periodPassProducts();
    std::stable_sort(candidates.begin(), candidates.end(), byStatus);
    kLog.info(QStringLiteral("Getting all stored journeys."));
    QList<Product *> storedJourneys = card->storedJourneysProducts();
    std::stable_sort(storedJourneys.begin(), storedJourneys.end(), byStatus);
    kLog.info(QStringLiteral("Adding period passes and stored journeys."));
    candidates += storedJourneys;
    printFareProducts(candidates);

    if (usageLog.empty()) {
        kLog.info(kNoTransactions);
        transaction.denyReason = InspectorResult::CardNotAllowed;
        return false;
    }
    const UsageLogEntry &last = usageLog.front();
    kLog.info([&last] { return QStringLiteral("UsageLog last entry productId found: ") + QString::number(last.getProductId()); });
    for (Product *product : qAsConst(candidates)) {
        if (product->getProductId() != last.getProductId())
            continue;
        kLog.info(QStringLiteral("UsageLog last entry productId found in card products"));
        transaction.product = product;
        if (product->getProductType() == Product::StoredJourneys)
            transaction.transactionType = InspectorResult::StoredJourneysValidation;
        return true;
    }

    kLog.info(QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data"));
    transaction.product = getUsageLogProduct(last, transaction);
    if (!transaction.product) {
        kLog.info(kNoTransactions);
        transaction.denyReason = InspectorResult::CardNotAllowed;
        return false;
    }
    return true;
}

void ZetoDesInspector_v3::printFareProducts(const QList<Product *> &products) const
{
    if (!kLog.isInfoEnabled())
        return;
    for (const Product *product : products) {
        kLog.info(QStringLiteral("  [%1] (%2/%3/%4)")
                      .arg(QString::number(product->getProductNum()), QString::number(product->getProductId()),
                           Product::typeToString(int(product->getProductType())),
                           Product::statusToString(int(product->getStatus()))));
    }
}

Product *ZetoDesInspector_v3::getUsageLogProduct(const UsageLogEntry &entry, Transaction &transaction)
{
    mUsageLogProduct.setStatus(Product::Active);
    mUsageLogProduct.setRemainingValue(0);
    mUsageLogProduct.setProductId(entry.getProductId());
    switch (entry.getTransType()) {
    case PeriodPassValidation:
        mUsageLogProduct.setProductType(Product::PeriodPass);
        return &mUsageLogProduct;
    case TransferValidation:
    case StoredJourneysValidation:
        mUsageLogProduct.setProductType(Product::StoredJourneys);
        transaction.transactionType = InspectorResult::StoredJourneysValidation;
        return &mUsageLogProduct;
    default:
        kLog.info(QStringLiteral("Usage log last entry does not contain any supported for inpection transactions "
                                 "===> Return CardNotAllowed error"));
        return nullptr;
    }
}

bool ZetoDesInspector_v3::processFareProducts(Card *card, Transaction &transaction)
{
    if (transaction.product->getProductType() == Product::PeriodPass)
        processPeriodPass(card, transaction.product, transaction);
    else
        processStoredJourneys(card, transaction.product, transaction);
    return true;
}

// Takes the card only to match processStoredJourneys, which reads the transfer from it; a ride
// the pass paid cannot fail, so always true.
bool ZetoDesInspector_v3::processPeriodPass(Card *, Product *product, Transaction &transaction)
{
    transaction.transactionType = InspectorResult::PeriodPassValidation;
    transaction.denyReason = InspectorResult::Valid;
    transaction.product = product;
    transaction.journeysUsed = 0;
    return true;
}

bool ZetoDesInspector_v3::processStoredJourneys(Card *card, Product *product, Transaction &transaction)
{
    transaction.product = product;
    transaction.transactionType = InspectorResult::StoredJourneysValidation;
    transaction.denyReason = InspectorResult::Valid;
    transaction.isTransfer = checkProductEligibleForTransfer(card, product);
    transaction.journeysUsed = transaction.isTransfer ? 0 : 1;
    return true;
}

bool ZetoDesInspector_v3::checkProductEligibleForTransfer(Card *card, const Product *) const
{
    const std::vector<UsageLogEntry> usageLog = card->getUsageLog();
    if (usageLog.empty()) {
        kLog.warning(QStringLiteral("Card not used before."));
        return false;
    }
    if (usageLog.front().getTransType() == TransferValidation) {
        kLog.info(QStringLiteral("Last transaction was transfer"));
        return true;
    }
    return false;
}

InspectorResult ZetoDesInspector_v3::getInspectionResult(const Transaction &transaction) const
{
    InspectorResult result = freshResult();
    result.setDenyReason(transaction.denyReason);
    const std::vector<UsageLogEntry> usageLog = transaction.card->getUsageLog();

    QString fareProductName;
    if (!usageLog.empty()) {
        const UsageLogEntry &last = usageLog.front();
        result.setTimeStamp(last.getTransTimestamp());
        result.setVehicleId(int(last.getVehicleId()));
        result.setDeviceType(int(last.getDeviceType()));

        const Ride ride = lookUpRide(kLog, int(last.getProductId()), int(last.getRouteId()),
                                     int(last.getRouteExecutionId()), int(last.getBoardingStopId()));
        fareProductName = ride.fareProductName;
        result.setRouteInfo(ride.route);
    }

    result.setResult(transaction.denyReason == InspectorResult::Valid);
    result.setTransactionType(transaction.isTransfer ? InspectorResult::Transfer : transaction.transactionType);
    result.setShouldWriteBack(false);
    const Product *product = transaction.product;
    if (product) {
        result.setFareProductId(int(product->getProductId()));
        result.setFareProductName(fareProductName);
    }

    if (transaction.transactionType == InspectorResult::PeriodPassValidation) {
        result.setRemainingPassDays(getProductRemainingDays(product));
    } else if (product
               && (transaction.transactionType == InspectorResult::StoredJourneysValidation || transaction.isTransfer)) {
        const qint64 remaining = product->getRemainingValue();
        result.setJourneysBefore(clampToInt(transaction.journeysUsed + remaining));
        result.setJourneysAfter(clampToInt(remaining));
        if (transaction.isTransfer && !usageLog.empty())
            result.setInitialTimestamp(usageLog.front().getInitialTimestamp());
    }
    return result;
}

int ZetoDesInspector_v3::getProductRemainingDays(const Product *product) const
{
    if (!product || product->getProductType() != Product::PeriodPass)
        return 0;
    const qint64 validity = product->getInitialValue();
    if (product->getStatus() == Product::Active && mNow < product->getActivationTimestamp())
        return clampToInt(validity);
    return calendarDaysLeft(product->getStatus(), validity, mNow, getProductExpiryTimestamp(product));
}

QDateTime ZetoDesInspector_v3::getProductExpiryTimestamp(const Product *product) const
{
    return periodPassExpiry(product->getStatus() == Product::Pending, product->getActivationTimestamp(),
                            qint64(product->getInitialValue()), isPeriodPassHourly());
}
