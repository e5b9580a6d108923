#include "tarvik/faresnapshot.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSet>

#include <algorithm>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik::FareManager] ";
const QString kEpursePaymentMethod = QStringLiteral("PM_CARRIER_CARD_MONEY");
const QString kPaperTicket = QStringLiteral("TM_PAPER_TICKET");
const QString kDriverChannel = QStringLiteral("PC_DRIVER");
const QString kMinutes = QStringLiteral("minutes");
const QString kAnyProductType = QStringLiteral("*");

// The records of `targets` that the rows stored under `productId` name, in multi-map order.
template <typename Row, typename Target, typename ForeignId>
QList<QSharedPointer<Target>> joined(const QMultiHash<int, QSharedPointer<Row>> &rows,
                                     const QMap<int, QSharedPointer<Target>> &targets, int productId,
                                     ForeignId foreignId)
{
    QList<QSharedPointer<Target>> result;
    for (auto it = rows.constFind(productId); it != rows.cend() && it.key() == productId; ++it) {
        const QSharedPointer<Target> target = targets.value(foreignId(*it.value()));
        if (target)
            result.append(target);
    }
    return result;
}

QString productLine(const FareProduct2::Ptr &product)
{
    return QStringLiteral("  - [%1] %2").arg(QString::number(product->id()), product->multiLang(QStringLiteral("en")));
}
} // namespace

FareSnapshot::FareSnapshot()
    : mRoute(std::make_shared<const RouteSnapshot>())
{
}

FareSnapshot::FareSnapshot(Tables tables, RouteSnapshot::ConstPtr route)
    : mTables(std::move(tables))
    , mRoute(route ? std::move(route) : std::make_shared<const RouteSnapshot>())
{
    for (const FareProduct2::Ptr &product : qAsConst(mTables.fareProducts)) {
        const QString code = product->code();
        if (!mProductsByCode.contains(code))
            mProductsByCode.insert(code, product);
        if (product->validityUnit().toLower() != kMinutes)
            continue;
        const PaymentMethod::List methods = findPaymentMethods(product->id());
        const bool epurse = std::any_of(methods.cbegin(), methods.cend(), [](const PaymentMethod::Ptr &method) {
            return method->code() == kEpursePaymentMethod;
        });
        if (!epurse)
            continue;
        QSet<int> types;
        for (const PassengerType::Ptr &type : findPassengerTypes(product->id()))
            types.insert(type->id());
        for (const int type : qAsConst(types))
            mEpurseProducts[type].append(product);
    }
    for (const PassengerType::Ptr &type : qAsConst(mTables.passengerTypes)) {
        const QString code = type->code();
        if (!mPassengerTypesByCode.contains(code))
            mPassengerTypesByCode.insert(code, type);
    }
    for (const CappingRule::Ptr &rule : qAsConst(mTables.cappingRules)) {
        QSet<int> zones;
        for (const int zone : findCappingRuleStopGroupIds(rule->id())) {
            if (mRoute->findStopGroup(zone))
                zones.insert(zone);
        }
        for (const int zone : qAsConst(zones))
            mCappingRulesByZone[zone].append(rule);
    }
}

FareProduct2::Ptr FareSnapshot::findFareProduct(int id) const
{
    return mTables.fareProducts.value(id);
}

FareProduct2::Ptr FareSnapshot::findFareProduct(const QString &code) const
{
    return mProductsByCode.value(code);
}

BaseFare::Ptr FareSnapshot::findBaseFare(int id) const
{
    return mTables.baseFares.value(id);
}

TicketMaterial::Ptr FareSnapshot::findTicketMaterial(int id) const
{
    return mTables.ticketMaterials.value(id);
}

PassengerType::Ptr FareSnapshot::findPassengerType(int id) const
{
    return mTables.passengerTypes.value(id);
}

PassengerType::Ptr FareSnapshot::findPassengerType(const QString &code) const
{
    return mPassengerTypesByCode.value(code);
}

PaymentMethod::Ptr FareSnapshot::findPaymentMethod(int id) const
{
    return mTables.paymentMethods.value(id);
}

PaymentChannel::Ptr FareSnapshot::findPaymentChannel(int id) const
{
    return mTables.paymentChannels.value(id);
}

BaseFare::List FareSnapshot::findBaseFares(int fareProductId) const
{
    return joined(mTables.fareProductBaseFares, mTables.baseFares, fareProductId,
                  [](const FareProductBaseFare &row) { return row.baseFareId(); });
}

PassengerType::List FareSnapshot::findPassengerTypes(int fareProductId) const
{
    return joined(mTables.fareProductPassengerTypes, mTables.passengerTypes, fareProductId,
                  [](const FareProductPassengerType &row) { return row.passengerTypeId(); });
}

TicketMaterial::List FareSnapshot::findTicketMaterials(int fareProductId) const
{
    return joined(mTables.fareProductTicketMaterials, mTables.ticketMaterials, fareProductId,
                  [](const FareProductTicketMaterial &row) { return row.ticketMaterialId(); });
}

PaymentMethod::List FareSnapshot::findPaymentMethods(int fareProductId) const
{
    return joined(mTables.fareProductPaymentMethods, mTables.paymentMethods, fareProductId,
                  [](const FareProductPaymentMethod &row) { return row.paymentMethodId(); });
}

PaymentChannel::List FareSnapshot::findPaymentChannels(int fareProductId) const
{
    return joined(mTables.fareProductPaymentChannels, mTables.paymentChannels, fareProductId,
                  [](const FareProductPaymentChannel &row) { return row.paymentChannelId(); });
}

QList<int> FareSnapshot::findCappingRuleStopGroupIds(int ruleId) const
{
    QList<int> ids;
    const CappingRuleStopGroup::MultiMap &rows = mTables.cappingRuleStopGroups;
    for (auto it = rows.constFind(ruleId); it != rows.cend() && it.key() == ruleId; ++it)
        ids.append(it.value()->stopGroupId());
    return ids;
}

CappingRule::List FareSnapshot::findCappingRules(int stopGroupId, const QString &productType) const
{
    const bool anyType = productType.isEmpty() || productType == kAnyProductType;
    CappingRule::List result;
    for (const CappingRule::Ptr &rule : mCappingRulesByZone.value(stopGroupId)) {
        if (rule->active() && (anyType || rule->productType() == productType) && rule->validIn(stopGroupId))
            result.append(rule);
    }
    std::stable_sort(result.begin(), result.end(), [](const CappingRule::Ptr &a, const CappingRule::Ptr &b) {
        return a->thresholdAmount() < b->thresholdAmount();
    });
    return result;
}

FareProduct2::Ptr FareSnapshot::findEpurseProduct(int axisId, int zoneId, int passengerTypeId) const
{
    qInfo().noquote().nospace() << kTag << "Searching for E-Purse products : axixId=" << axisId
                                << ", zoneId=" << zoneId;
    QElapsedTimer timer;
    timer.start();

    const Axis::Ptr axis = mRoute->findAxis(axisId);
    if (!axis) {
        qCritical().noquote().nospace() << kTag
                                        << "ERROR: Could not find E-Purse product. AxisId to found in database : "
                                        << axisId;
        return {};
    }
    const bool axisProductsOnly = axis->useAxisProducts();

    // The index holds exactly the products that pass the checks of unit, payment method and
    // passenger type, in ascending id.
    FareProduct2::List candidates;
    for (const FareProduct2::Ptr &product : mEpurseProducts.value(passengerTypeId)) {
        if (axisProductsOnly && !product->isAxisFare())
            continue;
        if (product->isValidIn(axisId, zoneId, 0))
            candidates.append(product);
    }
    std::stable_sort(candidates.begin(), candidates.end(), [](const FareProduct2::Ptr &a, const FareProduct2::Ptr &b) {
        return a->validityDuration() < b->validityDuration();
    });

    qInfo().noquote().nospace() << kTag << "Found : " << candidates.size() << " product(s)";
    // One record per line: the dump escapes each line on its own, so no value begins a record.
    if (QLoggingCategory::defaultCategory()->isDebugEnabled()) {
        for (const FareProduct2::Ptr &product : qAsConst(candidates)) {
            for (const QString &line : product->toString().split(QLatin1Char('\n')))
                qDebug().noquote().nospace() << kTag << line;
        }
    }
    qInfo().noquote().nospace() << kTag << "Operation completed in : " << timer.elapsed() << " msec(s)";
    return candidates.value(0);
}

FareProduct2::List FareSnapshot::findFareProducts(const QString &ticketMaterialCode,
                                                  const QString &paymentChannelCode) const
{
    FareProduct2::List result;
    for (const FareProduct2::Ptr &product : mTables.fareProducts) {
        if (product->findTicketMaterial(ticketMaterialCode) && product->findPaymentChannel(paymentChannelCode))
            result.append(product);
    }
    return result;
}

FareProduct2::List FareSnapshot::findFareProducts(int axisId) const
{
    QElapsedTimer timer;
    timer.start();
    const Axis::Ptr axis = mRoute->findAxis(axisId);
    if (!axis) {
        qCritical().noquote().nospace() << kTag << "ERROR: Could not find axis : " << axisId;
        return {};
    }
    qInfo().noquote().nospace() << kTag << "Finding Fare Products for Axis : ";
    for (const QString &line : axis->toString().split(QLatin1Char('\n')))
        qInfo().noquote().nospace() << kTag << line;

    const StopGroup2::List groups = axis->stopGroups();
    const FareProduct2::List candidates = findFareProducts(kPaperTicket, kDriverChannel);
    FareProduct2::Map found;
    for (int from = 0; from < groups.size(); ++from) {
        for (int to = from; to < groups.size(); ++to) {
            qInfo().noquote().nospace() << kTag << "Searching Fare Products for : " << groups.at(from)->toString()
                                        << " to " << groups.at(to)->toString();
            for (const FareProduct2::Ptr &product : candidates) {
                if (product->isValidIn(axis->id(), groups.at(from)->id(), groups.at(to)->id())) {
                    qInfo().noquote().nospace() << kTag << productLine(product);
                    found.insert(product->id(), product);
                }
            }
        }
    }

    qInfo().noquote().nospace() << kTag << QStringLiteral("Fare Product list : %1 product(s)").arg(found.size());
    for (const FareProduct2::Ptr &product : qAsConst(found))
        qInfo().noquote().nospace() << kTag << productLine(product);
    qInfo().noquote().nospace() << kTag << "Operation completed in " << timer.elapsed() << " msec(s)";
    return found.values();
}

FareProduct2::List FareSnapshot::findFareProductsFrom(int axisId, int fromStopGroupId, int toStopGroupId) const
{
    FareProduct2::List result;
    for (const FareProduct2::Ptr &product : mTables.fareProducts) {
        if (product->findTicketMaterial(kPaperTicket) && product->findPaymentChannel(kDriverChannel)
            && product->isValidIn(axisId, fromStopGroupId, toStopGroupId))
            result.append(product);
    }
    return result;
}

} // namespace tarvik
