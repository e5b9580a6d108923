#include "inspection/rfidinspector.h"

#include "db/dbmanager.h"
#include "db/device.h"
#include "framework/logtag.h"
#include "rfid/cardproductstatus.h"
#include "tarvik/axis.h"
#include "tarvik/faremanager.h"
#include "tarvik/fareproduct2.h"
#include "tarvik/routemanager.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"
#include "validator/results/validatorlogic.h"

#include <QMap>

#include <algorithm>
#include <climits>

namespace {

// Catalogue names of inspection results are Greek.
const QString kLanguage = QStringLiteral("el");

} // namespace

RfidInspector::RfidInspector(DBManager &db)
    : QObject(nullptr)
    , mDb(db)
    , mClock(&QDateTime::currentDateTimeUtc)
{
}

RfidInspector::~RfidInspector() = default;

QDateTime RfidInspector::standardiseTime(const QDateTime &time)
{
    // Integer division truncates toward zero, also before the epoch.
    const qint64 seconds = time.toMSecsSinceEpoch() / 1000;
    return seconds % 2 != 0 ? time.addSecs(-1) : time;
}

void RfidInspector::setClock(Clock clock)
{
    mClock = clock ? std::move(clock) : Clock(&QDateTime::currentDateTimeUtc);
}

QDateTime RfidInspector::currentTime() const
{
    return mClock().toUTC();
}

InspectorResult RfidInspector::freshResult()
{
    InspectorResult result;
    result.reset();
    return result;
}

RfidInspector::Ride RfidInspector::lookUpRide(const manager::LogTag &log, std::optional<int> fareProductId,
                                              int routeId, int routeExecutionId, int boardingStopId) const
{
    Ride ride;
    ride.route.routeId = routeId;
    ride.route.routeExecutionId = routeExecutionId;
    ride.route.boardingStopId = boardingStopId;
    if (const tarvik::FareManager *fares = mDb.fareData(); fares && fareProductId) {
        if (const auto product = fares->findFareProduct(*fareProductId))
            ride.fareProductName = product->multiLang(kLanguage);
    }
    if (const tarvik::RouteManager *routes = mDb.routeData()) {
        if (const auto axis = routes->findAxis(routeId))
            ride.route.axisName = axis->multiLang(kLanguage);
        if (const auto stop = routes->findStop(boardingStopId)) {
            ride.route.stopName = stop->multiLang(kLanguage);
            if (const auto zone = stop->stopGroup())
                ride.route.zoneName = zone->multiLang(kLanguage);
        }
    }
    log.info(QStringLiteral("--- Retrieved From Tarvik ---------------------------------------"));
    log.info(QStringLiteral(" FP name   : ") + ride.fareProductName);
    log.info(QStringLiteral(" Axis name : ") + ride.route.axisName);
    log.info(QStringLiteral(" Zone name : ") + ride.route.zoneName);
    log.info(QStringLiteral(" Stop name : ") + ride.route.stopName);
    log.info(QString(66, QLatin1Char('-')));
    return ride;
}

std::optional<int> RfidInspector::deviceCarrierId(const manager::LogTag &log, int cardCarrierId) const
{
    if (const Device::Ptr device = mDb.device())
        return device->carrierId();
    log.warning(QStringLiteral("WARN: No device record from the database service yet: carrier id ")
                + QString::number(cardCarrierId) + QStringLiteral(" cannot be matched"));
    return std::nullopt;
}

bool RfidInspector::checkCardRules(RfidCard *card, int issuerId, int status, InspectorResult::DenyReason &reason)
{
    if (!ValidatorLogic::checkCardIsIssued(card)) {
        reason = InspectorResult::CardInvalid;
        return false;
    }
    if (ValidatorLogic::checkCardBlocked(card)) {
        reason = mapCardStatusToDenyReason(status);
        return false;
    }
    if (!ValidatorLogic::checkCardIssuer(issuerId) || !ValidatorLogic::checkCardVersion(card)) {
        reason = InspectorResult::CardInvalid;
        return false;
    }
    reason = InspectorResult::Valid;
    return true;
}

InspectorResult::DenyReason RfidInspector::mapCardStatusToDenyReason(int status)
{
    static const QMap<int, InspectorResult::DenyReason> reasons{
        {0, InspectorResult::Valid},
        {1, InspectorResult::CardInvalid},
        {2, InspectorResult::CardBlockedStolen},
        {3, InspectorResult::CardBlockedLost},
        {4, InspectorResult::CardBlockedRefunded},
        {5, InspectorResult::CardBlockedOverlimit},
        {6, InspectorResult::Valid},
        {7, InspectorResult::Valid},
        {8, InspectorResult::Valid},
        {9, InspectorResult::CardBlockedMisuse},
        {13, InspectorResult::CardBlockedDamaged},
    };
    return reasons.value(status, InspectorResult::CardInvalid);
}

QDateTime RfidInspector::periodPassExpiry(bool pending, const QDateTime &activation, qint64 days, bool hourly)
{
    if (pending)
        return QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
    const QDateTime end = activation.toUTC().addDays(days);
    if (hourly)
        return end;
    return QDateTime(end.date(), QTime(0, 0), Qt::UTC);
}

int RfidInspector::calendarDaysLeft(unsigned int status, qint64 days, const QDateTime &now, const QDateTime &expiry)
{
    if (status == CardProductStatus::Pending)
        return clampToInt(days);
    if (status != CardProductStatus::Active)
        return 0;
    // Both in UTC, so that the dates are UTC dates whatever the local zone.
    return clampToInt(now.toUTC().date().daysTo(expiry.toUTC().date()));
}

int RfidInspector::clampToInt(qint64 value)
{
    return int(std::clamp<qint64>(value, 0, INT_MAX));
}
