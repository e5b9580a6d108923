// The reader's card message: the card model of its template, used and written back. Only the
// parsers' own std::runtime_error may leave the factory.
#include "fuzzsupport.h"

#include "rfid/rfidcard.h"
#include "rfid/rfidcardfactory.h"

#include <memory>
#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        std::unique_ptr<RfidCard> card(RfidCardFactory::create(fuzz::object(data, size).toVariantMap()));
        if (card)
            QJsonDocument(card->toJson()).toJson();
    } catch (const std::runtime_error &) {
    }
    return 0;
}
