#include "tarvik/fareproductpaymentchannel.h"

namespace tarvik {

namespace {
const QLatin1String kLinkedId("paymentChannelId");
} // namespace

FareProductPaymentChannel::FareProductPaymentChannel() = default;

FareProductPaymentChannel::FareProductPaymentChannel(const QJsonObject &json)
    : FareProductLink(json)
{
}

FareProductPaymentChannel::~FareProductPaymentChannel() = default;

int FareProductPaymentChannel::paymentChannelId() const { return json::toInt(value(kLinkedId)); }
void FareProductPaymentChannel::setPaymentChannelId(int id) { setValue(kLinkedId, id); }

} // namespace tarvik
