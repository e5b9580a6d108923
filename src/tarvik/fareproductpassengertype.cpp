#include "tarvik/fareproductpassengertype.h"

namespace tarvik {

namespace {
const QLatin1String kLinkedId("passengerTypeId");
} // namespace

FareProductPassengerType::FareProductPassengerType() = default;

FareProductPassengerType::FareProductPassengerType(const QJsonObject &json)
    : FareProductLink(json)
{
}

FareProductPassengerType::~FareProductPassengerType() = default;

int FareProductPassengerType::passengerTypeId() const { return json::toInt(value(kLinkedId)); }
void FareProductPassengerType::setPassengerTypeId(int id) { setValue(kLinkedId, id); }

} // namespace tarvik
