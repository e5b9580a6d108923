#include "qr/urbanmelvavalidator_v1.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "tarvik/fareproduct.h"
#include "tarvik/route.h"
#include "tarvik/routemanager.h"
#include "tickets/urbanmelva_v1.h"

UrbanMelvaValidator_v1::UrbanMelvaValidator_v1(QObject *parent, DBManager &db, const Configuration *settings)
    : QrRouteValidator(QStringLiteral("[UrbanMelvav1] "), parent, db, settings)
{
}

UrbanMelvaValidator_v1::~UrbanMelvaValidator_v1() = default;

void UrbanMelvaValidator_v1::validate(std::shared_ptr<tarvik::Route> route, std::shared_ptr<QrTicket> ticket)
{
    const std::shared_ptr<UrbanMelva_v1> urban = std::dynamic_pointer_cast<UrbanMelva_v1>(ticket);
    if (!route || !urban) {
        refuseMisuse();
        return;
    }
    const tarvik::Route &r = *route;

    // The route's carrier, not the ticket's: tickets without one get the same key.
    const QString uid = QString::number(r.getCarrierId()) + QLatin1Char('-') + QString::number(urban->userId())
        + QLatin1Char('-') + urban->deviceUuid() + QLatin1Char('-') + QString::number(urban->id());
    begin(r, UrbanMelva_v1::MyTemplate, urban->toJson(), uid);
    mLog.info([&urban] { return QStringLiteral("Barcode ticket scanned: ") + urban->toString(); });
    setStopGroupNames(urban);

    if (urban->isEmpty()) {
        deny(ValidatorResult::Unknown, QStringLiteral("Ticket is empty"));
        return;
    }
    if (!checkCarrier(*urban, r))
        return;
    takeTicketData(*urban, r);
    tarvik::FareProduct product;
    if (!findProduct(*urban, r, QStringLiteral("is not a part of "), product)
        || !checkPassengerType(*urban, product, ValidatorResult::NotAllowedInRoute) || !checkPassBack(*urban, uid)
        || !checkExpiryDate(*urban))
        return;
    if (urban->validityStartDateIsNull()) {
        mLog.info(QStringLiteral("Ticket does not have validity start date "));
    } else {
        const QDateTime start = urban->validityStartDate();
        if (!checkStart(start) || !checkLifeSpan(start, urban->lifeSpan()))
            return;
    }
    if (!checkAxis(*urban, r) || !checkActive(product))
        return;
    mResult.setTransactionType(ValidatorResult::Barcode);
    mResult.setFareProductId(urban->fareProductId());
    if (!checkTicketType(urban->ticketType(), QStringLiteral("PASSENGER"), ValidatorResult::NotAllowedInRoute))
        return;
    accept(uid);
}

// No expiry is the stored 0 itself: its local date is 1969-12-31 west of UTC. The expiry and
// the day of validation are both local dates.
bool UrbanMelvaValidator_v1::checkExpiryDate(const UrbanMelva_v1 &ticket)
{
    if (!ticket.hasExpiryDate())
        return true;
    const QDate date = ticket.expiryDate();
    const auto expiry = [&date] { return date.toString(QStringLiteral("yyyy/MM/dd")); };
    mLog.info([&expiry] { return QStringLiteral("ExpiryDate: ") + expiry(); });
    if (date >= mValidationTime.toLocalTime().date())
        return true;
    mResult.setExpiry(expiry());
    return deny(ValidatorResult::Expired, QStringLiteral("Ticket expired"));
}

void UrbanMelvaValidator_v1::setStopGroupNames(std::shared_ptr<UrbanMelva_v1> ticket)
{
    // Without the back-end link there is no network to name the zones from.
    const tarvik::RouteManager *network = mDb.routeData();
    if (!ticket || !network)
        return;
    const QString language = mConfig.get(QStringLiteral("zub/lcd_language")).toString();
    if (const auto from = network->findStopGroup(ticket->fromStopGroupId()))
        mResult.setFromStopGroupName(from->multiLang(language));
    if (const auto to = network->findStopGroup(ticket->toStopGroupId()))
        mResult.setToStopGroupName(to->multiLang(language));
}
