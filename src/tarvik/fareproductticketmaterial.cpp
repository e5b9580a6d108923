#include "tarvik/fareproductticketmaterial.h"

namespace tarvik {

namespace {
const QLatin1String kLinkedId("ticketMaterialId");
} // namespace

FareProductTicketMaterial::FareProductTicketMaterial() = default;

FareProductTicketMaterial::FareProductTicketMaterial(const QJsonObject &json)
    : FareProductLink(json)
{
}

FareProductTicketMaterial::~FareProductTicketMaterial() = default;

int FareProductTicketMaterial::ticketMaterialId() const { return json::toInt(value(kLinkedId)); }
void FareProductTicketMaterial::setTicketMaterialId(int id) { setValue(kLinkedId, id); }

} // namespace tarvik
