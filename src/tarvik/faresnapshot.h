#pragma once

#include "tarvik/basefare.h"
#include "tarvik/cappingrule.h"
#include "tarvik/cappingrulestopgroup.h"
#include "tarvik/fareproduct2.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpassengertype.h"
#include "tarvik/fareproductpaymentchannel.h"
#include "tarvik/fareproductpaymentmethod.h"
#include "tarvik/fareproductticketmaterial.h"
#include "tarvik/passengertype.h"
#include "tarvik/paymentchannel.h"
#include "tarvik/paymentmethod.h"
#include "tarvik/routesnapshot.h"
#include "tarvik/ticketmaterial.h"

#include <QHash>

#include <memory>

namespace tarvik {

// One consistent state of the fare catalogue, linked against one route snapshot (which it
// keeps alive) and then published by the fare manager. Once published nothing in it changes
// again, so any thread may query it without a lock for a whole tap.
class FareSnapshot
{
public:
    using ConstPtr = std::shared_ptr<const FareSnapshot>;

    struct Tables
    {
        BaseFare::Map baseFares;
        CappingRule::Map cappingRules;
        TicketMaterial::Map ticketMaterials;
        PassengerType::Map passengerTypes;
        PaymentMethod::Map paymentMethods;
        PaymentChannel::Map paymentChannels;
        FareProduct2::Map fareProducts;
        CappingRuleStopGroup::MultiMap cappingRuleStopGroups; // by rule id
        // The join rows, each by fare product id.
        FareProductBaseFare::MultiMap fareProductBaseFares;
        FareProductPassengerType::MultiMap fareProductPassengerTypes;
        FareProductTicketMaterial::MultiMap fareProductTicketMaterials;
        FareProductPaymentMethod::MultiMap fareProductPaymentMethods;
        FareProductPaymentChannel::MultiMap fareProductPaymentChannels;
    };

    FareSnapshot();
    // Builds the look-up indexes from the tables; links are the manager's to set before it
    // publishes the snapshot.
    FareSnapshot(Tables tables, RouteSnapshot::ConstPtr route);

    const Tables &tables() const { return mTables; }
    const RouteSnapshot::ConstPtr &route() const { return mRoute; }

    FareProduct2::Ptr findFareProduct(int id) const;
    // The lowest id with exactly that code.
    FareProduct2::Ptr findFareProduct(const QString &code) const;
    BaseFare::Ptr findBaseFare(int id) const;
    TicketMaterial::Ptr findTicketMaterial(int id) const;
    PassengerType::Ptr findPassengerType(int id) const;
    PassengerType::Ptr findPassengerType(const QString &code) const;
    PaymentMethod::Ptr findPaymentMethod(int id) const;
    PaymentChannel::Ptr findPaymentChannel(int id) const;

    // The records that a product's join rows name; rows naming unknown records are skipped.
    BaseFare::List findBaseFares(int fareProductId) const;
    PassengerType::List findPassengerTypes(int fareProductId) const;
    TicketMaterial::List findTicketMaterials(int fareProductId) const;
    PaymentMethod::List findPaymentMethods(int fareProductId) const;
    PaymentChannel::List findPaymentChannels(int fareProductId) const;

    QList<int> findCappingRuleStopGroupIds(int ruleId) const;
    // Active rules of that zone, ascending by threshold; "" or "*" matches any product type.
    CappingRule::List findCappingRules(int stopGroupId, const QString &productType) const;
    // The e-purse product of the shortest validity for the axis, zone and passenger type.
    FareProduct2::Ptr findEpurseProduct(int axisId, int zoneId, int passengerTypeId) const;
    FareProduct2::List findFareProducts(const QString &ticketMaterialCode, const QString &paymentChannelCode) const;
    // The paper tickets a driver sells on the axis, between any of its zones, each once.
    FareProduct2::List findFareProducts(int axisId) const;
    FareProduct2::List findFareProductsFrom(int axisId, int fromStopGroupId, int toStopGroupId) const;

private:
    Tables mTables;
    RouteSnapshot::ConstPtr mRoute;
    // Indexes over the tables, so that the queries of a tap need not walk the catalogue.
    QHash<QString, FareProduct2::Ptr> mProductsByCode;        // lowest id per code
    QHash<QString, PassengerType::Ptr> mPassengerTypesByCode; // lowest id per code
    // By passenger type, ascending id: the products in minutes sold through the e-purse.
    QHash<int, FareProduct2::List> mEpurseProducts;
    // By stop group, ascending id: the rules with a row naming a stop group the route knows.
    QHash<int, CappingRule::List> mCappingRulesByZone;
};

} // namespace tarvik
