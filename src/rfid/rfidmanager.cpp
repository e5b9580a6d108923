#include "rfid/rfidmanager.h"

#include "framework/configuration.h"
#include "rfid/rfidmanager_p.h"

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

const QMap<int, QString> RfidManager::CardType = {
    {0x001, QStringLiteral("ISO14443 Part4 Type A compatible transponder")},
    {0x002, QStringLiteral("ISO14443 Part4 Type B compatible transponder")},
    {0x004, QStringLiteral("Mifare Classic 1K")},
    {0x008, QStringLiteral("Mifare Classic 4K")},
    {0x010, QStringLiteral("Mifare Plus 2K")},
    {0x020, QStringLiteral("Mifare Plus 4K")},
    {0x040, QStringLiteral("Mifare Ultralight C or EV")},
    {0x080, QStringLiteral("Mifare Mini")},
    {0x100, QStringLiteral("Mifare DESFire EV1 or EV2")},
    {0x200, QStringLiteral("EMV")},
};

RfidManager::RfidManager(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , d(std::make_unique<RfidManagerPrivate>(client))
{
    // Re-emitted from our own signals, so blocking ours drops the events rather than delaying them.
    connect(d.get(), &RfidManagerPrivate::info, this, &RfidManager::info);
    connect(d.get(), &RfidManagerPrivate::status, this, &RfidManager::status);
    connect(d.get(), &RfidManagerPrivate::config, this, &RfidManager::config);
    connect(d.get(), &RfidManagerPrivate::error, this, &RfidManager::error);
    connect(d.get(), &RfidManagerPrivate::cardFound, this, &RfidManager::cardFound);
    connect(d.get(), &RfidManagerPrivate::cardRemoved, this, &RfidManager::cardRemoved);
    connect(d.get(), &RfidManagerPrivate::cardAutoread, this, &RfidManager::cardAutoread);
    connect(d.get(), &RfidManagerPrivate::enabled, this, &RfidManager::enabled);
    connect(d.get(), &RfidManagerPrivate::disabled, this, &RfidManager::disabled);
    connect(d.get(), &RfidManagerPrivate::cardCreated, this, &RfidManager::cardCreated);
    connect(d.get(), &RfidManagerPrivate::cardRead, this, &RfidManager::cardRead);
    connect(d.get(), &RfidManagerPrivate::cardWritten, this, &RfidManager::cardWritten);
}

RfidManager::~RfidManager() = default;

QString RfidManager::serviceStatus() const
{
    return d->serviceStatus();
}

void RfidManager::getInfo()
{
    d->getInfo();
}

void RfidManager::getStatus()
{
    d->getStatus();
}

void RfidManager::getConfig()
{
    d->getConfig();
}

void RfidManager::setConfig()
{
    d->setConfig();
}

void RfidManager::enable(const QVariantMap &data)
{
    d->enable(data);
}

void RfidManager::disable()
{
    d->disable();
}

void RfidManager::createCard(const QVariantMap &card)
{
    d->createCard(card);
}

void RfidManager::readCard(const QVariantMap &card)
{
    d->readCard(card);
}

void RfidManager::writeCard(const QVariantMap &card)
{
    d->writeCard(card);
}

void RfidManager::ledSet(const QJsonObject &ledState)
{
    d->ledSet(ledState);
}
