// The device side of the controller: its state and what follows from it, the readers, the
// inspection mode and the publication of every verdict.
#include "app/zub.h"
#include "app/zub_p.h"

#include "framework/logtag.h"
#include "framework/settings.h"
#include "inspection/inspectorresult.h"
#include "validator/results/validatorresult.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <utility>

QString ZUBPrivate::State::verdict() const
{
    if (initialising)
        return QStringLiteral("init");
    if (!localBroker || !obu)
        return QStringLiteral("offline");
    if (inspection)
        return rfid ? QStringLiteral("online") : QStringLiteral("degraded");
    if (!route)
        return QStringLiteral("out-of-service");
    return qr && rfid ? QStringLiteral("online") : QStringLiteral("degraded");
}

QString ZUBPrivate::State::reason() const
{
    if (initialising)
        return QStringLiteral("starting");
    if (!localBroker)
        return QStringLiteral("no connection to the local broker");
    if (!obu)
        return QStringLiteral("no connection to the OBU broker");
    if (!inspection && !route)
        return QStringLiteral("no route");
    QStringList down;
    if (!rfid)
        down << QStringLiteral("card reader");
    if (!qr && !inspection)
        down << QStringLiteral("QR scanner");
    return down.isEmpty() ? QString() : down.join(QLatin1String(" and ")) + QStringLiteral(" down");
}

bool ZUBPrivate::State::operator==(const State &other) const
{
    return initialising == other.initialising && localBroker == other.localBroker && obu == other.obu
           && qr == other.qr && rfid == other.rfid && route == other.route && inspection == other.inspection;
}

void ZUBPrivate::connectDevice()
{
    connect(this, &ZUBPrivate::stateChanged, this, &ZUBPrivate::onStateChanged);
    const auto flag = [this](bool State::*field, bool value) {
        return [this, field, value] {
            State next = mState;
            next.*field = value;
            setState(next);
        };
    };
    connect(&mLocal, &manager::MqttClient::connected, this, flag(&State::localBroker, true));
    connect(&mLocal, &manager::MqttClient::disconnected, this, flag(&State::localBroker, false));
    connect(&mObu, &manager::MqttClient::connected, this, flag(&State::obu, true));
    connect(&mObu, &manager::MqttClient::disconnected, this, flag(&State::obu, false));
    connect(&mInitTimer, &QTimer::timeout, this, &ZUBPrivate::onInitialisationTimeout);
    connect(manager::Settings::instance(), &manager::Settings::fileChanged, this, &ZUBPrivate::onSettingsChanged);

    connect(&mValidator, &Validator::status, this, &ZUBPrivate::onValidatorStatus);
    connect(&mValidator, &Validator::validatedCard, this,
            [this](const ValidatorResult &result) { publishResult(mRfidScannedTopic, result.toJson()); });
    connect(&mValidator, &Validator::scannedTicket, this,
            [this](const ValidatorResult &result) { publishResult(mBarcodeScannedTopic, result.toJson()); });
    connect(&mValidator, &Validator::cardTransactionError, this,
            [] { ZUB::Log.warning(QStringLiteral("WARN: Card transaction failed")); });
    connect(&mValidator, &Validator::foundEmployeeCard, this, [](const QString &uid, uint employee) {
        ZUB::Log.info([&] { return QStringLiteral("Employee card %1 (employee %2)").arg(uid, QString::number(employee)); });
    });
    connect(&mValidator, &Validator::maintenanceQrScanned, this, [](const QJsonObject &code) {
        ZUB::Log.info([&code] {
            return QStringLiteral("Maintenance code scanned: ")
                + QString::fromUtf8(QJsonDocument(code).toJson(QJsonDocument::Compact));
        });
    });
    connect(&mInspector, &CardInspector::inspectedCard, this,
            [this](const InspectorResult &result) { publishResult(mCardInspectedTopic, result.toJson()); });
    connect(&mInspector, &CardInspector::cardInspectionError, this,
            [] { ZUB::Log.warning(QStringLiteral("WARN: Card inspection failed")); });

    // The settings file is complete by now: apply the mode it holds.
    onSettingsChanged();
}

void ZUBPrivate::setState(const State &state)
{
    State next = state;
    // Start-up ends once both readers are up.
    if (next.initialising && next.qr && next.rfid)
        next.initialising = false;
    if (next == mState)
        return;
    mState = next;
    emit stateChanged();
}

void ZUBPrivate::onStateChanged()
{
    const State old = std::exchange(mApplied, mState);
    const State &now = mApplied;
    // The readers' clients drop an enable sent before their service reports up: switch them
    // when it does.
    if (now.rfid != old.rfid)
        mValidator.setRfid(now.rfid);
    if (now.qr != old.qr)
        mValidator.setBarcode(now.qr);
    if (now.inspection != old.inspection) {
        ZUB::Log.info(QStringLiteral("Inspection mode ") + QLatin1String(now.inspection ? "on" : "off"));
        mValidator.blockRfidSignals(now.inspection);
        mInspector.blockRfidSignals(!now.inspection);
    }
    if (old.initialising && !now.initialising)
        mInitTimer.stop();
    if (now.verdict() != old.verdict() || now.reason() != old.reason())
        ZUB::Log.info(QStringLiteral("State ") + now.verdict()
                      + (now.reason().isEmpty() ? QString() : QStringLiteral(": ") + now.reason()));
    publishState();
}

void ZUBPrivate::onValidatorStatus(const QVariantMap &status)
{
    State next = mState;
    next.qr = status.value(QStringLiteral("qr")).toBool();
    next.rfid = status.value(QStringLiteral("rfid")).toBool();
    setState(next);
}

void ZUBPrivate::onInitialisationTimeout()
{
    if (!mState.initialising)
        return;
    ZUB::Log.warning(QStringLiteral("WARN: Readers not up after %1 ms: start-up ends without them").arg(InitialisationTimeout));
    State next = mState;
    next.initialising = false;
    setState(next);
}

void ZUBPrivate::onSettingsChanged()
{
    State next = mState;
    next.inspection = inspectionMode();
    setState(next);
}

// What a configuration set stored: the controller applies some settings at once, the others
// take effect when the components read them at the next start.
void ZUBPrivate::reportRestartNeeded(const QStringList &keys) const
{
    QStringList later;
    for (const QString &key : keys) {
        if (!Configuration::isLive(key))
            later << key;
    }
    if (!later.isEmpty())
        ZUB::Log.info(QStringLiteral("Settings saved, in effect from the next start: ")
                      + later.join(QLatin1String(", ")));
}

bool ZUBPrivate::inspectionMode() const
{
    return mConfig.get(QStringLiteral("zub/inspection_mode")).toBool();
}

// On the will topic, retained like the will, so that the broker's copy is always the last word.
void ZUBPrivate::publishState()
{
    const QJsonObject status{{QStringLiteral("service"), true},
                             {QStringLiteral("state"), mState.verdict()},
                             {QStringLiteral("reason"), mState.reason()}};
    emit statusChanged(status);
    if (!mState.localBroker || mWillTopic.isEmpty())
        return;
    mLocal.publish(QJsonDocument(status).toJson(QJsonDocument::Compact), mWillTopic.toUtf8(),
                   qos(QStringLiteral("zub/pub_qos")), true);
}

void ZUBPrivate::publishResult(const QString &topicName, const QJsonObject &result)
{
    if (topicName.isEmpty())
        return;
    mLocal.publish(QJsonDocument(result).toJson(QJsonDocument::Compact), topicName.toUtf8(),
                   qos(QStringLiteral("zub/pub_qos")));
}
