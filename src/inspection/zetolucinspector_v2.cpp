#include "inspection/zetolucinspector_v2.h"

#include "framework/logtag.h"
#include "rfid/cardtime.h"
#include "validator/results/validatorlogic.h"

#include <QStringList>

#include <algorithm>

using ZetoLUCv2::Card;
using UsageLogEntry = ZetoLUCv2::Card::UsageLogEntry;

namespace {

const manager::LogTag kLog(QStringLiteral("[inspector::ZetoLUCv2] "));

// Usage-log transaction types that inspection supports.
enum UsageTransType : int {
    TransferValidation = 20,
    PeriodPassValidation = 21,
    StoredJourneysValidation = 22,
};

// The only layout version this inspector reads.
constexpr int kVersion = 2;

bool isSupported(int transactionType)
{
    return transactionType == TransferValidation || transactionType == PeriodPassValidation
           || transactionType == StoredJourneysValidation;
}

QString number(qint64 value)
{
    return QString::number(value);
}

QString textForm(const QDateTime &time)
{
    return time.toString(Qt::TextDate);
}

void logLines(const QStringList &lines)
{
    for (const QString &line : lines)
        kLog.info(line);
}

const QString kRule59(59, QLatin1Char('-'));
const QString kRule60(60, QLatin1Char('-'));

} // namespace

ZetoLUCInspector_v2::ZetoLUCInspector_v2(DBManager &db)
    : LayoutInspector(db, kLog, QStringLiteral("Not an ZetoLUCv2 card"), 59)
{
}

ZetoLUCInspector_v2::~ZetoLUCInspector_v2() = default;

bool ZetoLUCInspector_v2::inspectCard(RfidCard *card)
{
    Card *lucCard = startInspection(card);
    if (!lucCard)
        return false;
    Transaction transaction = createTransaction(lucCard);
    const bool passed = processCardTransaction(transaction);
    // Also after a failed check: the deny reason it found is the one reported.
    endInspection(mapTransactionToInspectorResult(transaction));
    printTransactionInfo(transaction);
    return passed;
}

ZetoLUCInspector_v2::Transaction ZetoLUCInspector_v2::createTransaction(Card *card) const
{
    Transaction transaction(card);
    transaction.endOfLastDay = !isPeriodPassHourly();
    transaction.now = mNow;
    return transaction;
}

bool ZetoLUCInspector_v2::processCardTransaction(Transaction &transaction)
{
    printCardInfo(transaction);
    sortFareProducts(transaction);
    if (!processCommonChecks(transaction))
        return false;
    return processFareProducts(transaction);
}

void ZetoLUCInspector_v2::printCardInfo(const Transaction &transaction) const
{
    if (!kLog.isInfoEnabled())
        return;
    Card *card = transaction.card;
    const Card::Info &info = card->info();
    const Card::State &state = card->state();
    const Card::TopupLogEntry &topup = card->topupLog();
    const UsageLogEntry &usage = card->usageLog();
    const QString none; // the dump names no passenger type, product, stop or zone

    QStringList lines{
        kRule59,
        QStringLiteral(" CARD INFO : %1 (%2)").arg(card->getUid(), card->getTemplate()),
        kRule59,
        QStringLiteral(" Card Version     : %1").arg(info.version),
        QStringLiteral(" Carrier Id       : %1").arg(info.carrierId),
        QStringLiteral(" Issuer           : %1").arg(info.issuerId),
        QStringLiteral(" Issue Date       : %1").arg(textForm(info.issueTimestamp)),
        QStringLiteral(" Card Status      : (%1) %2").arg(number(state.status), Card::State::statusToString(state.status)),
        QStringLiteral(" Passenger Type   : (%1) %2").arg(number(state.passengerType), none),
        QStringLiteral(" Last Changed     : %1").arg(textForm(state.statusTimestamp)),
        QStringLiteral(" Change Device    : (%1) %2-%3")
            .arg(number(state.statusDeviceId), number(state.statusDeviceType),
                 Card::deviceTypeToString(state.statusDeviceType)),
        QStringLiteral("--- LAST TOPUP ---------------------------------------------"),
        QStringLiteral(" Transaction Type : (%1) %2")
            .arg(number(topup.transactionType), Card::transTypeToString(topup.transactionType)),
        QStringLiteral(" Product          : (%1) %2").arg(number(topup.productId), none),
        QStringLiteral(" Last Topup       : %1").arg(textForm(topup.transactionTimestamp)),
        QStringLiteral(" Topup Device     : (%1) %2-%3")
            .arg(number(topup.deviceId), number(topup.deviceType), Card::deviceTypeToString(topup.deviceType)),
        QStringLiteral("--- LAST USAGE ---------------------------------------------"),
        QStringLiteral(" Transaction Type : (%1) %2")
            .arg(number(usage.transactionType), Card::transTypeToString(usage.transactionType)),
        QStringLiteral(" Product          : (%1) %2").arg(number(usage.productId), none),
        QStringLiteral(" Last Tap Time    : %1 / %2")
            .arg(usage.transactionTimestamp.toString(Qt::ISODate),
                 ValidatorLogic::lastTapInterval(usage.transactionTimestamp, transaction.now)),
        QStringLiteral(" Initial Tap Time : %1 / %2")
            .arg(usage.initialTimestamp.toString(Qt::ISODate),
                 ValidatorLogic::lastTapInterval(usage.initialTimestamp, transaction.now)),
        QStringLiteral(" Device (id/type) : %1/%2-%3")
            .arg(number(usage.deviceId), number(usage.deviceType), Card::deviceTypeToString(usage.deviceType)),
        QStringLiteral(" Vehicle          : %1").arg(usage.vehicleId),
        QStringLiteral(" Route(id/execId) : %1/%2").arg(number(usage.routeId), number(usage.routeExecutionId)),
        QStringLiteral(" Stop/Zone        : (%1) %2 / (%3) %4").arg(number(usage.fromStopId), none, number(0), none),
        QStringLiteral("--- PRODUCTS -----------------------------------------------"),
    };
    for (const Card::Product *product : card->products()) {
        lines << QStringLiteral("  [%1] %2 (%3/%4/%5)")
                     .arg(number(product->index), none, number(product->productId),
                          Card::Product::typeToString(product->productType),
                          Card::Product::statusToString(product->status));
    }
    lines << kRule60;
    logLines(lines);
}

void ZetoLUCInspector_v2::sortFareProducts(Transaction &transaction) const
{
    // By status alone, equal statuses in slot order: an EXPIRED product comes before an
    // ACTIVE one of the same type, and every period pass before any stored journeys.
    const auto byStatus = [](const Product *a, const Product *b) { return a->status < b->status; };
    QList<Product *> passes = transaction.card->periodPassProducts();
    std::stable_sort(passes.begin(), passes.end(), byStatus);
    QList<Product *> journeys = transaction.card->storedJourneysProducts();
    std::stable_sort(journeys.begin(), journeys.end(), byStatus);

    transaction.products = passes + journeys;
    transaction.products.erase(std::remove_if(transaction.products.begin(), transaction.products.end(),
                                              [](const Product *p) { return p->status == Product::Unallocated; }),
                               transaction.products.end());
    if (transaction.products.isEmpty())
        return;
    transaction.product = transaction.products.first();
    if (transaction.product->productType == Product::StoredJourneys)
        transaction.transactionType = InspectorResult::StoredJourneysValidation;
}

bool ZetoLUCInspector_v2::processCommonChecks(Transaction &transaction) const
{
    const auto fail = [&transaction](const QString &line) {
        kLog.critical(line);
        transaction.denyReason = InspectorResult::CardInvalid;
        return false;
    };
    const Card::Info &info = transaction.card->info();
    const int status = transaction.card->state().status;

    kLog.info(QStringLiteral("Performing Card common checks"));
    if (status == Card::State::NotIssued)
        return fail(QStringLiteral("Card state is 'Not Issued' : %1").arg(status));
    if (info.issuerId == 0)
        return fail(QStringLiteral("Card issuer is invalid : 0"));
    if (info.version != kVersion)
        return fail(QStringLiteral("Card version not supported : %1").arg(info.version));
    // Without the device record the carrier is unknown: it cannot match.
    const std::optional<int> deviceCarrier = deviceCarrierId(kLog, info.carrierId);
    if (!deviceCarrier) {
        transaction.denyReason = InspectorResult::CardInvalid;
        return false;
    }
    if (info.carrierId != *deviceCarrier)
        return fail(QStringLiteral("Card carried Id is invalid : %1").arg(info.carrierId));
    transaction.denyReason = InspectorResult::Valid;
    return true;
}

bool ZetoLUCInspector_v2::processFareProducts(Transaction &transaction)
{
    if (kLog.isInfoEnabled()) {
        kLog.info(QStringLiteral("Processing %1 Fare Product(s) in the following order :").arg(transaction.products.size()));
        for (const Product *product : qAsConst(transaction.products)) {
            kLog.info(QStringLiteral("  [%1] (%3/%4/%5)")
                          .arg(number(product->index), number(product->productId), Product::typeToString(product->productType),
                               Product::statusToString(product->status)));
        }
    }
    const UsageLogEntry usageLog = transaction.card->usageLog();
    kLog.info([&usageLog] { return QStringLiteral("UsageLog last entry productId found: ") + number(usageLog.productId); });
    if (!isSupported(usageLog.transactionType)) {
        kLog.info(QStringLiteral("Card does not contain any mathcing products with usage log last entry productId"));
        transaction.denyReason = InspectorResult::CardNotAllowed;
        return false;
    }

    // The usage log's transaction type does not narrow the search: the product's type decides.
    for (Product *product : qAsConst(transaction.products)) {
        if (product->productId != usageLog.productId)
            continue;
        kLog.info(QStringLiteral("UsageLog last entry productId found in card products"));
        if (product->productType == Product::PeriodPass)
            return processPeriodPass(product, transaction);
        return processStoredJourneys(product, transaction);
    }

    kLog.info(QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data"));
    Product *product = getUsageLogProduct(usageLog);
    if (usageLog.transactionType == PeriodPassValidation)
        return processPeriodPass(product, transaction);
    return processStoredJourneys(product, transaction);
}

ZetoLUCInspector_v2::Product *ZetoLUCInspector_v2::getUsageLogProduct(const UsageLogEntry &usageLog)
{
    if (!isSupported(usageLog.transactionType)) {
        kLog.info(QStringLiteral("Usage log last entry does not contain any supported for inpection transactions "
                                 "===> Return CardNotAllowed error"));
        return nullptr;
    }
    mUsageLogProduct.productId = usageLog.productId;
    mUsageLogProduct.status = Product::Active;
    mUsageLogProduct.productType =
        usageLog.transactionType == PeriodPassValidation ? Product::PeriodPass : Product::StoredJourneys;
    mUsageLogProduct.remainingValue = 0;
    mUsageLogProduct.initialValue = 0;
    mUsageLogProduct.activationTimestamp = CardTime::unset();
    return &mUsageLogProduct;
}

bool ZetoLUCInspector_v2::processPeriodPass(Product *product, Transaction &transaction) const
{
    transaction.transactionType = InspectorResult::PeriodPassValidation;
    transaction.denyReason = InspectorResult::Valid;
    transaction.product = product;
    transaction.journeysUsed = 0;
    return true;
}

bool ZetoLUCInspector_v2::processStoredJourneys(Product *product, Transaction &transaction) const
{
    transaction.product = product;
    transaction.transactionType = InspectorResult::StoredJourneysValidation;
    transaction.denyReason = InspectorResult::Valid;
    transaction.journeysUsed = 0;
    if (checkProductEligibleForTransfer(transaction.card))
        transaction.transactionType = InspectorResult::Transfer; // no journey consumed
    else
        transaction.journeysUsed = 1;
    return true;
}

bool ZetoLUCInspector_v2::checkProductEligibleForTransfer(const Card *card) const
{
    if (card->usageLog().transactionType != TransferValidation)
        return false;
    kLog.info(QStringLiteral("Last transaction was transfer"));
    return true;
}

InspectorResult ZetoLUCInspector_v2::mapTransactionToInspectorResult(const Transaction &transaction) const
{
    const UsageLogEntry usageLog = transaction.card->usageLog();
    const Product *product = transaction.product;
    InspectorResult result = freshResult();
    result.setDenyReason(transaction.denyReason);
    result.setTimeStamp(usageLog.transactionTimestamp);
    result.setVehicleId(usageLog.vehicleId);
    result.setDeviceType(usageLog.deviceType);

    const Ride ride = lookUpRide(kLog, product ? std::optional<int>(product->productId) : std::nullopt,
                                 usageLog.routeId, usageLog.routeExecutionId, usageLog.fromStopId);
    result.setRouteInfo(ride.route);

    result.setResult(transaction.denyReason == InspectorResult::Valid);
    result.setTransactionType(transaction.transactionType);
    result.setShouldWriteBack(false);
    if (!product)
        return result; // remaining days 0 from the reset

    result.setFareProductId(product->productId);
    result.setFareProductName(ride.fareProductName);
    if (transaction.transactionType == InspectorResult::PeriodPassValidation) {
        result.setRemainingPassDays(product->remainingDays(transaction.now, transaction.endOfLastDay));
    } else {
        const qint64 remaining = product->remainingValue;
        result.setJourneysBefore(clampToInt(remaining + transaction.journeysUsed));
        result.setJourneysAfter(clampToInt(remaining));
        if (transaction.transactionType == InspectorResult::Transfer)
            result.setInitialTimestamp(usageLog.initialTimestamp);
    }
    return result;
}

void ZetoLUCInspector_v2::printTransactionInfo(const Transaction &transaction) const
{
    if (!kLog.isInfoEnabled())
        return;
    const Card *card = transaction.card;
    const QString none; // the dump names no passenger type, product, route, zone or stop
    logLines({
        kRule59,
        QStringLiteral(" RESULT : %1")
            .arg(transaction.denyReason == InspectorResult::Valid ? QStringLiteral("VALID") : QStringLiteral("INVALID")),
        kRule59,
        QStringLiteral(" Deny Reason        : %1").arg(InspectorResult::denyReasonToString(transaction.denyReason)),
        QStringLiteral(" Transaction Time   : %1").arg(textForm(transaction.now)),
        QStringLiteral(" Transaction Type   : %1").arg(InspectorResult::transactionTypeToString(transaction.transactionType)),
        QStringLiteral(" Transaction Amount : %1").arg(transaction.journeysUsed),
        QStringLiteral(" Card               : (%1) %2").arg(card->getUid(), card->getTemplate()),
        QStringLiteral(" Passenger Type     : (%1) %2").arg(number(card->state().passengerType), none),
        QStringLiteral(" Product            : (%1) %2").arg(number(0), none),
        QStringLiteral(" Route              : (%1) %2").arg(number(0), none),
        QStringLiteral(" Zone               : (%1) %2").arg(number(0), none),
        QStringLiteral(" Stop               : (%1) %2").arg(number(0), none),
        QStringLiteral(" End of Last Day    : %1").arg(transaction.endOfLastDay ? QStringLiteral("TRUE") : QStringLiteral("FALSE")),
        kRule60,
    });
}
