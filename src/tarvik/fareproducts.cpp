#include "tarvik/fareproducts.h"

#include "tarvik/jsonread.h"

namespace tarvik {

FareProducts::FareProducts(const QJsonObject &json)
{
    fromJson(json);
}

void FareProducts::fromJson(const QJsonObject &json)
{
    mAxisId = json::readInt(json, QLatin1String("axisId"));
    const QJsonArray products = json::readArray(json, QLatin1String("products"));
    for (const QJsonValue &value : products) {
        FareProduct product(json::toObject(value));
        const int id = product.getId();
        mFareProducts.emplace(id, std::move(product));
    }
}

} // namespace tarvik
