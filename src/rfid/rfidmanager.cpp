#include "rfid/rfidmanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> RfidManager::Defaults = {
    {QStringLiteral("rfid/base"), QStringLiteral("zeto/rfid")},
    {QStringLiteral("rfid/card_type"), QStringLiteral("ZetoDESv4,ZetoDESv3,ZetoDESv2,ZetoLUC,ZetoLUCv2,EMV")},
    {QStringLiteral("rfid/pub_qos"), 0},
    {QStringLiteral("rfid/sub_qos"), 0},
    {QStringLiteral("rfid/sub_info"), QStringLiteral("${rfid/base}/info")},
    {QStringLiteral("rfid/sub_status"), QStringLiteral("${rfid/base}/status")},
    {QStringLiteral("rfid/sub_config"), QStringLiteral("${rfid/base}/config")},
    {QStringLiteral("rfid/sub_error"), QStringLiteral("${rfid/base}/error")},
    {QStringLiteral("rfid/sub_card_found"), QStringLiteral("${rfid/base}/card/found")},
    {QStringLiteral("rfid/sub_card_removed"), QStringLiteral("${rfid/base}/card/removed")},
    {QStringLiteral("rfid/sub_card_autoread"), QStringLiteral("${rfid/base}/card/autoread")},
    {QStringLiteral("rfid/sub_enable"), QStringLiteral("${rfid/base}/enable/response/+")},
    {QStringLiteral("rfid/sub_disable"), QStringLiteral("${rfid/base}/disable/response/+")},
    {QStringLiteral("rfid/sub_card_create"), QStringLiteral("${rfid/base}/card/create/response/+")},
    {QStringLiteral("rfid/sub_card_read"), QStringLiteral("${rfid/base}/card/read/response/+")},
    {QStringLiteral("rfid/sub_card_write"), QStringLiteral("${rfid/base}/card/write/response/+")},
    {QStringLiteral("rfid/pub_info_get"), QStringLiteral("${rfid/base}/info/get")},
    {QStringLiteral("rfid/pub_status_get"), QStringLiteral("${rfid/base}/status/get")},
    {QStringLiteral("rfid/pub_config_get"), QStringLiteral("${rfid/base}/config/get")},
    {QStringLiteral("rfid/pub_config_set"), QStringLiteral("${rfid/base}/config/set")},
    {QStringLiteral("rfid/pub_enable"), QStringLiteral("${rfid/base}/enable/request/")},
    {QStringLiteral("rfid/pub_disable"), QStringLiteral("${rfid/base}/disable/request/")},
    {QStringLiteral("rfid/pub_card_create"), QStringLiteral("${rfid/base}/card/create/request/")},
    {QStringLiteral("rfid/pub_card_read"), QStringLiteral("${rfid/base}/card/read/request/")},
    {QStringLiteral("rfid/pub_card_write"), QStringLiteral("${rfid/base}/card/write/request/")},
    {QStringLiteral("rfid/pub_led_set"), QStringLiteral("${rfid/base}/led/set/request/")},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(10, &RfidManager::Defaults);
}
