#pragma once

#include "tarvik/fareproductlink.h"

namespace tarvik {

// A row tying a fare product to one of its payment channels.
//
//   "fareProductId", "paymentChannelId"  int
class FareProductPaymentChannel : public FareProductLink<FareProductPaymentChannel>
{
public:
    FareProductPaymentChannel();
    explicit FareProductPaymentChannel(const QJsonObject &json);
    ~FareProductPaymentChannel() override;

    int paymentChannelId() const;
    void setPaymentChannelId(int id);
};

} // namespace tarvik
