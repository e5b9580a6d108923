#pragma once

#include "tickets/qrticket.h"

#include <QDateTime>
#include <QJsonObject>
#include <QVariantMap>

// The dynamic QR ticket: a fare product with a window of validity whose code also carries
// a tick interval and count, built from a scanned text of 12 "|"-separated fields. Reads
// only; the dynamic validator compares the ticks with the time since the validity start.
//
//   text position  key                  JSON key
//   0              ticketType
//   1              userId               driverId
//   2              deviceUuid           deviceUuid
//   3              issueTimestamp
//   4              issuedTicketId       ticketId
//   5              fareProductId
//   6              passengerTypeId
//   7              validityStartDate    (-1 empties the ticket)
//   8              lifeSpan             lifeSpan
//   9              carrierId            carrierId
//   10             tickInterval         (unsigned)
//   11             tickCount            (unsigned)
//   -              axisId               routeId
//   -              routeExecutionId
class DynamicQr : public QrTicket
{
public:
    explicit DynamicQr(QString text);
    explicit DynamicQr(const QJsonObject &object);
    ~DynamicQr() override;

    bool isEmpty() const override;
    QString toString() const override;
    int id() const override;

    QString toSerialized() const { return mSerialized; }
    int axisId() const;
    int userId() const;
    QString deviceUuid() const;
    int issueTimestamp() const;
    QDateTime issueDateTime() const;
    int routeExecutionId() const;
    int fareProductId() const;
    QString ticketType() const;
    int passengerTypeId() const;
    bool validityStartDateIsNull() const;
    QDateTime validityStartDate() const;
    int lifeSpan() const;
    // Whole seconds from now to the end of validity, within [0, INT_MAX].
    int remainingSec() const;
    int carrierId() const;
    int tickCount() const;
    int tickInterval() const;
    // "ccc-000-uuuuuuuu-ddd-ttttttt": carrier, user, device and ticket id, zero-padded;
    // the key of the pass-back check.
    QString uid() const;
    QJsonObject toJson() const;

    static const QString MyTemplate; // "dynamicqr"

private:
    int intField(const QString &key) const;

    QVariantMap mFields;
    QString mSerialized;
};
