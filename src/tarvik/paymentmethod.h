#pragma once

#include "tarvik/catalogentry.h"

namespace tarvik {

// A means of payment of the back-end's fare catalogue, named by its code
// ("PM_CARRIER_CARD_MONEY" marks the e-purse).
class PaymentMethod : public CatalogEntry<PaymentMethod>
{
public:
    PaymentMethod();
    explicit PaymentMethod(const QJsonObject &json);
    ~PaymentMethod() override;

    QString toString() const;
};

} // namespace tarvik
