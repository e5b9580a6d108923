#include "tickets/qrticketfactory.h"

#include "tickets/dynamicqr.h"
#include "tickets/urbanmelva_v1.h"

QrTicketFactory::~QrTicketFactory() = default;

std::unique_ptr<QrTicket> QrTicketFactory::create(const QString &text) const
{
    // One trailing "|" does not make a field; the ticket drops it again itself.
    int fields = text.count(QLatin1Char('|')) + 1;
    if (text.endsWith(QLatin1Char('|')))
        --fields;
    switch (fields) {
    case 12:
        return std::make_unique<DynamicQr>(text);
    case 16:
    case 19:
        return std::make_unique<UrbanMelva_v1>(text);
    default:
        return nullptr;
    }
}
