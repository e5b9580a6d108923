#pragma once

#include "tickets/qrfieldticket.h"

#include <QDateTime>
#include <QJsonObject>

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
class DynamicQr : public QrFieldTicket
{
public:
    explicit DynamicQr(QString text);
    explicit DynamicQr(const QJsonObject &object);
    ~DynamicQr() override;

    QString toString() const override;

    bool validityStartDateIsNull() const override;
    // Whole seconds from now to the end of validity, within [0, INT_MAX].
    int remainingSec() const;
    int tickCount() const;
    int tickInterval() const;
    // "ccc-000-uuuuuuuu-ddd-ttttttt": carrier, user, device and ticket id, zero-padded;
    // the key of the pass-back check.
    QString uid() const;
    QJsonObject toJson() const;

    static const QString MyTemplate; // "dynamicqr"
};
