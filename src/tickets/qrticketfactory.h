#pragma once

#include <QString>

#include <memory>

class QrTicket;

// Picks the ticket format of a scanned text by its number of "|"-separated fields and
// builds it: 12 a DynamicQr, 16 or 19 an UrbanMelva_v1, anything else none. Stateless.
class QrTicketFactory
{
public:
    QrTicketFactory() = default;
    virtual ~QrTicketFactory();

    // The new ticket, or null for a field count no format has. Nothing is logged.
    std::unique_ptr<QrTicket> create(const QString &text) const;
};
