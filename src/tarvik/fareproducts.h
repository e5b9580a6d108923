#pragma once

#include "tarvik/fareproduct.h"

class QJsonObject;

namespace tarvik {

// The fare products the OBU published for one axis (one fare message). Products that share an
// id are all kept, in message order.
class FareProducts
{
public:
    FareProducts() = default;
    explicit FareProducts(const QJsonObject &json);
    virtual ~FareProducts() = default;
    FareProducts(const FareProducts &) = default;
    FareProducts &operator=(const FareProducts &) = default;
    FareProducts(FareProducts &&) = default;
    FareProducts &operator=(FareProducts &&) = default;

    void fromJson(const QJsonObject &json);

    int getAxisId() const { return mAxisId; }
    FareProduct::MultiMap getFareProducts() const { return mFareProducts; }
    bool isCorrupted() const { return mFareProducts.empty(); }

private:
    FareProduct::MultiMap mFareProducts;
    int mAxisId = 0;
};

} // namespace tarvik
