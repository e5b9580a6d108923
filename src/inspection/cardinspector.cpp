#include "inspection/cardinspector.h"

#include "framework/configuration.h"
#include "framework/logtag.h"
#include "inspection/rfidinspectorfactory.h"
#include "rfid/ledresult.h"
#include "rfid/rfidcard.h"
#include "rfid/rfidcardfactory.h"
#include "rfid/rfidmanager.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QJsonObject>

#include <exception>

namespace {

const manager::LogTag kLog(QStringLiteral("[card_inspector] "));
const QString kEmvTemplate = QStringLiteral("EMV");

// The service's lines keep the form of the debug stream they were first written with: a blank
// after the tag and after each piece, texts from the card map and the setting in double quotes.
template <typename... Pieces>
QString streamed(const Pieces &...pieces)
{
    QString text;
    QDebug stream(&text);
    ((stream << pieces), ...);
    return QLatin1Char(' ') + text.chopped(1);
}

} // namespace

CardInspector::CardInspector(manager::MqttClient *client, DBManager &db, QObject *parent)
    : QObject(parent)
    , mConfig(std::make_unique<Configuration>())
    , mDb(db)
    , mRfid(std::make_unique<RfidManager>(client))
{
    qRegisterMetaType<InspectorResult>("InspectorResult");
    initCardInspectors();
    connect(mRfid.get(), &RfidManager::cardAutoread, this, &CardInspector::onCardAutoread);
}

CardInspector::~CardInspector() = default;

void CardInspector::blockRfidSignals(bool block)
{
    mRfid->blockSignals(block);
}

void CardInspector::setClock(const RfidInspector::Clock &clock)
{
    for (auto &entry : mInspectors)
        entry.second->setClock(clock);
}

void CardInspector::initCardInspectors()
{
    // Split as written: a blank before a template makes an entry no inspector matches.
    const QStringList templates =
        mConfig->get(QStringLiteral("rfid/card_type")).toString().split(QLatin1Char(','), Qt::KeepEmptyParts);
    kLog.info(streamed("Initializing rfid inspectors for cards: ", templates));
    for (const QString &templateName : templates) {
        std::unique_ptr<RfidInspector> inspector(
            RfidInspectorFactory::create(templateName, mDb, std::shared_ptr<Basket>()));
        if (!inspector) {
            kLog.info(streamed("Error while creating inspectors."));
            kLog.info(streamed("No suitable card inspector for card type ", templateName));
            continue;
        }
        kLog.info(streamed("Created ", templateName, " inspector"));
        // A repeated template replaces, and frees, the earlier inspector.
        mInspectors[templateName] = std::move(inspector);
    }
}

void CardInspector::onCardAutoread(QVariantMap card)
{
    QElapsedTimer overall;
    overall.start();
    const QString templateName = card.value(QStringLiteral("template")).toString();

    if (card.contains(QStringLiteral("error"))) {
        const QVariantMap error = card.value(QStringLiteral("error")).toMap();
        kLog.critical(streamed("ERROR: Card read failed during inspection: ", error.value(QStringLiteral("what")).toString()));
        onRfidError(error);
        return;
    }

    std::unique_ptr<RfidCard> model;
    try {
        model.reset(RfidCardFactory::create(card));
    } catch (const std::exception &e) {
        kLog.critical(streamed("Reading card for inspection failed: ", e.what()));
        sendInspectionError();
        return;
    }

    if (templateName == kEmvTemplate && model) {
        kLog.info([] { return streamed("EMV card tapped for inspection ===> Send writeCard to rfid to complete EMV transaction"); });
        QMetaObject::invokeMethod(mRfid.get(), "writeCard", Qt::QueuedConnection,
                                  Q_ARG(QVariantMap, model->toJson().toVariantMap()));
    }

    const auto found = mInspectors.find(templateName);
    if (found == mInspectors.end()) {
        kLog.info([&templateName] { return streamed("No suitable card inspector for card type '", templateName, "'"); });
        sendInspectionError();
        return;
    }
    RfidInspector &inspector = *found->second;

    const qint64 parsedMs = overall.elapsed();
    kLog.info([parsedMs] { return streamed("Parsing done in ", parsedMs, "ms"); });
    const bool passed = inspector.inspectCard(model.get());
    kLog.info([passed] { return streamed("Inspection result ", passed ? "[OK]" : "[NOK]"); });
    const qint64 doneMs = overall.elapsed();
    kLog.info([&] { return streamed("Inspection done in ", doneMs - parsedMs, "ms"); });
    kLog.info([doneMs] { return streamed("ZUB overall ", doneMs, "ms"); });

    // The record's verdict, not the returned flag, chooses the LEDs.
    if (inspector.getResult().getResult())
        setLeds(false, true, true, true);
    else
        setLeds(true, false, true, true);
    emit inspectedCard(inspector.getResult());
}

void CardInspector::sendInspectionError()
{
    setLeds(true, false, true, true);
    emit cardInspectionError();
}

void CardInspector::onRfidError(const QVariantMap &error)
{
    kLog.info(streamed("Rfid error (", error.value(QStringLiteral("code")).toInt(), "): ",
                       error.value(QStringLiteral("command")).toString(), ": ", error.value(QStringLiteral("what")).toString()));
    sendInspectionError();
}

void CardInspector::setLeds(bool red, bool green, bool blue, bool yellow)
{
    QMetaObject::invokeMethod(mRfid.get(), "ledSet", Qt::QueuedConnection,
                              Q_ARG(QJsonObject, LedResult(red, green, blue, yellow).toJson()));
}
