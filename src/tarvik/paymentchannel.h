#pragma once

#include "tarvik/catalogentry.h"

namespace tarvik {

// A sales channel of the back-end's fare catalogue, named by its code
// ("PC_DRIVER" marks a product sold by the driver).
class PaymentChannel : public CatalogEntry<PaymentChannel>
{
public:
    PaymentChannel();
    explicit PaymentChannel(const QJsonObject &json);
    ~PaymentChannel() override;

    QString toString() const;
};

} // namespace tarvik
