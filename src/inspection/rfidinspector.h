#pragma once

#include "inspection/inspectorresult.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class DBManager;
class RfidCard;

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

private:
    DBManager &mDb;
    Clock mClock;
};
