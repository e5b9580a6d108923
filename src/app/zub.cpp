#include "app/zub.h"
#include "app/zub_p.h"

#include "db/dbmanager.h"
#include "framework/cli.h"
#include "framework/controllerdefaults.h"
#include "framework/jsonsettings.h"
#include "framework/logtag.h"
#include "framework/logger.h"
#include "framework/serialnumber.h"
#include "framework/settings.h"
#include "peripherals/boardmanlcd.h"
#include "peripherals/boardmanlpc.h"
#include "peripherals/gpsmanager.h"
#include "peripherals/imu.h"
#include "peripherals/networkmanager.h"
#include "peripherals/printermanager.h"
#include "peripherals/uimanager.h"
#include "peripherals/updatemanager.h"
#include "qr/qrmanager.h"
#include "rfid/rfidmanager.h"
#include "validator/validator.h"
#include "vehicle/announcer.h"
#include "vehicle/inspector.h"
#include "vehicle/obumanager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSettings>

#include <cstdio>
#include <cstdlib>
#include <memory>

const manager::LogTag ZUB::Log(QStringLiteral("[ZUB] "));

namespace {

// The controller's topic settings, checked in this order: the base first, as the others are
// written in terms of it, then what it subscribes to, then what it publishes on.
struct TopicSetting
{
    QString key;
    bool subscribed;
};

const QString BaseKey = QStringLiteral("zub/base");

const TopicSetting TopicSettings[] = {
    {BaseKey, false}, // the start of every topic the controller publishes
    {QStringLiteral("zub/sub_config_get"), true},
    {QStringLiteral("zub/sub_config_set"), true},
    {QStringLiteral("zub/will_topic"), false},
    {QStringLiteral("zub/pub_config"), false},
    {QStringLiteral("zub/pub_card_inspected"), false},
    {QStringLiteral("zub/pub_rfid_scanned"), false},
    {QStringLiteral("zub/pub_barcode_scanned"), false},
};

bool isUsable(const TopicSetting &setting, const QString &topic)
{
    return setting.subscribed ? manager::MqttClient::isTopicFilter(topic) : manager::MqttClient::isTopicName(topic);
}

int boundedNumber(const Configuration &config, const QString &key, int lowest, int highest)
{
    bool ok = false;
    const QVariant value = config.get(key);
    const int n = value.toInt(&ok);
    if (ok && n >= lowest && n <= highest)
        return n;
    const int fallback = Configuration::defaults().value(key).toInt();
    ZUB::Log.warning(QStringLiteral("WARN: Setting %1 is not a number from %2 to %3: %4, using %5")
                         .arg(key, QString::number(lowest), QString::number(highest), value.toString(),
                              QString::number(fallback)));
    return fallback;
}

} // namespace

// The map itself lives with the settings framework (see framework/controllerdefaults.h).
const QMap<QString, QVariant> ZUB::Defaults = controllerDefaults();

const QMap<QString, QVariant> *const ZUBPrivate::ComponentDefaults[16] = {
    &ZUB::Defaults,         &ObuManager::Defaults,  &UIManager::Defaults,      &DBManager::Defaults,
    &Inspector::Defaults,   &Announcer::Defaults,   &BoardmanLcd::Defaults,    &BoardmanLpc::Defaults,
    &QRManager::Defaults,   &RfidManager::Defaults, &Validator::Defaults,      &PrinterManager::Defaults,
    &GpsManager::Defaults,  &Imu::Defaults,         &NetworkManager::Defaults, &UpdateManager::Defaults,
};

ZUB::ZUB(QObject *parent)
    : QObject(parent)
    , d(std::make_unique<ZUBPrivate>(ZUBPrivate::applyCommandLine()))
{
    connect(d.get(), &ZUBPrivate::config, this, &ZUB::config);
    connect(d.get(), &ZUBPrivate::statusChanged, this, &ZUB::status);
    connect(d.get(), &ZUBPrivate::info, this, &ZUB::info);
}

ZUB::~ZUB() = default;

void ZUB::initialize()
{
    d->finishCommandLine();
    d->updateConfiguration();
    d->connectSignals();
    d->connectBrokers();
}

ZUBPrivate::ZUBPrivate(const QVariantMap &commandLine)
    : mCommandLine(commandLine)
{
    // onSettingsChanged() applies it whenever the file changes.
    Configuration::registerLiveKeys({QStringLiteral("zub/inspection_mode")});
    // Inspection mode is off until the settings say otherwise.
    mInspector.blockRfidSignals(true);
    mInitTimer.setSingleShot(true);
    mInitTimer.setInterval(InitialisationTimeout);
}

ZUBPrivate::~ZUBPrivate() = default;

QVariantMap ZUBPrivate::applyCommandLine()
{
    const QVariantMap options = manager::CLI(QString()).parse();

    manager::Settings *settings = manager::Settings::instance();
    if (options.contains(QStringLiteral("conf"))) {
        const QFileInfo file(options.value(QStringLiteral("conf")).toString());
        if (manager::Settings::fileExists(file))
            settings->setDefaultLocation(file);
        else
            qWarning().noquote().nospace() << "[zub] Configuration file " << file.absoluteFilePath()
                                           << " does not exist. Using default " << settings->name();
    }

    // From the file in use from now on.
    const Configuration config;
    manager::Logger *logger = manager::Logger::instance();
    logger->setSyslog(config.get(QStringLiteral("log/syslog")).toBool());
    logger->setStderr(options.contains(QStringLiteral("stderr")) || config.get(QStringLiteral("log/stderr")).toBool());
    logger->setColor(options.contains(QStringLiteral("color")) || config.get(QStringLiteral("log/color")).toBool());
    logger->setLevel(options.contains(QStringLiteral("level")) ? options.value(QStringLiteral("level")).toInt()
                                                                : boundedNumber(config, QStringLiteral("log/level"), 0, 4));
    // The outputs are known: what was logged until now goes there.
    logger->release();
    return options;
}

void ZUBPrivate::finishCommandLine()
{
    mConfig.print();

    if (mCommandLine.contains(QStringLiteral("save"))) {
        const manager::Settings *settings = manager::Settings::instance();
        const QString target = settings->path() + QLatin1Char('/') + settings->name();
        if (!mConfig.save()) {
            ZUB::Log.critical(QStringLiteral("ERROR: Could not save the configuration to ") + target);
            std::exit(EXIT_FAILURE);
        }
        ZUB::Log.info(QStringLiteral("Configuration saved to ") + target);
        // On standard output too: the log may go to the system log alone.
        std::fputs(qPrintable(QStringLiteral("Configuration saved to ") + target + QLatin1Char('\n')), stdout);
        std::exit(EXIT_SUCCESS);
    }
}

void ZUBPrivate::updateConfiguration()
{
    const std::unique_ptr<QSettings> current(manager::Settings::instance()->create());
    if (!current->allKeys().isEmpty())
        return;
    ZUB::Log.info(QStringLiteral("Settings file ") + current->fileName() + QStringLiteral(" is empty, writing every default"));
    mConfig.save();
}

void ZUBPrivate::connectSignals()
{
    connect(&mLocal, &manager::MqttClient::connected, this, &ZUBPrivate::onLocalConnected);
    connect(&mLocal, &manager::MqttClient::received, this, &ZUBPrivate::onLocalReceived);
    connectDevice();
}

void ZUBPrivate::connectBrokers()
{
    readTopics();
    configureClient(mObu, QStringLiteral("zub/obu_"));
    configureClient(mLocal, QStringLiteral("zub/"));
    mLocal.setKeepAlive(quint8(number(QStringLiteral("zub/keep_alive"), 0, 255)));
    mLocal.setWillTopic(mWillTopic);
    mLocal.setWillMessage(mConfig.get(QStringLiteral("zub/will_message")).toString().toUtf8());

    const quint8 subQos = qos(QStringLiteral("zub/sub_qos"));
    mLocal.subscribe(mConfigGetTopic.toUtf8(), subQos);
    mLocal.subscribe(mConfigSetTopic.toUtf8(), subQos);

    mObu.connect();
    mLocal.connect();
    mInitTimer.start();
    // Without waiting for the connections: the clients subscribe once they are up.
    mDb.initialize();
}

void ZUBPrivate::configureClient(manager::MqttClient &client, const QString &prefix)
{
    client.setHostname(mConfig.get(prefix + QStringLiteral("host")).toString());
    client.setPort(quint32(number(prefix + QStringLiteral("port"), 1, 65535)));
    client.setUsername(mConfig.get(prefix + QStringLiteral("username")).toString());
    client.setPassword(mConfig.get(prefix + QStringLiteral("password")).toString());
    client.setClientId(mConfig.get(prefix + QStringLiteral("client_id")).toString());
}

// A topic the broker would refuse (a will topic of "#" fails every connection) or one the
// controller would hear itself on (an endless loop) gives way to the setting's default, else
// to none, with one warning naming the setting.
void ZUBPrivate::readTopics()
{
    QMap<QString, QVariant> used; // the refused settings, as replaced
    for (const TopicSetting &setting : TopicSettings) {
        const QString value = topic(setting.key, used);
        const bool published = !setting.subscribed && setting.key != BaseKey;
        const bool loops = published && isOwnSubscription(value, used);
        if (isUsable(setting, value) && !loops)
            continue;
        used.insert(setting.key, ZUB::Defaults.value(setting.key));
        QString fallback = topic(setting.key, used);
        if (!isUsable(setting, fallback) || (published && isOwnSubscription(fallback, used))) {
            fallback.clear();
            used.insert(setting.key, QString());
        }
        ZUB::Log.warning(QStringLiteral("WARN: Setting ") + setting.key
                         + (loops ? QStringLiteral(" names a topic the controller subscribes to: ")
                                  : QStringLiteral(" is no usable topic: "))
                         + value + (fallback.isEmpty() ? QStringLiteral(", not used") : QStringLiteral(", using ") + fallback));
    }
    mWillTopic = topic(QStringLiteral("zub/will_topic"), used);
    mConfigTopic = topic(QStringLiteral("zub/pub_config"), used);
    mConfigGetTopic = topic(QStringLiteral("zub/sub_config_get"), used);
    mConfigSetTopic = topic(QStringLiteral("zub/sub_config_set"), used);
    mCardInspectedTopic = topic(QStringLiteral("zub/pub_card_inspected"), used);
    mRfidScannedTopic = topic(QStringLiteral("zub/pub_rfid_scanned"), used);
    mBarcodeScannedTopic = topic(QStringLiteral("zub/pub_barcode_scanned"), used);
}

void ZUBPrivate::onLocalConnected()
{
    emit info({{QStringLiteral("name"), QCoreApplication::applicationName()},
               {QStringLiteral("version"), QCoreApplication::applicationVersion()},
               {QStringLiteral("serialNumber"), QString::fromStdString(getSerialNumber())}});
    publishConfig();
}

void ZUBPrivate::onLocalReceived(const QByteArray &data, const QByteArray &topicName)
{
    // The client is shared: most of what arrives is for other components.
    const QString name = QString::fromUtf8(topicName);
    if (name == mConfigSetTopic)
        applyConfig(data, name);
    else if (name == mConfigGetTopic)
        publishConfig();
}

void ZUBPrivate::publishConfig()
{
    const QJsonDocument document = mConfig.toJsonDoc();
    if (!mConfigTopic.isEmpty())
        mLocal.publish(document.toJson(QJsonDocument::Compact), mConfigTopic.toUtf8(), qos(QStringLiteral("zub/pub_qos")));
    emit config(document);
}

void ZUBPrivate::applyConfig(const QByteArray &data, const QString &topicName)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        ZUB::Log.warning(QStringLiteral("Received malformed data on topic: ") + topicName);
        return;
    }
    QMap<QString, QVariant> settings;
    manager::JsonSettings().jsonToSettings(document, settings);
    // A key that no component reads (a typo, say) would be written and do nothing.
    const QMap<QString, QVariant> known = Configuration::defaults();
    QStringList unknown;
    for (auto it = settings.begin(); it != settings.end();) {
        if (known.contains(it.key())) {
            ++it;
            continue;
        }
        unknown << it.key();
        it = settings.erase(it);
    }
    if (!unknown.isEmpty())
        ZUB::Log.warning(QStringLiteral("WARN: Configuration set on ") + topicName
                         + QStringLiteral(" has unknown key(s), not stored: ") + unknown.join(QLatin1String(", ")));
    refuseUnusableTopics(settings, topicName);
    // Names only: the values may be credentials.
    ZUB::Log.info(QStringLiteral("Configuration set on ") + topicName + QStringLiteral(": ")
                  + QStringList(settings.keys()).join(QLatin1String(", ")));
    if (mConfig.setMultipleSettings(settings))
        reportRestartNeeded(settings.keys());
    publishConfig();
    // At once, not only when the file watcher reports the write.
    onSettingsChanged();
}

// Topic settings are saved only when the controller can use them at its next start. The
// topics in use stay as they are until then.
void ZUBPrivate::refuseUnusableTopics(QMap<QString, QVariant> &settings, const QString &from) const
{
    for (const TopicSetting &setting : TopicSettings) {
        if (!settings.contains(setting.key))
            continue;
        QMap<QString, QVariant> without = settings;
        without.remove(setting.key);
        const QString value = topic(setting.key, settings);
        const char *reason = nullptr;
        if (!isUsable(setting, value))
            reason = " is no usable topic";
        else if (hearsItself(settings) && !hearsItself(without))
            reason = " would make the controller hear its own messages";
        if (!reason)
            continue;
        ZUB::Log.warning(QStringLiteral("WARN: Configuration set on ") + from + QStringLiteral(" refused for ")
                         + setting.key + QStringLiteral(": ") + value + QLatin1String(reason));
        settings = without;
    }
}

bool ZUBPrivate::isOwnSubscription(const QString &topicName, const QMap<QString, QVariant> &pending) const
{
    for (const TopicSetting &setting : TopicSettings) {
        if (setting.subscribed && manager::MqttClient::topicMatches(topic(setting.key, pending), topicName))
            return true;
    }
    return false;
}

bool ZUBPrivate::hearsItself(const QMap<QString, QVariant> &pending) const
{
    for (const TopicSetting &setting : TopicSettings) {
        if (!setting.subscribed && setting.key != BaseKey && isOwnSubscription(topic(setting.key, pending), pending))
            return true;
    }
    return false;
}

// The topic as the settings stand once `pending` is stored.
QString ZUBPrivate::topic(const QString &key, const QMap<QString, QVariant> &pending) const
{
    return mConfig.get(key, pending).toString();
}

quint8 ZUBPrivate::qos(const QString &key) const
{
    return quint8(number(key, 0, 2));
}

int ZUBPrivate::number(const QString &key, int lowest, int highest) const
{
    return boundedNumber(mConfig, key, lowest, highest);
}
