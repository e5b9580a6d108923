#include "tarvik/route.h"

#include "tarvik/fareproducts.h"
#include "tarvik/jsonread.h"
#include "tarvik/route_p.h"

#include <QDebug>

#include <limits>
#include <stdexcept>

namespace tarvik {

namespace {

const char kTag[] = "[tarvik.route] ";

constexpr int kNoOrdinal = std::numeric_limits<int>::max();

// The departure as whole seconds; 0 when the date is missing, malformed or beyond 32 bits,
// rather than whatever an invalid date-time would convert to.
int departureSeconds(const QDateTime &departure)
{
    if (!departure.isValid())
        return 0;
    const qint64 seconds = departure.toMSecsSinceEpoch() / 1000;
    if (seconds < std::numeric_limits<int>::min() || seconds > std::numeric_limits<int>::max())
        return 0;
    return int(seconds);
}

// The first zone in ascending id holding the stop, or nullptr. Takes the map by const
// reference so that the look-up never detaches shared data.
const StopGroup *zoneOfStop(const QMap<int, StopGroup> &zones, int stopId)
{
    for (const StopGroup &zone : zones) {
        if (zone.containsStopId(stopId))
            return &zone;
    }
    return nullptr;
}

} // namespace

Route::Route(const QJsonObject &json)
    : d(new RouteData)
{
    fromJson(json);
}

Route::~Route() = default;
Route::Route(const Route &other) = default;
Route &Route::operator=(const Route &other) = default;

void Route::fromJson(const QJsonObject &json)
{
    // 1. status: an empty message is an ended route
    if (json.isEmpty()) {
        d->mStatus = 1;
        return;
    }
    const QString status = json::readString(json, QLatin1String("status"));
    if (status == QLatin1String("end")) {
        d->mStatus = 1;
        return;
    }
    if (status != QLatin1String("start"))
        throw std::runtime_error("Unknown route mStatus");
    d->mStatus = 0;

    // 2. the axis and the trip
    const QJsonObject data = json::readObject(json, QLatin1String("data"));
    const QJsonObject axis = json::readObject(data, QLatin1String("axis"));
    d->mAxisId = json::readInt(axis, QLatin1String("routeId"));
    d->mAxisName = json::readString(axis, QLatin1String("name"));
    d->mPublicId = json::toIntFromDigits(axis.value(QLatin1String("publicRouteId")));
    d->mUseAxisProducts = json::readBool(axis, QLatin1String("useAxisProducts"));

    const QJsonObject execution = json::readObject(data, QLatin1String("routeExecution"));
    d->mRouteExecution.departureDate = departureSeconds(json::toLocalDateTimeZ(execution.value(QLatin1String("departureDate"))));
    d->mRouteExecution.tripsExecutionId = json::readInt(execution, QLatin1String("tripsExecutionId"));
    d->mRouteExecution.tripsRouteId = json::readInt(execution, QLatin1String("tripsRouteId"));

    // 3. the zones: objects sharing an id merge into one; the start stop is the first stop
    //    of the first zone object with the lowest ordinal
    int minimum = kNoOrdinal;
    const QJsonArray zones = json::readArray(data, QLatin1String("stopGroups"));
    for (const QJsonValue &value : zones) {
        const StopGroup zone(json::toObject(value)); // throws "No Stop received"
        const std::set<Stop> stops = zone.getStops();
        const std::vector<int> ordinals = zone.getOrdinals();
        if (ordinals.front() < minimum) {
            minimum = ordinals.front();
            d->mCurrentStopId = stops.begin()->getId();
        }
        const auto stored = d->mStopGroups.find(zone.getId());
        if (stored == d->mStopGroups.end()) {
            d->mStopGroups.insert(zone.getId(), zone);
        } else {
            stored->insertStops(stops);
            stored->insertOrdinals(ordinals);
        }
        for (const Stop &stop : stops)
            d->mStops.append(stop);
    }
    if (d->mStopGroups.isEmpty())
        throw std::runtime_error("No StopGroup received");

    for (const StopGroup &zone : qAsConst(d->mStopGroups)) {
        const std::set<Stop> stops = zone.getStops();
        d->mZoneSpans.insert(zone.getId(), qMakePair(stops.begin()->getOrdinal(), stops.rbegin()->getOrdinal()));
    }
}

int Route::getAxisId() const { return d->mAxisId; }
int Route::getPublicId() const { return d->mPublicId; }
QString Route::getAxisName() const { return d->mAxisName; }
Route::RouteExecution Route::getRouteExecution() const { return d->mRouteExecution; }
int Route::getStatus() const { return d->mStatus; }
bool Route::useAxisProducts() const { return d->mUseAxisProducts; }

QString Route::getVehicleId() const { return d->mVehicleId; }
void Route::setVehicleId(const QString &vehicleId) { d->mVehicleId = vehicleId; }
int Route::getCarrierId() const { return d->mCarrierId; }
void Route::setCarrierId(int carrierId) { d->mCarrierId = carrierId; }
int Route::getDeviceId() const { return d->mDeviceId; }
void Route::setDeviceId(int deviceId) { d->mDeviceId = deviceId; }
void Route::setCurrentStopId(int stopId) { d->mCurrentStopId = stopId; }

FareProduct::MultiMap Route::getFareProducts() const { return d->mFareProducts; }
QVector<Stop> Route::getStops() const { return d->mStops; }
QMap<int, QString> Route::getPassengerTypes() const { return d->mPassengerTypes; }

StopGroup Route::getCurrentStopGroup() const
{
    return getStopGroupFromStop(d->mCurrentStopId);
}

Stop Route::getCurrentStop() const
{
    if (const StopGroup *zone = zoneOfStop(d->mStopGroups, d->mCurrentStopId)) {
        for (const Stop &stop : zone->getStops()) {
            if (stop.getId() == d->mCurrentStopId)
                return stop;
        }
    }
    return Stop();
}

StopGroup Route::getStopGroupFromStop(int stopId) const
{
    const StopGroup *zone = zoneOfStop(d->mStopGroups, stopId);
    return zone ? *zone : StopGroup();
}

bool Route::containsStopGroupId(int id) const
{
    return d->mStopGroups.contains(id);
}

bool Route::containsStopId(int id) const
{
    return zoneOfStop(d->mStopGroups, id) != nullptr;
}

Stop Route::getStop(int stopId) const
{
    for (const Stop &stop : d->mStops) {
        if (stop.getId() == stopId)
            return stop;
    }
    return Stop();
}

int Route::getNextStopId(int stopId) const
{
    const Stop *current = nullptr;
    for (const Stop &stop : d->mStops) {
        if (stop.getId() == stopId) {
            current = &stop;
            break;
        }
    }
    // A stop off the route has no successor (not the one after the default stop's ordinal 0).
    if (!current || current->getOrdinal() == kNoOrdinal)
        return -1;
    const int next = current->getOrdinal() + 1;
    for (const Stop &stop : d->mStops) {
        if (stop.getOrdinal() == next)
            return stop.getId();
    }
    return -1;
}

FareProduct Route::findFareProduct(int id) const
{
    const auto found = d->mFareProducts.find(id); // the earliest of equal ids
    return found == d->mFareProducts.end() ? FareProduct() : found->second;
}

QMap<int, FareProduct> Route::validFareProducts() const
{
    QMap<int, FareProduct> active;
    for (const auto &entry : d->mFareProducts) {
        if (entry.second.getActive())
            active.insert(entry.first, entry.second); // the last of equal ids wins
    }
    return active;
}

QString Route::getPassengerTypeName(int id) const
{
    return d->mPassengerTypes.value(id);
}

FareProduct::PassengerType Route::findPassengerType(int id) const
{
    for (const auto &entry : d->mFareProducts) {
        const FareProduct::PassengerType type = entry.second.findPassengerType(id);
        if (type.id > 0)
            return type;
    }
    return FareProduct::PassengerType();
}

FareProduct::PassengerType Route::findPassengerType(const QString &code) const
{
    for (const auto &entry : d->mFareProducts) {
        const FareProduct::PassengerType type = entry.second.findPassengerType(code);
        if (type.id > 0)
            return type;
    }
    return FareProduct::PassengerType();
}

void Route::setFareProducts(const FareProducts &products)
{
    d->mFareProducts = products.getFareProducts();
    // Passenger type names only accumulate: the first description of an id stays.
    for (const auto &entry : d->mFareProducts) {
        const QMap<int, QString> types = entry.second.getPassengerTypes();
        for (auto it = types.cbegin(); it != types.cend(); ++it) {
            if (!d->mPassengerTypes.contains(it.key()))
                d->mPassengerTypes.insert(it.key(), it.value());
        }
    }
}

bool Route::canAcceptRouteProgress(const RouteProgress &progress) const
{
    if (progress.getAxisId() != d->mAxisId) {
        qWarning().noquote().nospace() << kTag << "RouteProgress.routeId(" << progress.getAxisId() << ") "
                                       << "does not refer to current routeId(" << d->mAxisId << ")";
        return false;
    }
    if (!containsStopId(progress.getStopId())) {
        qWarning().noquote().nospace() << kTag << "RouteProgress.stopId(" << progress.getStopId() << ") "
                                       << "is not part of current Route";
        return false;
    }
    return true;
}

bool Route::acceptRouteProgress(const RouteProgress &progress)
{
    if (!canAcceptRouteProgress(progress))
        return false;

    RouteData *data = d.data(); // detaches once if another copy shares the data
    // Leaving a stop keeps it current until the next one is approached.
    if (progress.getEventType() != RouteProgress::Leaving)
        data->mCurrentStopId = progress.getStopId();

    qInfo().noquote().nospace() << kTag << "Start checking FareProduct validity...";
    const StopGroup *zone = zoneOfStop(qAsConst(data->mStopGroups), data->mCurrentStopId);
    for (auto &entry : data->mFareProducts)
        entry.second.setActive(decideActive(entry.second, zone));
    qInfo().noquote().nospace() << kTag << "Done checking FareProduct validity!";
    return true;
}

// The first rule that applies decides. zone is the current zone, nullptr when the current
// stop lies in no zone: then no zone-bound product can be active.
bool Route::decideActive(const FareProduct &product, const StopGroup *zone) const
{
    // 1. axis products exclude every other rule
    if (d->mUseAxisProducts)
        return product.isAxisFare() && product.getAxisId() == d->mAxisId;
    if (!zone)
        return false;
    const int current = zone->getId();
    // 2. city zone: listed zones only
    if (product.isCityZoneFare())
        return product.getValidStopGroupIds().contains(current);
    // 3. same zone, tried before the "anywhere" flags
    if (product.getFromStopGroupId() == product.getToStopGroupId())
        return current == product.getFromStopGroupId();
    // 4. window: the current zone overlaps the stretch from the from-zone's first stop to the
    //    to-zone's last stop; a zone the route lacks sets no limit on its side
    const QPair<int, int> here = d->mZoneSpans.value(current);
    bool fromSide = product.getFromAnywhere();
    if (!fromSide) {
        const auto from = d->mZoneSpans.constFind(product.getFromStopGroupId());
        fromSide = from == d->mZoneSpans.cend() || from->first <= here.second;
    }
    bool toSide = product.getToAnywhere();
    if (!toSide) {
        const auto to = d->mZoneSpans.constFind(product.getToStopGroupId());
        toSide = to == d->mZoneSpans.cend() || to->second >= here.first;
    }
    return fromSide && toSide;
}

RouteProgress Route::getFirstRouteProgress() const
{
    int minimum = kNoOrdinal;
    int chosen = 0;
    for (const StopGroup &zone : d->mStopGroups) {
        for (const int ordinal : zone.getOrdinals()) {
            if (ordinal < minimum) {
                minimum = ordinal;
                chosen = zone.getId();
            }
        }
    }
    int stopId = 0;
    const auto zone = d->mStopGroups.constFind(chosen);
    if (zone != d->mStopGroups.cend()) {
        const std::set<Stop> stops = zone->getStops();
        if (!stops.empty() && stops.begin()->getOrdinal() < kNoOrdinal)
            stopId = stops.begin()->getId();
    }
    return RouteProgress(d->mAxisId, stopId);
}

QJsonObject Route::toJson() const
{
    const StopGroup zone = getCurrentStopGroup();
    const Stop stop = getCurrentStop();
    return QJsonObject{
        {QStringLiteral("axisId"), d->mAxisId},
        {QStringLiteral("zoneId"), zone.getId()},
        {QStringLiteral("stopId"), stop.getId()},
        {QStringLiteral("axisName"), d->mAxisName},
        {QStringLiteral("zoneName"), zone.getName()},
        {QStringLiteral("stopName"), stop.getName()},
        {QStringLiteral("executionId"), d->mRouteExecution.tripsExecutionId},
        {QStringLiteral("departure"), d->mRouteExecution.departureDate},
    };
}

QStringList Route::toString() const
{
    return {
        QStringLiteral("=== ROUTE ==================================="),
        QStringLiteral(" Axis ID     : %1").arg(d->mAxisId),
        QStringLiteral(" Public ID   : %1").arg(d->mPublicId),
        QStringLiteral(" Axis Name   : %1").arg(d->mAxisName),
        QStringLiteral(" # of FPs    : %1").arg(qulonglong(d->mFareProducts.size())),
        QStringLiteral(" # of Zones  : %1").arg(d->mStopGroups.size()),
        QStringLiteral(" # of Stops  : %1").arg(d->mStops.size()),
        QStringLiteral(" Carrier ID  : %1").arg(d->mCarrierId),
        QStringLiteral(" Vehicle ID  : %1").arg(d->mVehicleId),
        QStringLiteral(" Device  ID  : %1").arg(d->mDeviceId),
        QStringLiteral(" Use Axis FP : %1").arg(d->mUseAxisProducts ? QStringLiteral("YES") : QStringLiteral("NO")),
        QStringLiteral("============================================="),
    };
}

void Route::log() const
{
    qInfo().noquote().nospace() << kTag << "Route '" << d->mAxisName << "'(mAxisId=" << d->mAxisId << ")";
    for (const StopGroup &zone : d->mStopGroups)
        zone.log();
    for (const auto &entry : d->mFareProducts)
        entry.second.log();
}

} // namespace tarvik
