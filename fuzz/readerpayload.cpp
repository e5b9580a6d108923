// A payload on one of the card reader's topics, as the broker hands it to the reader client:
// the first byte picks the topic.
#include "fuzzsupport.h"

#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "rfid/rfidmanager_p.h"

#include <QStringList>

namespace {
manager::MqttClient *gClient = nullptr;
RfidManagerPrivate *gReader = nullptr;
QList<QByteArray> gTopics;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    gClient = new manager::MqttClient;
    gReader = new RfidManagerPrivate(gClient);
    Configuration config;
    for (const char *key : {"rfid/sub_info", "rfid/sub_status", "rfid/sub_config", "rfid/sub_error",
                            "rfid/sub_card_found", "rfid/sub_card_removed", "rfid/sub_card_autoread", "rfid/sub_enable",
                            "rfid/sub_disable", "rfid/sub_card_read", "rfid/sub_card_write", "rfid/sub_card_create"})
        gTopics << config.get(QLatin1String(key)).toString().replace(QLatin1Char('+'), QLatin1Char('1')).toUtf8();
    gTopics << QByteArrayLiteral("elsewhere/topic");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // Handed over as the client hands over what the broker delivers.
    emit gClient->received(fuzz::bytes(data + 1, size - 1), gTopics.at(data[0] % gTopics.size()));
    QCoreApplication::processEvents();
    return 0;
}
