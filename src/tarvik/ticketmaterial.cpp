#include "tarvik/ticketmaterial.h"

namespace tarvik {

TicketMaterial::TicketMaterial() = default;

TicketMaterial::TicketMaterial(const QJsonObject &json)
    : CatalogEntry(json)
{
}

TicketMaterial::~TicketMaterial() = default;

QString TicketMaterial::toString() const
{
    return QStringLiteral("[%1] %2/%3/%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
