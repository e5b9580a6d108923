#pragma once

#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "support/brokerfixture.h"
#include "support/jsonpath.h"
#include "support/testenv.h"
#include "tarvik/fareproducts.h"
#include "tarvik/route.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

// Start-up steps many tests share. Header-only: a test links the libraries of what it calls.
namespace Harness {

// False when the second run's zone west of UTC silently fell back to UTC (no zone data).
inline bool zoneKnown()
{
    return qgetenv("TZ") != "America/New_York" || QDateTime::currentDateTime().offsetFromUtc() < 0;
}

// Writes the folder's settings file and makes it the one every component reads.
inline bool useSettings(const TestEnv &env, const QByteArray &content = QByteArray())
{
    if (!env.writeFile(QStringLiteral("zub.conf"), content))
        return false;
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));
    return true;
}

// Connects the client to the broker and waits until its own probe, subscribed last, comes back:
// the broker then holds every subscription the client was asked for before.
inline bool connect(manager::MqttClient &client, const BrokerFixture &broker)
{
    client.setHostname(broker.host());
    client.setPort(broker.port());
    client.subscribe("test/probe", 0);
    QSignalSpy probe(&client, &manager::MqttClient::received);
    client.connect();
    return QTest::qWaitFor([&] { return client.publish("{}", "test/probe") && probe.wait(50); }, 10000);
}

// A route file as the OBU link would hand it over ("route", "carrierId", "fareProducts"), at
// stop 21 of axis 6; null when the route has no such stop.
inline std::shared_ptr<tarvik::Route> loadRoute(const QString &fileName)
{
    const QJsonObject data = JsonPath::readFile(fileName).object();
    auto route = std::make_shared<tarvik::Route>(data["route"].toObject());
    route->setCarrierId(data["carrierId"].toInt());
    route->setFareProducts(tarvik::FareProducts(data["fareProducts"].toObject()));
    return route->acceptRouteProgress(tarvik::RouteProgress(6, 21)) ? route : nullptr;
}

} // namespace Harness
