#pragma once

#include "tarvik/fareproductlink.h"

namespace tarvik {

// A row tying a fare product to one of its payment methods.
//
//   "fareProductId", "paymentMethodId"  int
class FareProductPaymentMethod : public FareProductLink<FareProductPaymentMethod>
{
public:
    FareProductPaymentMethod();
    explicit FareProductPaymentMethod(const QJsonObject &json);
    ~FareProductPaymentMethod() override;

    int paymentMethodId() const;
    void setPaymentMethodId(int id);
};

} // namespace tarvik
