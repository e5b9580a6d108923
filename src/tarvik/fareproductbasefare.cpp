#include "tarvik/fareproductbasefare.h"

namespace tarvik {

namespace {
const QLatin1String kLinkedId("baseFareId");
} // namespace

FareProductBaseFare::FareProductBaseFare() = default;

FareProductBaseFare::FareProductBaseFare(const QJsonObject &json)
    : FareProductLink(json)
{
}

FareProductBaseFare::~FareProductBaseFare() = default;

int FareProductBaseFare::baseFareId() const { return json::toInt(value(kLinkedId)); }
void FareProductBaseFare::setBaseFareId(int id) { setValue(kLinkedId, id); }

} // namespace tarvik
