#pragma once

#include "inspection/inspectorresult.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class DBManager;
class RfidCard;

namespace manager {
class LogTag;
}

// What every card layout's inspector offers the inspection service: inspect one card
// model, then hand out a copy of the record of that inspection. Inspectors look fare and
// route data up through the data gateway they are given and read "now" through a clock
// (current UTC by default). Created without a parent and used on the service's thread.
class RfidInspector : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit RfidInspector(DBManager &db);
    ~RfidInspector() override;
    Q_DISABLE_COPY(RfidInspector)

    // Resets the record and fills it from the card; the returned flag only tells whether the
    // inspection went through: the verdict is the record's.
    virtual bool inspectCard(RfidCard *card) = 0;
    virtual InspectorResult getResult() const = 0;

    // Made even to the second: an odd whole second (counted toward zero from the epoch) is
    // moved back by one; milliseconds and zone stay.
    static QDateTime standardiseTime(const QDateTime &time);

    void setClock(Clock clock);

signals:
    void foundEmployeeCard(QString Uid, unsigned int employeeId);

protected:
    DBManager &db() const { return mDb; }
    // The clock's time in UTC.
    QDateTime currentTime() const;
    // A newly constructed record, reset: nothing of an earlier card can remain in it.
    static InspectorResult freshResult();

    // Helpers of the layouts' inspectors.
    // Where a card's last ride took place, the route's axis being its route id, with Greek names
    // from the route catalogue, and the name of its fare product from the fare catalogue (none
    // without a product id), logged as one block. A missing catalogue or record (no back-end
    // link yet) gives an empty name.
    struct Ride
    {
        InspectorResult::RouteInfo route;
        QString fareProductName;
    };
    Ride lookUpRide(const manager::LogTag &log, std::optional<int> fareProductId, int routeId, int routeExecutionId,
                    int boardingStopId) const;
    // The carrier of this device's record; none, with a warning naming the card's carrier,
    // until the database service has reported the record.
    std::optional<int> deviceCarrierId(const manager::LogTag &log, int cardCarrierId) const;
    // Issued, not blocked, issuer, layout version, in this order (the card rules of the layouts
    // without their own): false with the deny reason of the first that fails in reason. A
    // status that denies nothing (monitored, auto-reload disabled, unblocked) still fails, with Valid.
    static bool checkCardRules(RfidCard *card, int issuerId, int status, InspectorResult::DenyReason &reason);
    // The card statuses that deny nothing (monitored, auto-reload disabled, unblocked) map to Valid.
    static InspectorResult::DenyReason mapCardStatusToDenyReason(int status);
    // A period pass's end: activation plus its days, exactly when hourly, else at 00:00 UTC of
    // that date; the unset time 1990-01-01 00:00 UTC for a pending pass.
    static QDateTime periodPassExpiry(bool pending, const QDateTime &activation, qint64 days, bool hourly);
    // Calendar days left on a period pass: a pending pass's whole validity, an active pass's
    // days from now's date to its expiry's date (never below 0), none for any other status.
    static int calendarDaysLeft(unsigned int status, qint64 days, const QDateTime &now, const QDateTime &expiry);
    // Card numbers may be as large as INT_MAX days or journeys: sums are made in 64 bits.
    static int clampToInt(qint64 value);

private:
    DBManager &mDb;
    Clock mClock;
};
