#pragma once

#include "inspection/inspectorresult.h"
#include "inspection/rfidinspector.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>
#include <memory>

class Configuration;
class DBManager;
class RfidManager;

namespace manager {
class MqttClient;
}

// The card road of inspection mode: a reader client of its own on the shared connection,
// one inspector per template of "rfid/card_type", and for every auto-read card the
// reader's LEDs and either inspectedCard or cardInspectionError. Never writes a card back,
// but lets the reader complete an EMV transaction. Lives on the main thread.
class CardInspector : public QObject
{
    Q_OBJECT
public:
    CardInspector(manager::MqttClient *client, DBManager &db, QObject *parent = nullptr);
    ~CardInspector() override;
    Q_DISABLE_COPY(CardInspector)

    // While blocked, tapped cards are dropped, not delayed.
    void blockRfidSignals(bool block);
    // Hands the clock to every inspector.
    void setClock(const RfidInspector::Clock &clock);

signals:
    void inspectedCard(InspectorResult res);
    void cardInspectionError();

public slots:
    void onCardAutoread(QVariantMap card);

private:
    void initCardInspectors();
    void sendInspectionError();
    void onRfidError(const QVariantMap &error);
    void setLeds(bool red, bool green, bool blue, bool yellow);

    std::unique_ptr<Configuration> mConfig;
    DBManager &mDb;
    std::unique_ptr<RfidManager> mRfid;
    std::map<QString, std::unique_ptr<RfidInspector>> mInspectors;
};
