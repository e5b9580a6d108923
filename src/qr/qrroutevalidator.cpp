#include "qr/qrroutevalidator.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "tarvik/route.h"
#include "tickets/qrfieldticket.h"
#include "validator/results/validatordefaults.h"

namespace {

// "validator/qr_passback" has its default in builds without the validation service too.
[[maybe_unused]] const bool DefaultsRegistered = registerValidatorDefaults();

QString number(qint64 value)
{
    return QString::number(value);
}

QString product(int id)
{
    return QStringLiteral("FareProduct(") + number(id) + QLatin1Char(')');
}

} // namespace

QrRouteValidator::QrRouteValidator(const QString &tag, QObject *parent, DBManager &db,
                                   const Configuration *settings)
    : QrValidator(parent)
    , mOwnConfig(settings ? nullptr : std::make_unique<Configuration>())
    , mConfig(settings ? *settings : *mOwnConfig)
    , mDb(db)
    , mLog(tag)
{
}

QrRouteValidator::~QrRouteValidator() = default;

ValidatorResult QrRouteValidator::getResult() const
{
    return mResult;
}

void QrRouteValidator::begin(const tarvik::Route &route, const QString &templateName,
                             const QJsonObject &ticketData, const QString &uid)
{
    mValidationTime = now();
    mResult.reset();
    mResult.setResult(false);
    mResult.setDenyReason(ValidatorResult::Unknown);
    mResult.setTimeStamp(mValidationTime);
    mResult.setTemplate(templateName);
    mResult.setTicketData(ticketData);
    mResult.setTicketUID(uid);

    const tarvik::Route::RouteExecution execution = route.getRouteExecution();
    const tarvik::Stop stop = route.getCurrentStop();
    ValidatorResult::RouteInfo info;
    info.axisId = route.getAxisId();
    info.routeExecutionId = execution.tripsExecutionId;
    info.routeId = execution.tripsRouteId;
    info.stopId = stop.getId();
    info.stopUuid = stop.getPublicId();
    info.stopGroupId = route.getCurrentStopGroup().getId();
    mResult.setRouteInfo(info);
}

bool QrRouteValidator::deny(ValidatorResult::DenyReason reason)
{
    mResult.setDenyReason(reason);
    emit validated();
    return false;
}

void QrRouteValidator::refuseMisuse()
{
    mValidationTime = now();
    mResult.reset();
    mResult.setResult(false);
    mResult.setTimeStamp(mValidationTime);
    deny(ValidatorResult::Unknown, QStringLiteral("WARN: No route or a ticket of another format: refused"));
}

bool QrRouteValidator::checkCarrier(const QrFieldTicket &ticket, const tarvik::Route &route)
{
    // -1: the ticket names no carrier.
    if (ticket.carrierId() == -1 || ticket.carrierId() == route.getCarrierId())
        return true;
    return deny(ValidatorResult::InvalidFormat, [&] {
        return product(ticket.fareProductId()) + QStringLiteral(" has carrierId = ") + number(ticket.carrierId())
            + QStringLiteral(" which does not agree with Route (axisId = ") + number(route.getAxisId())
            + QStringLiteral(") carrierId = ") + number(route.getCarrierId());
    });
}

void QrRouteValidator::takeTicketData(const QrFieldTicket &ticket, const tarvik::Route &route)
{
    const QMap<int, QString> types = route.getPassengerTypes();
    const auto type = types.constFind(ticket.passengerTypeId());
    if (type != types.cend())
        mResult.setPassengerType(qMakePair(type.key(), type.value()));
    mResult.setIssueTimestamp(ticket.issueDateTime());
}

bool QrRouteValidator::findProduct(const QrFieldTicket &ticket, const tarvik::Route &route,
                                   const QString &notOnRoute, tarvik::FareProduct &found)
{
    const int id = ticket.fareProductId();
    const tarvik::FareProduct::MultiMap products = route.getFareProducts();
    const auto it = products.lower_bound(id); // the earliest of equal ids
    if (it == products.end() || it->first != id)
        return deny(ValidatorResult::NotAllowedInRoute, [&] {
            return product(id) + QLatin1Char(' ') + notOnRoute + QStringLiteral("Route with axisId = ")
                + number(route.getAxisId());
        });
    found = it->second;
    mLog.info([id] { return product(id) + QStringLiteral("  was found in the available list"); });
    return true;
}

bool QrRouteValidator::checkPassengerType(const QrFieldTicket &ticket, const tarvik::FareProduct &found,
                                          ValidatorResult::DenyReason reason)
{
    const auto type = [&ticket] {
        return QStringLiteral("PassengerType(") + number(ticket.passengerTypeId()) + QLatin1Char(')');
    };
    if (!found.getPassengerTypes().contains(ticket.passengerTypeId()))
        return deny(reason, [&] { return product(found.getId()) + QStringLiteral(" does not contain ") + type(); });
    mLog.info([&] { return type() + QStringLiteral(" was found in the ") + product(found.getId()); });
    return true;
}

bool QrRouteValidator::checkPassBack(const QrFieldTicket &ticket, const QString &uid)
{
    if (!mConfig.get(QStringLiteral("validator/qr_passback")).toBool())
        return true;
    // The gateway gives null for an empty answer already; an empty ticket is no record either.
    const std::shared_ptr<QrTicket> known = mDb.findQRTicket(uid);
    if (!known || known->isEmpty()) {
        mLog.info([&uid] { return QStringLiteral("DBManager did not return a ticket with id=") + uid; });
        return true;
    }
    mLog.warning([&ticket] {
        return QStringLiteral("Ticket(") + number(ticket.id()) + QStringLiteral(") already validated");
    });
    mLog.critical(ticket.toString());
    return deny(ValidatorResult::AlreadyValidated);
}

bool QrRouteValidator::checkStart(const QDateTime &start)
{
    if (mValidationTime < start)
        return deny(ValidatorResult::NotYetActive, [&start] {
            return QStringLiteral("Ticket not valid yet. Valid start date ") + start.toString(Qt::ISODate);
        });
    mLog.info([&start] { return QStringLiteral("Ticket validity start date ") + start.toString(Qt::ISODate); });
    return true;
}

bool QrRouteValidator::checkLifeSpan(const QDateTime &start, int lifeSpan)
{
    if (lifeSpan == -1) {
        mLog.info(QStringLiteral("Ticket does not have lifespan value"));
        return true;
    }
    const QDateTime until = start.addSecs(lifeSpan);
    if (until < mValidationTime) {
        mResult.setExpiry(until.toString(QStringLiteral("yyyy/MM/dd")));
        return deny(ValidatorResult::Expired, [&] {
            return QStringLiteral("Ticket expired. Valid since") + start.toString(Qt::ISODate)
                + QStringLiteral(" with life span ") + number(lifeSpan) + QStringLiteral("s until ")
                + until.toString(Qt::ISODate);
        });
    }
    mLog.info([&until] { return QStringLiteral("Ticket lifespan until ") + until.toString(Qt::ISODate); });
    return true;
}

bool QrRouteValidator::checkAxis(const QrFieldTicket &ticket, const tarvik::Route &route)
{
    const auto routeText = [&route] { return QStringLiteral("Route(") + number(route.getAxisId()) + QLatin1Char(')'); };
    // Axis 0: the ticket is good on every axis.
    if (ticket.axisId() == 0 || ticket.axisId() == route.getAxisId()) {
        mLog.info([&] { return QStringLiteral("Ticket is valid for ") + routeText(); });
        return true;
    }
    return deny(ValidatorResult::NotAllowedInRoute, [&] {
        return QStringLiteral("Ticket invalid on ") + routeText() + QStringLiteral(". It is issued for Route(")
            + number(ticket.axisId()) + QLatin1Char(')');
    });
}

bool QrRouteValidator::checkActive(const tarvik::FareProduct &found)
{
    if (!found.getActive())
        return deny(ValidatorResult::NotAllowedInRoute,
                    [&found] { return product(found.getId()) + QStringLiteral(" is not enabled."); });
    mLog.info([&found] { return product(found.getId()) + QStringLiteral(" is enabled."); });
    return true;
}

bool QrRouteValidator::checkTicketType(const QString &type, const QString &accepted,
                                       ValidatorResult::DenyReason reason)
{
    if (type == accepted)
        return true;
    return deny(reason, [&type] { return QStringLiteral("TicketType(") + type + QStringLiteral(") is not allowed"); });
}

void QrRouteValidator::accept(const QString &uid)
{
    mLog.info([&uid] { return QStringLiteral("Storing ticket with id '") + uid + QLatin1Char('\''); });
    mResult.setResult(true);
    mResult.setDenyReason(ValidatorResult::Valid);
    emit validated();
}
