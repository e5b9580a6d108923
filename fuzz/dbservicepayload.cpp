// A payload on one of the database service's topics, as the broker hands it to the data
// gateway: the first byte picks the topic.
#include "fuzzsupport.h"

#include "db/dbmanager_p.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"

namespace {
DBManagerPrivate *gGateway = nullptr;
QList<QByteArray> gTopics;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    gGateway = new DBManagerPrivate(new manager::MqttClient);
    Configuration config;
    for (const char *key : {"db/sub_info", "db/sub_status", "db/sub_config"})
        gTopics << config.get(QLatin1String(key)).toString().toUtf8();
    const QByteArray base = config.get(QStringLiteral("db/base")).toString().toUtf8();
    gTopics << base + "/request" << base + "/response/zub/1" << base + "/response/ui/7" << "elsewhere/topic";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    gGateway->handleMQTTMessage(fuzz::bytes(data + 1, size - 1), gTopics.at(data[0] % gTopics.size()));
    QCoreApplication::processEvents();
    return 0;
}
