#pragma once

#include "tarvik/fareproductlink.h"

namespace tarvik {

// A row tying a fare product to one of its ticket materials.
//
//   "fareProductId", "ticketMaterialId"  int
class FareProductTicketMaterial : public FareProductLink<FareProductTicketMaterial>
{
public:
    FareProductTicketMaterial();
    explicit FareProductTicketMaterial(const QJsonObject &json);
    ~FareProductTicketMaterial() override;

    int ticketMaterialId() const;
    void setTicketMaterialId(int id);
};

} // namespace tarvik
