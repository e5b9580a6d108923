#pragma once

#include "tarvik/catalogentry.h"

namespace tarvik {

// A ticket medium of the back-end's fare catalogue, named by its code
// ("TM_PAPER_TICKET" marks a product issued on paper).
class TicketMaterial : public CatalogEntry<TicketMaterial>
{
public:
    TicketMaterial();
    explicit TicketMaterial(const QJsonObject &json);
    ~TicketMaterial() override;

    QString toString() const;
};

} // namespace tarvik
