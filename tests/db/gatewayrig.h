#pragma once

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/testenv.h"

#include <QtTest>

#include <memory>

// The data gateway as the controller starts it, shared by the gateway's tests: a settings file
// in a fresh folder (the back-end link's files go below it), the client of a private broker and
// a scripted database service beside it. Lives on the test's thread.
class GatewayRig
{
public:
    static void setSetting(const QString &key, const QVariant &value) { Configuration().set(key, value); }

    // A fresh folder and settings file; the settings given are written before anything starts.
    bool prepare(const QVariantMap &settings = {})
    {
        stop();
        mEnv = std::make_unique<TestEnv>();
        if (!mEnv->writeFile("zub.conf", QByteArray()))
            return false;
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv->settingsFile()));
        setSetting("tarvik/storagePath", mEnv->filePath("tarvik"));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            setSetting(it.key(), it.value());
        return true;
    }

    // Connects the gateway and the service; returns once the gateway hears the service's
    // requests, its last subscription. `initialize` also starts the back-end link.
    bool start(const BrokerFixture &broker, bool initialize)
    {
        mPeer = std::make_unique<DbServicePeer>();
        if (!mPeer->connectTo(broker.host(), broker.port()))
            return false;
        mClient = std::make_unique<manager::MqttClient>();
        mClient->setHostname(broker.host());
        mClient->setPort(broker.port());
        mClient->setClientId(QStringLiteral("zub-gateway-%1").arg(++mCount));
        mDb = std::make_unique<DBManager>(mClient.get());
        QSignalSpy connected(mClient.get(), &manager::MqttClient::connected);
        mClient->connect();
        if (!connected.wait(10000))
            return false;
        if (initialize)
            mDb->initialize();
        QSignalSpy heard(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
        return QTest::qWaitFor([&] { return mPeer->publishUiRequest("issueSingleTicket", 0), heard.wait(20); }, 10000) && sync();
    }

    // Waits until the gateway has handled everything the service published before.
    bool sync()
    {
        const QString probe = QStringLiteral("sync-%1").arg(++mCount);
        mPeer->publishInfo(QJsonObject{{"service", QJsonObject{{"version", probe}}}});
        return QTest::qWaitFor([&] { return mDb->info().serviceVersion == probe; }, 5000);
    }

    void stop()
    {
        mDb.reset();
        mClient.reset();
        mPeer.reset();
    }

    TestEnv &env() { return *mEnv; }
    DbServicePeer &peer() { return *mPeer; }
    DBManager *db() { return mDb.get(); }
    DBManager *releaseDb() { return mDb.release(); }
    manager::MqttClient *client() { return mClient.get(); }

private:
    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<DbServicePeer> mPeer;
    std::unique_ptr<manager::MqttClient> mClient;
    std::unique_ptr<DBManager> mDb;
    int mCount = 0;
};
