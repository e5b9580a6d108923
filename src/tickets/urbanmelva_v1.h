#pragma once

#include "tickets/qrfieldticket.h"

#include <QDate>
#include <QJsonObject>

// The urban QR ticket: one line between two zones, built from a scanned text of 16 or 19
// "|"-separated fields or from the database service's ticket object. Reads only; the
// urban validator decides what the fields mean for the current route.
//
//   text position  key                  JSON key
//   0              axisId               routeId
//   1              userId               driverId
//   2              deviceUuid           deviceUuid
//   3              reservationCode
//   4, 5           from/toStopGroupId
//   6              issueTimestamp
//   7              issuedTicketId       ticketId
//   8              routeExecutionId
//   9              seatNumber
//   10             openTicket           (only "true" is true)
//   11             ticketType
//   12             parcelId
//   13             fareProductId
//   14             passengerTypeId
//   15             expiryDate
//   16             validityStartDate    (19 fields; -1 empties the ticket)
//   17             lifeSpan             lifeSpan
//   18             carrierId            carrierId
class UrbanMelva_v1 : public QrFieldTicket
{
public:
    explicit UrbanMelva_v1(QString text);
    explicit UrbanMelva_v1(const QJsonObject &object);
    ~UrbanMelva_v1() override;

    QString toString() const override;

    QString reservationCode() const;
    int fromStopGroupId() const;
    int toStopGroupId() const;
    QDate expiryDate() const;
    // False when the stored expiry is 0: "no expiry" must not be judged from expiryDate(),
    // whose local date of second 0 is 1969-12-31 west of UTC.
    bool hasExpiryDate() const;
    int seatNumber() const;
    bool openTicket() const;
    int parcelId() const;
    bool validityStartDateIsNull() const override;
    QJsonObject toJson() const;

    static const QString MyTemplate; // "urban_melva_v1"
};
