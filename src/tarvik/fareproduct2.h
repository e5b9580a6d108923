#pragma once

#include "tarvik/basefare.h"
#include "tarvik/multilangobject.h"
#include "tarvik/passengertype.h"
#include "tarvik/paymentchannel.h"
#include "tarvik/paymentmethod.h"
#include "tarvik/ticketmaterial.h"

#include <QDateTime>

namespace tarvik {

// A fare product of the back-end (a pass, a bundle of trips, a daily paper ticket, an e-purse
// product) with the records it is made of and sold through, linked by the fare manager.
//
//   "code", "validFrom", "validityUnit", "color"  text
//   "validityDuration", "numberOfTrips", "isPersonalized", "position"  int
//   "calculatedPrice"  int, hundredths of the currency unit
//   "fareFixed"  double, currency units; "fareDiscount"  double, a fraction
//   "fareRoundingCeiling", "isReturnFare", "perBaseFare"  bool
//   "activationDate", "expirationDate"  milliseconds since the epoch, handed out in local time
class FareProduct2 : public MultiLangObject<FareProduct2>
{
public:
    FareProduct2();
    explicit FareProduct2(const QJsonObject &json);
    ~FareProduct2() override;

    QString code() const;
    void setCode(const QString &code);
    QString validFrom() const;
    void setValidFrom(const QString &validFrom);
    QString validityUnit() const;
    void setValidityUnit(const QString &unit);
    int validityDuration() const;
    void setValidityDuration(int duration);
    int numberOfTrips() const;
    void setNumberOfTrips(int trips);
    int calculatedPrice() const;
    double fareFixed() const;
    void setFareFixed(double fare);
    double fareDiscount() const;
    void setFareDiscount(double discount);
    bool fareRoundingCeiling() const;
    void setFareRoundingCeiling(bool ceiling);
    bool isReturnFare() const;
    void setIsReturnFare(bool isReturnFare);
    int isPersonalized() const;
    void setIsPersonalized(int isPersonalized);
    bool perBaseFare() const;
    void setPerBaseFare(bool perBaseFare);
    QString color() const;
    void setColor(const QString &color);
    int position() const;
    void setPosition(int position);
    QDateTime activationDate() const;
    void setActivationDate(const QDateTime &date);
    QDateTime expirationDate() const;
    void setExpirationDate(const QDateTime &date);

    BaseFare::List baseFares() const;
    void setBaseFares(const BaseFare::List &baseFares);
    PassengerType::List passengerTypes() const;
    void setPassengerTypes(const PassengerType::List &passengerTypes);
    PaymentMethod::List paymentMethods() const;
    void setPaymentMethods(const PaymentMethod::List &paymentMethods);
    PaymentChannel::List paymentChannels() const;
    void setPaymentChannels(const PaymentChannel::List &paymentChannels);
    TicketMaterial::List ticketMaterials() const;
    void setTicketMaterials(const TicketMaterial::List &ticketMaterials);

    // In the default locale's language, else in "en".
    QString name() const;
    // Currency units: the calculated price, else the fixed fare, else the discounted sum of
    // the base fares.
    double price() const;
    int validityPeriodMin() const;
    bool isDailyTicket() const;
    bool isPaperTicket() const;
    bool isDriver() const;
    bool isAxisFare() const;
    // Valid on the axis, from a city zone, or between two zones in that direction.
    bool isValidIn(int axisId, int fromStopGroupId, int toStopGroupId) const;
    bool isExpired() const;
    bool isActivated() const;

    TicketMaterial::Ptr findTicketMaterial(const QString &code) const;
    PassengerType::Ptr findPassengerType(int id) const;
    PassengerType::Ptr findPassengerType(const QString &code) const;
    PaymentChannel::Ptr findPaymentChannel(const QString &code) const;
    PaymentMethod::Ptr findPaymentMethod(const QString &code) const;

    QString toString() const;

private:
    BaseFare::List mBaseFares;
    PassengerType::List mPassengerTypes;
    PaymentMethod::List mPaymentMethods;
    PaymentChannel::List mPaymentChannels;
    TicketMaterial::List mTicketMaterials;
};

} // namespace tarvik
