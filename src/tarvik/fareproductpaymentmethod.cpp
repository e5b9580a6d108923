#include "tarvik/fareproductpaymentmethod.h"

namespace tarvik {

namespace {
const QLatin1String kLinkedId("paymentMethodId");
} // namespace

FareProductPaymentMethod::FareProductPaymentMethod() = default;

FareProductPaymentMethod::FareProductPaymentMethod(const QJsonObject &json)
    : FareProductLink(json)
{
}

FareProductPaymentMethod::~FareProductPaymentMethod() = default;

int FareProductPaymentMethod::paymentMethodId() const { return json::toInt(value(kLinkedId)); }
void FareProductPaymentMethod::setPaymentMethodId(int id) { setValue(kLinkedId, id); }

} // namespace tarvik
