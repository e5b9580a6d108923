// A scanned text: the ticket of its format, read and written back.
#include "fuzzsupport.h"

#include "tickets/dynamicqr.h"
#include "tickets/qrticketfactory.h"
#include "tickets/urbanmelva_v1.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::unique_ptr<QrTicket> ticket = QrTicketFactory().create(QString::fromUtf8(fuzz::bytes(data, size)));
    if (!ticket)
        return 0;
    ticket->isEmpty();
    ticket->toString();
    if (auto *urban = dynamic_cast<UrbanMelva_v1 *>(ticket.get()))
        UrbanMelva_v1(urban->toJson()).toString();
    else if (auto *dynamic = dynamic_cast<DynamicQr *>(ticket.get()))
        DynamicQr(dynamic->toJson()).toString();
    return 0;
}
