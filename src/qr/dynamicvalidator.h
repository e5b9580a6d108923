#pragma once

#include "qr/qrroutevalidator.h"

class DynamicQr;

// Validates dynamic QR tickets: carrier, fare product and passenger type on the route,
// pass-back through the database service, validity window with the tick count drawn into the
// code, axis, zone and ticket type. Lives on the validation thread.
class DynamicValidator : public QrRouteValidator
{
    Q_OBJECT
public:
    DynamicValidator(QObject *parent, DBManager &db, const Configuration *settings = nullptr);
    ~DynamicValidator() override;

    void validate(std::shared_ptr<tarvik::Route> route, std::shared_ptr<QrTicket> ticket) override;
    // The route's name of the product, else the synced catalogue's, else empty.
    QString fareProductName(std::shared_ptr<tarvik::Route> route, int id) const;

private:
    bool checkTicks(const DynamicQr &ticket, const QDateTime &start);
    int remainingMinutes(const DynamicQr &ticket) const;
};
