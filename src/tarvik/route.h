#pragma once

#include "tarvik/fareproduct.h"
#include "tarvik/routeprogress.h"
#include "tarvik/stop.h"
#include "tarvik/stopgroup.h"

#include <QJsonObject>
#include <QMap>
#include <QMetaType>
#include <QSharedDataPointer>
#include <QStringList>
#include <QVector>

#include <memory>

namespace tarvik {

class FareProducts;
class RouteData;

// The vehicle's current route as the OBU announces it: axis, trip, fare zones with their stops,
// the current stop and the fare products with their active flags. A value: copies share their
// data until one of them changes (copy-on-write), so every owner moves its own copy.
// Parsing throws std::runtime_error("Unknown route mStatus" / "No StopGroup received" /
// "No Stop received").
class Route
{
public:
    struct RouteExecution
    {
        int departureDate = 0; // seconds since the epoch
        int tripsExecutionId = 0;
        int tripsRouteId = 0;
    };

    explicit Route(const QJsonObject &json);
    virtual ~Route();
    Route(const Route &other);
    Route &operator=(const Route &other);

    int getAxisId() const;
    int getPublicId() const;
    QString getAxisName() const;
    RouteExecution getRouteExecution() const;
    int getStatus() const; // 0 started, 1 ended
    bool useAxisProducts() const;

    QString getVehicleId() const;
    void setVehicleId(const QString &vehicleId);
    int getCarrierId() const;
    void setCarrierId(int carrierId);
    int getDeviceId() const;
    void setDeviceId(int deviceId);
    void setCurrentStopId(int stopId);

    FareProduct::MultiMap getFareProducts() const;
    QVector<Stop> getStops() const;
    QMap<int, QString> getPassengerTypes() const;

    StopGroup getCurrentStopGroup() const;
    Stop getCurrentStop() const;
    StopGroup getStopGroupFromStop(int stopId) const;
    bool containsStopGroupId(int id) const;
    bool containsStopId(int id) const;
    Stop getStop(int stopId) const;
    int getNextStopId(int stopId) const;

    FareProduct findFareProduct(int id) const;
    QMap<int, FareProduct> validFareProducts() const;
    QString getPassengerTypeName(int id) const;
    FareProduct::PassengerType findPassengerType(int id) const;
    FareProduct::PassengerType findPassengerType(const QString &code) const;

    void setFareProducts(const FareProducts &products);

    bool canAcceptRouteProgress(const RouteProgress &progress) const;
    bool acceptRouteProgress(const RouteProgress &progress);
    RouteProgress getFirstRouteProgress() const;

    QJsonObject toJson() const;
    QStringList toString() const;
    void log() const;

private:
    void fromJson(const QJsonObject &json);
    bool decideActive(const FareProduct &product, const StopGroup *zone) const;

    QSharedDataPointer<RouteData> d;
};

} // namespace tarvik

Q_DECLARE_METATYPE(std::shared_ptr<tarvik::Route>)
