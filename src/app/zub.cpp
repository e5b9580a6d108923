#include "app/zub.h"
#include "app/zub_p.h"

#include "db/dbmanager.h"
#include "framework/cli.h"
#include "framework/controllerdefaults.h"
#include "framework/jsonsettings.h"
#include "framework/logger.h"
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

#include <QDebug>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSettings>

#include <cstdlib>
#include <memory>

namespace {
const QString Tag = QStringLiteral("[ZUB] ");
}

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
    , d(std::make_unique<ZUBPrivate>())
{
    connect(d.get(), &ZUBPrivate::config, this, &ZUB::config);
}

ZUB::~ZUB() = default;

void ZUB::initialize()
{
    d->parseCommandLine();
    d->updateConfiguration();
    d->connectSignals();
    d->connectBrokers();
}

ZUBPrivate::ZUBPrivate() = default;

ZUBPrivate::~ZUBPrivate() = default;

void ZUBPrivate::parseCommandLine()
{
    const QVariantMap options = manager::CLI(QString()).parse();

    // The outputs first, so that a warning about the level reaches them.
    manager::Logger *logger = manager::Logger::instance();
    logger->setSyslog(mConfig.get(QStringLiteral("log/syslog")).toBool());
    logger->setStderr(options.contains(QStringLiteral("stderr")) || mConfig.get(QStringLiteral("log/stderr")).toBool());
    logger->setColor(options.contains(QStringLiteral("color")) || mConfig.get(QStringLiteral("log/color")).toBool());
    logger->setLevel(options.contains(QStringLiteral("level")) ? options.value(QStringLiteral("level")).toInt()
                                                                : number(QStringLiteral("log/level"), 0, 4));

    manager::Settings *settings = manager::Settings::instance();
    if (options.contains(QStringLiteral("conf"))) {
        const QFileInfo file(options.value(QStringLiteral("conf")).toString());
        if (manager::Settings::fileExists(file))
            settings->setDefaultLocation(file);
        else
            qWarning().noquote().nospace() << Tag << "WARN: Settings file " << file.absoluteFilePath()
                                           << " not found, keeping " << settings->path() << '/' << settings->name();
    }

    mConfig.print();

    if (options.contains(QStringLiteral("save"))) {
        const QString target = settings->path() + QLatin1Char('/') + settings->name();
        if (!mConfig.save()) {
            qCritical().noquote().nospace() << Tag << "ERROR: Could not save the configuration to " << target;
            std::exit(EXIT_FAILURE);
        }
        qInfo().noquote().nospace() << Tag << "Configuration saved to " << target;
        std::exit(EXIT_SUCCESS);
    }
}

void ZUBPrivate::updateConfiguration()
{
    const std::unique_ptr<QSettings> current(manager::Settings::instance()->create());
    if (!current->allKeys().isEmpty())
        return;
    qInfo().noquote().nospace() << Tag << "Settings file " << current->fileName() << " is empty, writing every default";
    mConfig.save();
}

void ZUBPrivate::connectSignals()
{
    connect(&mLocal, &manager::MqttClient::connected, this, &ZUBPrivate::onLocalConnected);
    connect(&mLocal, &manager::MqttClient::received, this, &ZUBPrivate::onLocalReceived);
}

void ZUBPrivate::connectBrokers()
{
    configureClient(mObu, QStringLiteral("zub/obu_"));
    configureClient(mLocal, QStringLiteral("zub/"));
    mLocal.setKeepAlive(quint8(number(QStringLiteral("zub/keep_alive"), 0, 255)));
    mLocal.setWillTopic(topic(QStringLiteral("zub/will_topic")));
    mLocal.setWillMessage(mConfig.get(QStringLiteral("zub/will_message")).toString().toUtf8());

    const quint8 subQos = qos(QStringLiteral("zub/sub_qos"));
    mLocal.subscribe(topic(QStringLiteral("zub/sub_config_get")).toUtf8(), subQos);
    mLocal.subscribe(topic(QStringLiteral("zub/sub_config_set")).toUtf8(), subQos);

    mObu.connect();
    mLocal.connect();
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

void ZUBPrivate::onLocalConnected()
{
    publishConfig();
}

void ZUBPrivate::onLocalReceived(const QByteArray &data, const QByteArray &topicName)
{
    // The client is shared: most of what arrives is for other components.
    const QString name = QString::fromUtf8(topicName);
    if (name == topic(QStringLiteral("zub/sub_config_set")))
        applyConfig(data, name);
    else if (name == topic(QStringLiteral("zub/sub_config_get")))
        publishConfig();
}

void ZUBPrivate::publishConfig()
{
    const QJsonDocument document = mConfig.toJsonDoc();
    mLocal.publish(document.toJson(QJsonDocument::Compact), topic(QStringLiteral("zub/pub_config")).toUtf8(),
                   qos(QStringLiteral("zub/pub_qos")));
    emit config(document);
}

void ZUBPrivate::applyConfig(const QByteArray &data, const QString &topicName)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        qWarning().noquote().nospace() << Tag << "Received malformed data on topic: " << topicName;
        return;
    }
    QMap<QString, QVariant> settings;
    manager::JsonSettings().jsonToSettings(document, settings);
    // Names only: the values may be credentials.
    qInfo().noquote().nospace() << Tag << "Configuration set on " << topicName << ": "
                                << QStringList(settings.keys()).join(QLatin1String(", "));
    mConfig.setMultipleSettings(settings);
    publishConfig();
}

QString ZUBPrivate::topic(const QString &key) const
{
    return mConfig.get(key).toString();
}

quint8 ZUBPrivate::qos(const QString &key) const
{
    return quint8(number(key, 0, 2));
}

int ZUBPrivate::number(const QString &key, int lowest, int highest) const
{
    bool ok = false;
    const QVariant value = mConfig.get(key);
    const int n = value.toInt(&ok);
    if (ok && n >= lowest && n <= highest)
        return n;
    const int fallback = Configuration::defaults().value(key).toInt();
    qWarning().noquote().nospace() << Tag << "WARN: Setting " << key << " is not a number from " << lowest << " to "
                                   << highest << ": " << value.toString() << ", using " << fallback;
    return fallback;
}
