#pragma once

#include "tarvik/fareproductlink.h"

namespace tarvik {

// A row tying a fare product to one of its passenger types.
//
//   "fareProductId", "passengerTypeId"  int
class FareProductPassengerType : public FareProductLink<FareProductPassengerType>
{
public:
    FareProductPassengerType();
    explicit FareProductPassengerType(const QJsonObject &json);
    ~FareProductPassengerType() override;

    int passengerTypeId() const;
    void setPassengerTypeId(int id);
};

} // namespace tarvik
