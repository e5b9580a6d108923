#pragma once

#include "validator/results/validatorresult.h"

#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>

class DBManager;
class RfidCard;
class TicketDb;
namespace tarvik {
class Route;
}

// A validator of one card data layout. Lives on the validation thread; validate() fills the
// verdict, read afterwards with getResult(), and may change the in-memory card (the result then
// asks for a write-back). Emits foundEmployeeCard() during validate() for an employee card.
class RfidValidator : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(RfidValidator)
public:
    using Clock = std::function<QDateTime()>;

    explicit RfidValidator(DBManager &db, QObject *parent = nullptr);
    ~RfidValidator() override;

    // Without the fare rules of a layout, a card is left as it is and the result says 500
    // "Unknown" with the card's template, uid and the tap's time.
    virtual bool validate(RfidCard *card, std::shared_ptr<tarvik::Route> route, TicketDb &db);
    virtual ValidatorResult getResult() const { return mResult; }

    // The time of a tap: this clock's UTC time rounded down to an even second.
    void setClock(Clock clock) { mClock = std::move(clock); }
    QDateTime tapTime() const;

signals:
    void foundEmployeeCard(QString uid, uint employee);

protected:
    DBManager &mDb;
    ValidatorResult mResult;

private:
    Clock mClock;
};
