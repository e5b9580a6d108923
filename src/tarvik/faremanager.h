#pragma once

#include "tarvik/datamanager.h"
#include "tarvik/faresnapshot.h"

namespace tarvik {

class Connector;
class RouteManager;

// Keeps the operator's fare catalogue: loads "fares.json", syncs it with the back-end on a
// timer, merges the records received, saves the file and links the records, also with the
// stop groups of the route manager's current snapshot. Each linked state is published as an
// immutable FareSnapshot; the find queries read the current one and may be called from any
// thread. Everything else runs on the main thread. Emits syncStarted, syncEnded, dataChanged.
class FareManager : public DataManager
{
    Q_OBJECT
public:
    FareManager(Connector &connector, RouteManager &routeManager, const QString &deviceUuid,
                const QString &storagePath, QObject *parent = nullptr);
    ~FareManager() override;

    void printSummary() const override;

    // The current linked state; hold it for a whole tap to read one consistent catalogue.
    FareSnapshot::ConstPtr snapshot() const;

    FareProduct2::Ptr findFareProduct(int id) const;
    FareProduct2::Ptr findFareProduct(const QString &code) const;
    BaseFare::Ptr findBaseFare(int id) const;
    TicketMaterial::Ptr findTicketMaterial(int id) const;
    PassengerType::Ptr findPassengerType(int id) const;
    PassengerType::Ptr findPassengerType(const QString &code) const;
    PaymentMethod::Ptr findPaymentMethod(int id) const;
    PaymentChannel::Ptr findPaymentChannel(int id) const;
    BaseFare::List findBaseFares(int fareProductId) const;
    PassengerType::List findPassengerTypes(int fareProductId) const;
    TicketMaterial::List findTicketMaterials(int fareProductId) const;
    PaymentMethod::List findPaymentMethods(int fareProductId) const;
    PaymentChannel::List findPaymentChannels(int fareProductId) const;
    QList<int> findCappingRuleStopGroupIds(int ruleId) const;
    CappingRule::List findCappingRules(int stopGroupId, const QString &productType) const;
    FareProduct2::Ptr findEpurseProduct(int axisId, int zoneId, int passengerTypeId) const;
    FareProduct2::List findFareProducts(const QString &ticketMaterialCode, const QString &paymentChannelCode) const;
    FareProduct2::List findFareProducts(int axisId) const;
    FareProduct2::List findFareProductsFrom(int axisId, int fromStopGroupId, int toStopGroupId) const;

public slots:
    void onEntityDeleted(const QString &entityName, int id) override;
    // Links fresh copies of the records against the route manager's current snapshot and
    // publishes them as the new snapshot.
    void associate() override;

private:
    Q_DISABLE_COPY(FareManager)

    template <typename T>
    void receiveRows(QMultiHash<int, QSharedPointer<T>> &rows, const QList<QSharedPointer<T>> &list,
                     const char *label);
    void readTables(const QJsonObject &root) override;
    QJsonObject tablesToJson() const override;
    bool anyTableEmpty() const override;
    void requestData(const QDateTime &since) override;
    void connectRecords() override;

    RouteManager &mRouteManager;
    // The records as loaded and received; never linked, so they can be copied for each snapshot.
    FareSnapshot::Tables mTables;
    FareSnapshot::ConstPtr mSnapshot; // read and replaced only through std::atomic_load/store
};

} // namespace tarvik
