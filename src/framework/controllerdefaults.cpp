#include "framework/controllerdefaults.h"

// Topics are written relative to "zub/base"; the client ids carry the device's serial number
// so that two devices on one broker never share one.
const QMap<QString, QVariant> &controllerDefaults()
{
    static const QMap<QString, QVariant> defaults = {
        {QStringLiteral("log/level"), 2},
        {QStringLiteral("log/syslog"), true},
        {QStringLiteral("log/stderr"), false},
        {QStringLiteral("log/color"), false},
        {QStringLiteral("zub/base"), QStringLiteral("zeto/zub")},
        {QStringLiteral("zub/host"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("zub/port"), 1883},
        {QStringLiteral("zub/username"), QStringLiteral("")},
        {QStringLiteral("zub/password"), QStringLiteral("")},
        {QStringLiteral("zub/client_id"), QStringLiteral("zub-${#serialNumber}")},
        {QStringLiteral("zub/keep_alive"), 60},
        {QStringLiteral("zub/will_topic"), QStringLiteral("${zub/base}/status")},
        {QStringLiteral("zub/will_message"), QStringLiteral("{\"service\":false}")},
        {QStringLiteral("zub/obu_host"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("zub/obu_port"), 1883},
        {QStringLiteral("zub/obu_username"), QStringLiteral("")},
        {QStringLiteral("zub/obu_password"), QStringLiteral("")},
        {QStringLiteral("zub/obu_client_id"), QStringLiteral("zub-obu-${#serialNumber}")},
        {QStringLiteral("zub/valid_timeout"), 2000},
        {QStringLiteral("zub/invalid_timeout"), 2000},
        {QStringLiteral("zub/period_pass_hourly"), true},
        {QStringLiteral("zub/lcd_language"), QStringLiteral("el")},
        {QStringLiteral("zub/inspection_mode"), false},
        {QStringLiteral("zub/sub_qos"), 0},
        {QStringLiteral("zub/pub_qos"), 0},
        {QStringLiteral("zub/pub_card_inspected"), QStringLiteral("${zub/base}/card/inspected")},
        {QStringLiteral("zub/pub_rfid_scanned"), QStringLiteral("${zub/base}/rfid/scanned")},
        {QStringLiteral("zub/pub_barcode_scanned"), QStringLiteral("${zub/base}/barcode/scanned")},
        {QStringLiteral("zub/pub_config"), QStringLiteral("${zub/base}/config")},
        {QStringLiteral("zub/sub_config_get"), QStringLiteral("${zub/base}/config/get")},
        {QStringLiteral("zub/sub_config_set"), QStringLiteral("${zub/base}/config/set")},
    };
    return defaults;
}
