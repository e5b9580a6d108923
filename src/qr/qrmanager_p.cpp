#include "qr/qrmanager_p.h"

#include "framework/logtag.h"
#include "framework/mqttclient.h"
#include "qr/masterkey/qrmasterkey.h"
#include "qr/qrcrypto.h"
#include "qr/qrmanager.h"

#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <atomic>

namespace {

const manager::LogTag Log(QStringLiteral("[qr] "));

// Some scanners put this ECI designator in front of the code's text.
const QString EciHeader = QStringLiteral("\\000026");

QVariantMap toMap(const QJsonDocument &doc)
{
    // Anything but an object gives the empty map.
    return doc.object().toVariantMap();
}

// Control characters escaped, so a printed code cannot start lines of its own in the log.
QString printable(const QString &text)
{
    const auto isControl = [](QChar c) {
        const ushort u = c.unicode();
        return u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029;
    };
    if (std::none_of(text.begin(), text.end(), isControl))
        return text;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        if (!isControl(c))
            out += c;
        else if (c.unicode() < 0x100)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

} // namespace

QRManagerPrivate::QRManagerPrivate(manager::MqttClient *client, QObject *parent)
    : QObject(parent)
    , mTopics(mConfig.topics(QRManager::Defaults))
    , mClient(client)
    , mCrypto(mFactory.create(mConfig.get(QStringLiteral("qr/crypto")).toString()))
{
    static std::atomic_bool keyWarned{false};
    if (mCrypto && !QrMasterKey::isSet() && !keyWarned.exchange(true))
        Log.warning(QStringLiteral("WARN: Built without a QR master key: tickets are deciphered with an all-zero key"));

    if (!mClient) {
        Log.critical(QStringLiteral("ERROR: No MQTT client: the scanner cannot be reached"));
        return;
    }
    connect(mClient, &manager::MqttClient::received, this, &QRManagerPrivate::onReceived);

    const quint8 qos = static_cast<quint8>(mConfig.get(QStringLiteral("qr/sub_qos")).toInt() & 0xff);
    for (const char *key : {"qr/sub_info", "qr/sub_status", "qr/sub_data", "qr/sub_config", "qr/sub_error"})
        mClient->subscribe(topic(QLatin1String(key)), qos);
}

QRManagerPrivate::~QRManagerPrivate() = default;

// The flag follows the service's reports only: a request that is lost changes nothing.
void QRManagerPrivate::enable()
{
    if (mEnabled)
        return;
    Log.info(QStringLiteral("Enable request"));
    publish(QStringLiteral("qr/pub_enable"), "{}");
}

void QRManagerPrivate::disable()
{
    if (!mEnabled)
        return;
    Log.info(QStringLiteral("Disable request"));
    publish(QStringLiteral("qr/pub_disable"), "{}");
}

void QRManagerPrivate::reset()
{
    Log.info(QStringLiteral("Reset request"));
    publish(QStringLiteral("qr/pub_reset"), "{}");
}

void QRManagerPrivate::getConfig()
{
    Log.info(QStringLiteral("Get configuration request"));
    publish(QStringLiteral("qr/pub_getconfig"), "{}");
}

void QRManagerPrivate::setConfig(const QVariantMap &config)
{
    const QByteArray text = QJsonDocument(QJsonObject::fromVariantMap(config)).toJson(QJsonDocument::Indented);
    Log.info(QStringLiteral("Set configuration request:\n") + QString::fromUtf8(text));
    publish(QStringLiteral("qr/pub_setconfig"), text);
}

void QRManagerPrivate::onReceived(const QByteArray &data, const QByteArray &topic)
{
    QJsonParseError parseError;
    QJsonDocument doc = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        if (!data.isEmpty()) {
            Log.warning(QStringLiteral("Received malformed data on topic: ") + QString::fromUtf8(topic));
            return;
        }
        doc = QJsonDocument(QJsonObject());
    }

    using Handler = void (QRManagerPrivate::*)(const QJsonDocument &);
    struct Route
    {
        const char *key;
        Handler handler;
    };
    static const Route routes[] = {
        {"qr/sub_status", &QRManagerPrivate::onStatus}, {"qr/sub_info", &QRManagerPrivate::onInfo},
        {"qr/sub_data", &QRManagerPrivate::onScan},     {"qr/sub_config", &QRManagerPrivate::onConfig},
        {"qr/sub_error", &QRManagerPrivate::onError},
    };
    for (const Route &route : routes) {
        if (topic == this->topic(QLatin1String(route.key))) {
            (this->*route.handler)(doc);
            return;
        }
    }
}

void QRManagerPrivate::onStatus(const QJsonDocument &doc)
{
    Log.debug(QStringLiteral("Received status response"));
    const QJsonObject root = doc.object();
    const QJsonObject device = root.value(QStringLiteral("device")).toObject();
    const bool service = root.value(QStringLiteral("service")).toBool(false);
    const bool active = device.value(QStringLiteral("active")).toBool(false);
    mEnabled = service && active && device.value(QStringLiteral("enabled")).toBool(false);
    calculateServiceStatus(service, active);
    emit status(root.toVariantMap());
}

void QRManagerPrivate::onInfo(const QJsonDocument &doc)
{
    Log.info(QStringLiteral("Received info response"));
    emit info(toMap(doc));
}

void QRManagerPrivate::onConfig(const QJsonDocument &doc)
{
    Log.info(QStringLiteral("Received config response"));
    emit config(toMap(doc));
}

void QRManagerPrivate::onError(const QJsonDocument &doc)
{
    Log.info(QStringLiteral("Received operation error"));
    const QVariantMap map = toMap(doc);
    emit error(QStringLiteral("Command ") + map.value(QStringLiteral("command")).toString()
               + QStringLiteral(" failed: ") + map.value(QStringLiteral("error")).toString());
}

void QRManagerPrivate::onScan(const QJsonDocument &doc)
{
    Log.info(QStringLiteral("Received scanned data"));
    QString text = doc.object().value(QStringLiteral("data")).toString();
    if (text.size() > MaxScanLength) {
        if (Log.isWarningEnabled())
            Log.warning(QStringLiteral("WARN: Scanned data of %1 characters dropped: above %2")
                            .arg(text.size())
                            .arg(MaxScanLength));
        return;
    }
    // Lines written once per scan are only built when someone reads them.
    const bool infoOn = Log.isInfoEnabled();
    if (infoOn)
        Log.info(QStringLiteral("Raw QR Data : (") + QString::number(text.size() / 2) + QStringLiteral(") ")
                 + printable(text));

    if (text.startsWith(EciHeader)) {
        Log.info(QStringLiteral("Detected ECI header \\000026. Removing."));
        text.remove(0, EciHeader.size());
    }

    if (text.startsWith(QLatin1Char('{')) || text.startsWith(QLatin1Char('['))) {
        QJsonParseError parseError;
        const QJsonDocument code = QJsonDocument::fromJson(text.toUtf8(), &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            if (Log.isWarningEnabled())
                Log.warning(QStringLiteral("WARN: Maintenance QR scanned with malformed data :")
                            + parseError.errorString());
            return;
        }
        if (infoOn)
            Log.info(QStringLiteral("Maintenance QR code scanned : ")
                     + QString::fromUtf8(code.toJson(QJsonDocument::Indented)));
        emit maintenanceQrScanned(code.object());
        return;
    }

    if (!mCrypto) {
        Log.warning(QStringLiteral("No ticket decryptor available!"));
        return;
    }
    QVector<unsigned char> bytes = mCrypto->decrypt(text);
    if (infoOn) {
        const QByteArray hex =
            QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.constData()), bytes.size()).toHex();
        Log.info(QStringLiteral("Decrypted   : (") + QString::number(hex.size()) + QStringLiteral(") ")
                 + QString::fromLatin1(hex.toHex()));
    }
    if (bytes.isEmpty()) {
        Log.warning(QStringLiteral("Malformed Payload"));
        return;
    }

    const QString ticket = ticketText(bytes);
    if (infoOn)
        Log.info(QStringLiteral("Decrypted ticket: ") + printable(ticket));
    emit ticketScanned(ticket);
}

QString QRManagerPrivate::ticketText(QVector<unsigned char> &bytes)
{
    const bool binary = std::any_of(bytes.cbegin(), bytes.cend(), [](unsigned char b) { return b > 127; });
    if (!binary) {
        const int end = bytes.indexOf(0);
        return QString::fromLocal8Bit(reinterpret_cast<const char *>(bytes.constData()),
                                      end < 0 ? bytes.size() : end);
    }
    switch (bytes.size()) {
    case 33:
        return mCrypto->v4BinaryToAsciiQr(bytes);
    case 48:
        return mCrypto->v2BinaryToAsciiQr(bytes);
    case 54:
        return mCrypto->v21BinaryToAsciiQr(bytes);
    default:
        Log.warning(bytes.size() <= 32 ? QStringLiteral("Corrupted payload") : QStringLiteral("Unhandled payload size"));
        return QString();
    }
}

void QRManagerPrivate::calculateServiceStatus(bool service, bool active)
{
    if (!service)
        mServiceStatus = QStringLiteral("CRITICAL");
    else if (active)
        mServiceStatus = QStringLiteral("GOOD");
    else
        mServiceStatus = QStringLiteral("WARNING");
}

QByteArray QRManagerPrivate::topic(const QString &key) const
{
    return mTopics.value(key);
}

void QRManagerPrivate::publish(const QString &key, const QByteArray &payload)
{
    if (!mClient)
        return;
    const quint8 qos = static_cast<quint8>(mConfig.get(QStringLiteral("qr/pub_qos")).toInt() & 0xff);
    mClient->publish(payload, topic(key), qos, false);
}
