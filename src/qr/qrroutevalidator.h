#pragma once

#include "framework/logtag.h"
#include "qr/qrvalidator.h"

#include <memory>

class Configuration;
class DBManager;
class QJsonObject;
class QrFieldTicket;

namespace tarvik {
class FareProduct;
}

// The state of one QR validation and the checks both ticket formats make against the current
// route, logged under the format's tag. A check that refuses denies: it logs, sets the deny
// reason, emits validated and returns false, so the result is final; true means go on.
// Lives on the validation thread.
class QrRouteValidator : public QrValidator
{
    Q_OBJECT
public:
    ~QrRouteValidator() override;

    ValidatorResult getResult() const override;

protected:
    // Reads its settings through `settings`, the scan's service's, which must outlive it; with
    // none, through a configuration of its own.
    QrRouteValidator(const QString &tag, QObject *parent, DBManager &db, const Configuration *settings);

    // Takes the validation time and refills the result from reset: denied as unknown, holding
    // the ticket and the route's position.
    void begin(const tarvik::Route &route, const QString &templateName, const QJsonObject &ticketData,
               const QString &uid);
    bool deny(ValidatorResult::DenyReason reason);
    // The same after the warning: a text, or a callable that builds it (LogTag).
    template <typename Warning>
    bool deny(ValidatorResult::DenyReason reason, Warning warning)
    {
        mLog.warning(warning);
        return deny(reason);
    }
    // A null route or a ticket of another format: the callers never pass one, but a slip must
    // not take the validation thread down.
    void refuseMisuse();

    bool checkCarrier(const QrFieldTicket &ticket, const tarvik::Route &route);
    // The route's name of the passenger type, when it has one, and the issue time.
    void takeTicketData(const QrFieldTicket &ticket, const tarvik::Route &route);
    bool findProduct(const QrFieldTicket &ticket, const tarvik::Route &route, const QString &notOnRoute,
                     tarvik::FareProduct &product);
    bool checkPassengerType(const QrFieldTicket &ticket, const tarvik::FareProduct &product,
                            ValidatorResult::DenyReason reason);
    bool checkPassBack(const QrFieldTicket &ticket, const QString &uid);
    bool checkStart(const QDateTime &start);
    bool checkLifeSpan(const QDateTime &start, int lifeSpan);
    bool checkAxis(const QrFieldTicket &ticket, const tarvik::Route &route);
    bool checkActive(const tarvik::FareProduct &product);
    bool checkTicketType(const QString &type, const QString &accepted, ValidatorResult::DenyReason reason);
    void accept(const QString &uid);

    std::unique_ptr<Configuration> mOwnConfig; // only when no settings were given
    const Configuration &mConfig;
    ValidatorResult mResult;
    QDateTime mValidationTime;
    DBManager &mDb;
    const manager::LogTag mLog;
};
