#include "qr/dynamicvalidator.h"

#include "db/dbmanager.h"
#include "tarvik/faremanager.h"
#include "tarvik/fareproduct.h"
#include "tarvik/route.h"
#include "tickets/dynamicqr.h"

DynamicValidator::DynamicValidator(QObject *parent, DBManager &db, const Configuration *settings)
    : QrRouteValidator(QStringLiteral("[DynamicQr] "), parent, db, settings)
{
}

DynamicValidator::~DynamicValidator() = default;

void DynamicValidator::validate(std::shared_ptr<tarvik::Route> route, std::shared_ptr<QrTicket> ticket)
{
    const std::shared_ptr<DynamicQr> dynamic = std::dynamic_pointer_cast<DynamicQr>(ticket);
    if (!route || !dynamic) {
        refuseMisuse();
        return;
    }
    const tarvik::Route &r = *route;

    const QString uid = dynamic->uid();
    begin(r, DynamicQr::MyTemplate, dynamic->toJson(), uid);
    // Set before any check, so that a denied result carries them too.
    mResult.setTransactionType(ValidatorResult::Barcode);
    mResult.setFareProductId(dynamic->fareProductId());
    mResult.setFareProductName(fareProductName(route, dynamic->fareProductId()));
    mResult.setTransferDuration(remainingMinutes(*dynamic));
    mLog.info([&dynamic] { return QStringLiteral("Dynamic Qr ticket scanned: ") + dynamic->toString(); });

    if (dynamic->isEmpty()) {
        deny(ValidatorResult::InvalidFormat, QStringLiteral("Ticket is empty"));
        return;
    }
    if (!checkCarrier(*dynamic, r))
        return;
    takeTicketData(*dynamic, r);
    tarvik::FareProduct product;
    if (!findProduct(*dynamic, r, QStringLiteral("is not a part of this route."), product)
        || !checkPassengerType(*dynamic, product, ValidatorResult::InvalidPassengerType)
        || !checkPassBack(*dynamic, uid))
        return;
    if (dynamic->validityStartDateIsNull()) {
        mLog.info(QStringLiteral("Ticket does not have validity start date "));
    } else {
        const QDateTime start = dynamic->validityStartDate();
        if (!checkStart(start) || !checkTicks(*dynamic, start) || !checkLifeSpan(start, dynamic->lifeSpan()))
            return;
    }
    if (!checkAxis(*dynamic, r) || !checkActive(product)
        || !checkTicketType(dynamic->ticketType(), QStringLiteral("DYNAMIC"), ValidatorResult::InvalidFormat))
        return;
    accept(uid);
}

// The code names the tick it was drawn in; one tick either way passes. Counted in 64 bits and
// signed, so that a count behind the clock stays negative and a large one is not cut short.
bool DynamicValidator::checkTicks(const DynamicQr &ticket, const QDateTime &start)
{
    // After the pass-back wait: the ticks count up to now, not to the validation time.
    const qint64 elapsed = start.secsTo(now());
    mLog.info([elapsed] {
        return QStringLiteral("Ticket was scanned ") + QString::number(elapsed)
            + QStringLiteral(" sec(s) after the validity start date.");
    });
    const qint64 interval = ticket.tickInterval();
    if (interval == 0)
        return deny(ValidatorResult::InvalidTickCount,
                    QStringLiteral("WARN: Tick interval is 0: the tick count cannot be checked"));
    const qint64 ticks = elapsed / interval;
    const qint64 difference = ticks - ticket.tickCount();
    mLog.info([difference] {
        return QStringLiteral("Ticket tickCount difference is : ") + QString::number(difference);
    });
    if (difference >= -1 && difference <= 1)
        return true;
    return deny(ValidatorResult::InvalidTickCount, [&] {
        return QStringLiteral("Tick Count calculated : ") + QString::number(ticks)
            + QStringLiteral(" , does not match Qr tick count : ") + QString::number(ticket.tickCount());
    });
}

// Whole minutes left until the end of the life span, as of the validation time; 0 without a
// validity start or a life span, and never below 0.
int DynamicValidator::remainingMinutes(const DynamicQr &ticket) const
{
    const int lifeSpan = ticket.lifeSpan();
    if (ticket.validityStartDateIsNull() || lifeSpan < 1)
        return 0;
    const qint64 endMs = ticket.validityStartDate().toMSecsSinceEpoch() + qint64(lifeSpan) * 1000;
    const qint64 leftMs = endMs - mValidationTime.toMSecsSinceEpoch();
    return leftMs <= 0 ? 0 : int(leftMs / 1000 / 60);
}

QString DynamicValidator::fareProductName(std::shared_ptr<tarvik::Route> route, int id) const
{
    if (route) {
        const tarvik::FareProduct onRoute = route->findFareProduct(id);
        if (onRoute.getId() != 0)
            return onRoute.getName();
    }
    // The synced catalogue exists only once the back-end link is up.
    if (const tarvik::FareManager *catalogue = mDb.fareData()) {
        if (const auto synced = catalogue->findFareProduct(id))
            return synced->name();
    }
    return QString();
}
