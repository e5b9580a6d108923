#pragma once

#include "qr/qrroutevalidator.h"

class UrbanMelva_v1;

// Validates urban QR tickets: carrier, fare product and passenger type on the route,
// pass-back through the database service, expiry date, validity window, axis, zone and ticket
// type; fills the result with the zone names in the passenger screen's language.
// Lives on the validation thread.
class UrbanMelvaValidator_v1 : public QrRouteValidator
{
    Q_OBJECT
public:
    UrbanMelvaValidator_v1(QObject *parent, DBManager &db, const Configuration *settings = nullptr);
    ~UrbanMelvaValidator_v1() override;

    void validate(std::shared_ptr<tarvik::Route> route, std::shared_ptr<QrTicket> ticket) override;
    void setStopGroupNames(std::shared_ptr<UrbanMelva_v1> ticket);

private:
    bool checkExpiryDate(const UrbanMelva_v1 &ticket);
};
