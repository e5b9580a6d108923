#include "qr/qrmanager.h"

#include "framework/configuration.h"
#include "qr/qrmanager_p.h"

const QMap<QString, QVariant> QRManager::Defaults = {
    {QStringLiteral("qr/base"), QStringLiteral("zeto/barcodeman")},
    {QStringLiteral("qr/sub_info"), QStringLiteral("${qr/base}/info")},
    {QStringLiteral("qr/sub_status"), QStringLiteral("${qr/base}/status")},
    {QStringLiteral("qr/sub_data"), QStringLiteral("${qr/base}/barcode")},
    {QStringLiteral("qr/sub_config"), QStringLiteral("${qr/base}/config")},
    {QStringLiteral("qr/sub_error"), QStringLiteral("${qr/base}/error")},
    {QStringLiteral("qr/pub_enable"), QStringLiteral("${qr/base}/enable")},
    {QStringLiteral("qr/pub_disable"), QStringLiteral("${qr/base}/disable")},
    {QStringLiteral("qr/pub_reset"), QStringLiteral("${qr/base}/reset")},
    {QStringLiteral("qr/pub_getconfig"), QStringLiteral("${qr/base}/config/get")},
    {QStringLiteral("qr/pub_setconfig"), QStringLiteral("${qr/base}/config/set")},
    {QStringLiteral("qr/sub_qos"), 0},
    {QStringLiteral("qr/pub_qos"), 0},
    {QStringLiteral("qr/crypto"), QStringLiteral("crypto_v1")},
    {QStringLiteral("qr/ticket"), QStringLiteral("urban_melva_v1")},
};

namespace {
[[maybe_unused]] const bool DefaultsRegistered = Configuration::registerDefaults(9, &QRManager::Defaults);
}

QRManager::QRManager(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<QRManagerPrivate>(client))
{
    // Re-emitted from our own signals, so blocking ours drops scans rather than delaying them.
    connect(d.get(), &QRManagerPrivate::status, this, &QRManager::status);
    connect(d.get(), &QRManagerPrivate::info, this, &QRManager::info);
    connect(d.get(), &QRManagerPrivate::config, this, &QRManager::config);
    connect(d.get(), &QRManagerPrivate::error, this, &QRManager::error);
    connect(d.get(), &QRManagerPrivate::ticketScanned, this, &QRManager::ticketScanned);
    connect(d.get(), &QRManagerPrivate::maintenanceQrScanned, this, &QRManager::maintenanceQrScanned);
}

QRManager::~QRManager() = default;

QString QRManager::serviceStatus() const
{
    return d->serviceStatus();
}

void QRManager::enable()
{
    d->enable();
}

void QRManager::disable()
{
    d->disable();
}

void QRManager::reset()
{
    d->reset();
}

void QRManager::getConfig()
{
    d->getConfig();
}

void QRManager::setConfig(const QVariantMap &config)
{
    d->setConfig(config);
}
