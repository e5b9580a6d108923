#include "tarvik/faremanager.h"

#include "tarvik/connector.h"
#include "tarvik/freshcopy.h"
#include "tarvik/routemanager.h"
#include "tarvik/utils.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QVector>

#include <atomic>

namespace tarvik {

namespace {
const char kTag[] = "[tarvik::FareManager] ";

const QString kBaseFaresKey = QStringLiteral("BaseFares");
const QString kTicketMaterialsKey = QStringLiteral("TicketMaterials");
const QString kPassengerTypesKey = QStringLiteral("PassengerTypes");
const QString kPaymentMethodsKey = QStringLiteral("PaymentMethods");
const QString kPaymentChannelsKey = QStringLiteral("PaymentChannels");
const QString kFareProductsKey = QStringLiteral("FareProducts");
const QString kCappingRulesKey = QStringLiteral("CappingRules");
const QString kFareProductBaseFaresKey = QStringLiteral("FareProductBaseFares");
const QString kFareProductPassengerTypesKey = QStringLiteral("FareProductPassengerTypes");
const QString kFareProductTicketMaterialsKey = QStringLiteral("FareProductTicketMaterials");
const QString kFareProductPaymentMethodsKey = QStringLiteral("FareProductPaymentMethods");
const QString kFareProductPaymentChannelsKey = QStringLiteral("FareProductPaymentChannels");
const QString kCappingRuleStopGroupsKey = QStringLiteral("CappingRuleStopGroups");

// Products mostly share their link sets (the same passenger types, channels, methods):
// each distinct set is kept once, as one implicitly shared list, rather than once per product.
template <typename T>
class ListPool
{
public:
    QList<QSharedPointer<T>> shared(const QList<QSharedPointer<T>> &list)
    {
        QVector<const T *> key;
        key.reserve(list.size());
        for (const QSharedPointer<T> &record : list)
            key.append(record.data());
        const auto found = mLists.constFind(key);
        if (found != mLists.cend())
            return found.value();
        mLists.insert(key, list);
        return list;
    }

private:
    QHash<QVector<const T *>, QList<QSharedPointer<T>>> mLists;
};
} // namespace

FareManager::FareManager(Connector &connector, RouteManager &routeManager, const QString &deviceUuid,
                         const QString &storagePath, QObject *parent)
    : DataManager(connector, deviceUuid, storagePath,
                  {kTag, "Fare Data", QStringLiteral("fares.json"), QStringLiteral("faresLastSyncDate"),
                   QStringLiteral("Syncing Fare Data : deviceUuid=%1, lastSyncDate=%2"), "WARN: Fare Data changed!"},
                  parent)
    , mRouteManager(routeManager)
    , mSnapshot(std::make_shared<const FareSnapshot>())
{
}

FareManager::~FareManager() = default;

void FareManager::connectRecords()
{
    connect(&mRouteManager, &RouteManager::dataChanged, this, &FareManager::associate);

    const auto direct = Qt::DirectConnection;
    connect(&connector(), &Connector::baseFaresReceived, this, [this](const BaseFare::List &list) {
        receive(mTables.baseFares, list, "Received BaseFare(s)                   : ");
    }, direct);
    connect(&connector(), &Connector::passengerTypesReceived, this, [this](const PassengerType::List &list) {
        receive(mTables.passengerTypes, list, "Received PassengerType(s)              : ");
    }, direct);
    connect(&connector(), &Connector::paymentChannelsReceived, this, [this](const PaymentChannel::List &list) {
        receive(mTables.paymentChannels, list, "Received PaymentChannel(s)             : ");
    }, direct);
    connect(&connector(), &Connector::paymentMethodsReceived, this, [this](const PaymentMethod::List &list) {
        receive(mTables.paymentMethods, list, "Received PaymentMethod(s)              : ");
    }, direct);
    connect(&connector(), &Connector::ticketMaterialsReceived, this, [this](const TicketMaterial::List &list) {
        receive(mTables.ticketMaterials, list, "Received TicketMaterial(s)             : ");
    }, direct);
    connect(&connector(), &Connector::fareProductsReceived, this, [this](const FareProduct2::List &list) {
        receive(mTables.fareProducts, list, "Received FareProduct(s)                : ");
    }, direct);
    connect(&connector(), &Connector::fareProductBaseFaresReceived, this,
            [this](const FareProductBaseFare::List &list) {
                receiveRows(mTables.fareProductBaseFares, list, "Received FareProduct/BaseFare(s)       : ");
            }, direct);
    connect(&connector(), &Connector::fareProductPaymentChannelsReceived, this,
            [this](const FareProductPaymentChannel::List &list) {
                receiveRows(mTables.fareProductPaymentChannels, list, "Received FareProduct/PaymentChannel(s) : ");
            }, direct);
    connect(&connector(), &Connector::fareProductPaymentMethodsReceived, this,
            [this](const FareProductPaymentMethod::List &list) {
                receiveRows(mTables.fareProductPaymentMethods, list, "Received FareProduct/PaymentMethod(s)  : ");
            }, direct);
    connect(&connector(), &Connector::fareProductTicketMaterialsReceived, this,
            [this](const FareProductTicketMaterial::List &list) {
                receiveRows(mTables.fareProductTicketMaterials, list, "Received FareProduct/TicketMaterial(s) : ");
            }, direct);
    connect(&connector(), &Connector::fareProductPassengerTypesReceived, this,
            [this](const FareProductPassengerType::List &list) {
                receiveRows(mTables.fareProductPassengerTypes, list, "Received FareProduct/PassengerType(s)  : ");
            }, direct);
    connect(&connector(), &Connector::cappingRulesReceived, this, [this](const CappingRule::List &list) {
        receive(mTables.cappingRules, list, "Received CappingRule(s)                : ");
    }, direct);
    connect(&connector(), &Connector::cappingRuleStopGroupsReceived, this,
            [this](const CappingRuleStopGroup::List &list) {
                logReceived("Received CappingRule/StopGroup(s)      : ", list.size());
                Utils::appendListToCappingRuleStopGroups(mTables.cappingRuleStopGroups, list);
                setChanged();
            }, direct);
    connect(&connector(), &Connector::onFareDataSyncEnd, this, &FareManager::onDataSyncEnd, direct);
}

FareSnapshot::ConstPtr FareManager::snapshot() const
{
    return std::atomic_load(&mSnapshot);
}

bool FareManager::anyTableEmpty() const
{
    const FareSnapshot::Tables &t = mTables;
    return t.baseFares.isEmpty() || t.ticketMaterials.isEmpty() || t.passengerTypes.isEmpty()
        || t.paymentMethods.isEmpty() || t.paymentChannels.isEmpty() || t.fareProducts.isEmpty()
        || t.cappingRules.isEmpty() || t.fareProductBaseFares.isEmpty() || t.fareProductPassengerTypes.isEmpty()
        || t.fareProductTicketMaterials.isEmpty() || t.fareProductPaymentMethods.isEmpty()
        || t.fareProductPaymentChannels.isEmpty() || t.cappingRuleStopGroups.isEmpty();
}

void FareManager::requestData(const QDateTime &since)
{
    connector().requestFareData(deviceUuid(), since);
}

template <typename T>
void FareManager::receiveRows(QMultiHash<int, QSharedPointer<T>> &rows, const QList<QSharedPointer<T>> &list,
                              const char *label)
{
    logReceived(label, list.size());
    Utils::appendListToFPMultiMap<T>(rows, list);
    setChanged();
}

void FareManager::onEntityDeleted(const QString &entityName, int id)
{
    FareSnapshot::Tables &t = mTables;
    bool removed = false;
    if (entityName == QLatin1String("BASE_FARES"))
        removed = Utils::deleteItemFromMap<BaseFare>(t.baseFares, id);
    else if (entityName == QLatin1String("CAPPING_RULES"))
        removed = Utils::deleteItemFromMap<CappingRule>(t.cappingRules, id);
    else if (entityName == QLatin1String("FARE_PRODUCTS"))
        removed = Utils::deleteItemFromMap<FareProduct2>(t.fareProducts, id);
    else if (entityName == QLatin1String("PASSENGER_TYPE"))
        removed = Utils::deleteItemFromMap<PassengerType>(t.passengerTypes, id);
    else if (entityName == QLatin1String("PAYMENT_CHANNELS"))
        removed = Utils::deleteItemFromMap<PaymentChannel>(t.paymentChannels, id);
    else if (entityName == QLatin1String("PAYMENT_METHODS"))
        removed = Utils::deleteItemFromMap<PaymentMethod>(t.paymentMethods, id);
    else if (entityName == QLatin1String("TICKET_MATERIAL"))
        removed = Utils::deleteItemFromMap<TicketMaterial>(t.ticketMaterials, id);
    else if (entityName == QLatin1String("CAPPING_RULE_STOP_GROUPS"))
        removed = Utils::deleteItemFromMultiMap<CappingRuleStopGroup>(t.cappingRuleStopGroups, id);
    else if (entityName == QLatin1String("FARE_PRODUCT_BASE_FARE"))
        removed = Utils::deleteItemFromMultiMap<FareProductBaseFare>(t.fareProductBaseFares, id);
    else if (entityName == QLatin1String("FARE_PRODUCT_PASSENGER_TYPE"))
        removed = Utils::deleteItemFromMultiMap<FareProductPassengerType>(t.fareProductPassengerTypes, id);
    else if (entityName == QLatin1String("FARE_PRODUCT_PAYMENT_CHANNEL"))
        removed = Utils::deleteItemFromMultiMap<FareProductPaymentChannel>(t.fareProductPaymentChannels, id);
    else if (entityName == QLatin1String("FARE_PRODUCT_PAYMENT_METHOD"))
        removed = Utils::deleteItemFromMultiMap<FareProductPaymentMethod>(t.fareProductPaymentMethods, id);
    else if (entityName == QLatin1String("FARE_PRODUCT_TICKET_MATERIAL"))
        removed = Utils::deleteItemFromMultiMap<FareProductTicketMaterial>(t.fareProductTicketMaterials, id);
    if (removed)
        markDeleted(entityName, id);
}

void FareManager::associate()
{
    QElapsedTimer timer;
    timer.start();
    qInfo().noquote().nospace() << kTag << "Associating Base Fares with StopGroups";

    const RouteSnapshot::ConstPtr route = mRouteManager.snapshot();
    FareSnapshot::Tables tables = mTables; // the records without links are shared as they are
    tables.baseFares = freshCopies(mTables.baseFares);
    tables.fareProducts = freshCopies(mTables.fareProducts);
    tables.cappingRules = freshCopies(mTables.cappingRules);
    const auto next = std::make_shared<FareSnapshot>(std::move(tables), route);
    const FareSnapshot::Tables &linked = next->tables();

    for (const BaseFare::Ptr &baseFare : linked.baseFares) {
        const StopGroup2::List cityZones = route->findStopGroups(baseFare->cityZoneFareStopGroupIds());
        const int fromId = baseFare->stopGroupFromId();
        const StopGroup2::Ptr from = route->findStopGroup(fromId);
        if (!from && fromId > 0)
            qWarning().noquote().nospace()
                << kTag << QStringLiteral("WARN: Could not find 'from' stopGroup %1 referenced by baseFare : %2 ")
                               .arg(QString::number(fromId), baseFare->code());
        const int toId = baseFare->stopGroupToId();
        const StopGroup2::Ptr to = route->findStopGroup(toId);
        if (!to && toId > 0)
            qWarning().noquote().nospace()
                << kTag << QStringLiteral("WARN: Could not find 'to' stopGroup %1 referenced by baseFare : %2 ")
                               .arg(QString::number(toId), baseFare->code());
        baseFare->setCityZoneFareStopGroups(cityZones);
        baseFare->setStopGroupFrom(from);
        baseFare->setStopGroupTo(to);
    }

    qInfo().noquote().nospace() << kTag << "Associating Base Fares with Fare Products";
    ListPool<BaseFare> baseFares;
    ListPool<PassengerType> passengerTypes;
    ListPool<PaymentMethod> paymentMethods;
    ListPool<PaymentChannel> paymentChannels;
    ListPool<TicketMaterial> ticketMaterials;
    for (const FareProduct2::Ptr &product : linked.fareProducts) {
        const int id = product->id();
        product->setBaseFares(baseFares.shared(next->findBaseFares(id)));
        product->setPassengerTypes(passengerTypes.shared(next->findPassengerTypes(id)));
        product->setPaymentMethods(paymentMethods.shared(next->findPaymentMethods(id)));
        product->setPaymentChannels(paymentChannels.shared(next->findPaymentChannels(id)));
        product->setTicketMaterials(ticketMaterials.shared(next->findTicketMaterials(id)));
    }

    qInfo().noquote().nospace() << kTag << "Associating Capping Rules with Stop Groups";
    for (const CappingRule::Ptr &rule : linked.cappingRules)
        rule->setStopGroups(route->findStopGroups(next->findCappingRuleStopGroupIds(rule->id())));

    std::atomic_store(&mSnapshot, FareSnapshot::ConstPtr(next));
    qInfo().noquote().nospace() << kTag << "Fare data associated in : " << timer.elapsed() << " msec(s)";
}

void FareManager::readTables(const QJsonObject &root)
{
    const auto array = [&root](const QString &key) { return root.value(key).toArray(); };
    FareSnapshot::Tables &t = mTables;
    t.baseFares = Utils::jsonToMap<BaseFare>(array(kBaseFaresKey));
    t.ticketMaterials = Utils::jsonToMap<TicketMaterial>(array(kTicketMaterialsKey));
    t.passengerTypes = Utils::jsonToMap<PassengerType>(array(kPassengerTypesKey));
    t.paymentMethods = Utils::jsonToMap<PaymentMethod>(array(kPaymentMethodsKey));
    t.paymentChannels = Utils::jsonToMap<PaymentChannel>(array(kPaymentChannelsKey));
    t.fareProducts = Utils::jsonToMap<FareProduct2>(array(kFareProductsKey));
    t.fareProductBaseFares = Utils::jsonToFPMultiMap<FareProductBaseFare>(array(kFareProductBaseFaresKey));
    t.fareProductPassengerTypes =
        Utils::jsonToFPMultiMap<FareProductPassengerType>(array(kFareProductPassengerTypesKey));
    t.fareProductTicketMaterials =
        Utils::jsonToFPMultiMap<FareProductTicketMaterial>(array(kFareProductTicketMaterialsKey));
    t.fareProductPaymentMethods =
        Utils::jsonToFPMultiMap<FareProductPaymentMethod>(array(kFareProductPaymentMethodsKey));
    t.fareProductPaymentChannels =
        Utils::jsonToFPMultiMap<FareProductPaymentChannel>(array(kFareProductPaymentChannelsKey));
    t.cappingRules = Utils::jsonToMap<CappingRule>(array(kCappingRulesKey));
    t.cappingRuleStopGroups = Utils::jsonToCappingRuleStopGroups(array(kCappingRuleStopGroupsKey));
}

QJsonObject FareManager::tablesToJson() const
{
    const FareSnapshot::Tables &t = mTables;
    return QJsonObject{
        {kBaseFaresKey, Utils::listToJson<BaseFare>(t.baseFares.values())},
        {kTicketMaterialsKey, Utils::listToJson<TicketMaterial>(t.ticketMaterials.values())},
        {kPassengerTypesKey, Utils::listToJson<PassengerType>(t.passengerTypes.values())},
        {kPaymentMethodsKey, Utils::listToJson<PaymentMethod>(t.paymentMethods.values())},
        {kPaymentChannelsKey, Utils::listToJson<PaymentChannel>(t.paymentChannels.values())},
        {kFareProductsKey, Utils::listToJson<FareProduct2>(t.fareProducts.values())},
        {kCappingRulesKey, Utils::listToJson<CappingRule>(t.cappingRules.values())},
        {kFareProductBaseFaresKey, Utils::listToJson<FareProductBaseFare>(t.fareProductBaseFares.values())},
        {kFareProductPassengerTypesKey,
         Utils::listToJson<FareProductPassengerType>(t.fareProductPassengerTypes.values())},
        {kFareProductTicketMaterialsKey,
         Utils::listToJson<FareProductTicketMaterial>(t.fareProductTicketMaterials.values())},
        {kFareProductPaymentMethodsKey,
         Utils::listToJson<FareProductPaymentMethod>(t.fareProductPaymentMethods.values())},
        {kFareProductPaymentChannelsKey,
         Utils::listToJson<FareProductPaymentChannel>(t.fareProductPaymentChannels.values())},
        {kCappingRuleStopGroupsKey, Utils::listToJson<CappingRuleStopGroup>(t.cappingRuleStopGroups.values())},
    };
}

void FareManager::printSummary() const
{
    const FareSnapshot::Tables &t = mTables;
    printSummaryLines("--- FARE DATA SUMMARY -----------------------",
                      {{" BaseFares                   : ", t.baseFares.size()},
                       {" TicketMaterials             : ", t.ticketMaterials.size()},
                       {" PassengerTypes              : ", t.passengerTypes.size()},
                       {" PaymentMethods              : ", t.paymentMethods.size()},
                       {" PaymentChannels             : ", t.paymentChannels.size()},
                       {" CappingRules                : ", t.cappingRules.size()},
                       {" Fare Products               : ", t.fareProducts.size()},
                       {" FareProduct/BaseFares       : ", t.fareProductBaseFares.size()},
                       {" FareProduct/PassengerTypes  : ", t.fareProductPassengerTypes.size()},
                       {" FareProduct/TicketMaterials : ", t.fareProductTicketMaterials.size()},
                       {" FareProduct/PaymentMethods  : ", t.fareProductPaymentMethods.size()},
                       {" FareProduct/PaymentChannels : ", t.fareProductPaymentChannels.size()},
                       {" CappingRule/StopGroups      : ", t.cappingRuleStopGroups.size()}});
}

FareProduct2::Ptr FareManager::findFareProduct(int id) const { return snapshot()->findFareProduct(id); }
FareProduct2::Ptr FareManager::findFareProduct(const QString &code) const { return snapshot()->findFareProduct(code); }
BaseFare::Ptr FareManager::findBaseFare(int id) const { return snapshot()->findBaseFare(id); }
TicketMaterial::Ptr FareManager::findTicketMaterial(int id) const { return snapshot()->findTicketMaterial(id); }
PassengerType::Ptr FareManager::findPassengerType(int id) const { return snapshot()->findPassengerType(id); }
PassengerType::Ptr FareManager::findPassengerType(const QString &code) const
{
    return snapshot()->findPassengerType(code);
}
PaymentMethod::Ptr FareManager::findPaymentMethod(int id) const { return snapshot()->findPaymentMethod(id); }
PaymentChannel::Ptr FareManager::findPaymentChannel(int id) const { return snapshot()->findPaymentChannel(id); }

BaseFare::List FareManager::findBaseFares(int fareProductId) const
{
    return snapshot()->findBaseFares(fareProductId);
}

PassengerType::List FareManager::findPassengerTypes(int fareProductId) const
{
    return snapshot()->findPassengerTypes(fareProductId);
}

TicketMaterial::List FareManager::findTicketMaterials(int fareProductId) const
{
    return snapshot()->findTicketMaterials(fareProductId);
}

PaymentMethod::List FareManager::findPaymentMethods(int fareProductId) const
{
    return snapshot()->findPaymentMethods(fareProductId);
}

PaymentChannel::List FareManager::findPaymentChannels(int fareProductId) const
{
    return snapshot()->findPaymentChannels(fareProductId);
}

QList<int> FareManager::findCappingRuleStopGroupIds(int ruleId) const
{
    return snapshot()->findCappingRuleStopGroupIds(ruleId);
}

CappingRule::List FareManager::findCappingRules(int stopGroupId, const QString &productType) const
{
    return snapshot()->findCappingRules(stopGroupId, productType);
}

FareProduct2::Ptr FareManager::findEpurseProduct(int axisId, int zoneId, int passengerTypeId) const
{
    return snapshot()->findEpurseProduct(axisId, zoneId, passengerTypeId);
}

FareProduct2::List FareManager::findFareProducts(const QString &ticketMaterialCode,
                                                 const QString &paymentChannelCode) const
{
    return snapshot()->findFareProducts(ticketMaterialCode, paymentChannelCode);
}

FareProduct2::List FareManager::findFareProducts(int axisId) const
{
    return snapshot()->findFareProducts(axisId);
}

FareProduct2::List FareManager::findFareProductsFrom(int axisId, int fromStopGroupId, int toStopGroupId) const
{
    return snapshot()->findFareProductsFrom(axisId, fromStopGroupId, toStopGroupId);
}

} // namespace tarvik
