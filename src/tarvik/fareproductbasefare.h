#pragma once

#include "tarvik/fareproductlink.h"

namespace tarvik {

// A row tying a fare product to one of its base fares.
//
//   "fareProductId", "baseFareId"  int
class FareProductBaseFare : public FareProductLink<FareProductBaseFare>
{
public:
    FareProductBaseFare();
    explicit FareProductBaseFare(const QJsonObject &json);
    ~FareProductBaseFare() override;

    int baseFareId() const;
    void setBaseFareId(int id);
};

} // namespace tarvik
