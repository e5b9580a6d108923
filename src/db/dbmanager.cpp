#include "db/dbmanager.h"

#include "framework/configuration.h"

const QMap<QString, QVariant> DBManager::Defaults = {
    {QStringLiteral("db/sub_qos"), 0},
    {QStringLiteral("db/pub_qos"), 0},
    {QStringLiteral("db/base"), QStringLiteral("zeto/db")},
    {QStringLiteral("db/sub_info"), QStringLiteral("${db/base}/info")},
    {QStringLiteral("db/sub_status"), QStringLiteral("${db/base}/status")},
    {QStringLiteral("db/sub_config"), QStringLiteral("${db/base}/config")},
    {QStringLiteral("db/sub_response"), QStringLiteral("${db/base}/response/+/+")},
    {QStringLiteral("db/pub_info"), QStringLiteral("${db/base}/info/get")},
    {QStringLiteral("db/pub_status"), QStringLiteral("${db/base}/status/get")},
    {QStringLiteral("db/pub_request"), QStringLiteral("${db/base}/request")},
    {QStringLiteral("db/timeout_ms"), 500},
    {QStringLiteral("db/mock_dbman"), false},
    {QStringLiteral("db/pub_sc_block"), QStringLiteral("${obu/base}/services/smartcard/block")},
    {QStringLiteral("tarvik/enabled"), true},
    {QStringLiteral("tarvik/url"), QStringLiteral("")},
    {QStringLiteral("tarvik/storagePath"), QStringLiteral("/opt/zeto/data/tarvik/")},
    {QStringLiteral("tarvik/dbKeepDays"), 30},
    {QStringLiteral("tarvik/dbCleanupMins"), 60},
    {QStringLiteral("tarvik/reqTimeoutMsec"), 30000},
    {QStringLiteral("tarvik/deviceParamSyncMin"), 10},
    {QStringLiteral("tarvik/routeDataSyncMin"), 120},
    {QStringLiteral("tarvik/fareDataSyncMin"), 120},
    {QStringLiteral("tarvik/actionListSyncMin"), 10},
    {QStringLiteral("tarvik/apiKey"), QStringLiteral("7c1e9a04b5d36f28e0a9c41b7d2f6e53")},
    {QStringLiteral("tarvik/ignoreSslErrors"), false},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(4, &DBManager::Defaults);
}
