#include "tarvik/fareproducts.h"
#include "tarvik/route.h"

#include "support/goldenfile.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QtTest>

#include <stdexcept>

using tarvik::FareProduct;
using tarvik::FareProducts;
using tarvik::Route;
using tarvik::RouteProgress;
using tarvik::Stop;

class tst_Route : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cases_data();
    void cases();
};

namespace {

// The cases of data/routes.json: a route message, fare product messages, a stop set first, progress
// events and look-ups; what the route made of them (its fields and texts, each event's verdict,
// products and warnings, the answers) is pinned in data/routes[.west].expected.json (the
// departure is read in local time); ZUB_WRITE_GOLDEN=1 writes that file.
QJsonObject runCase(const QJsonObject &c)
{
    LogCapture log;
    try {
        Route route(c.value("route").toObject());
        for (const QJsonValue &fares : c.value("fares").toArray())
            route.setFareProducts(FareProducts(fares.toObject()));
        if (c.contains("start"))
            route.setCurrentStopId(c.value("start").toInt());
        const QJsonArray ids = c.value("ids").toArray();
        if (!ids.isEmpty()) {
            route.setCarrierId(ids.at(0).toInt());
            route.setVehicleId(ids.at(1).toString());
            route.setDeviceId(ids.at(2).toInt());
        }
        const RouteProgress first = route.getFirstRouteProgress();
        QJsonObject out{{"status", route.getStatus()}, {"axis", QStringLiteral("%1 %2 %3 %4").arg(route.getAxisId())
                            .arg(route.getPublicId()).arg(route.getAxisName()).arg(route.useAxisProducts())},
                        {"execution", QStringLiteral("%1 %2 %3").arg(route.getRouteExecution().tripsExecutionId)
                            .arg(route.getRouteExecution().tripsRouteId).arg(route.getRouteExecution().departureDate)},
                        {"stops", QJsonArray::fromStringList([&] { QStringList l; for (const Stop &st : route.getStops()) l << QString::number(st.getId()); return l; }())},
                        {"current", QStringLiteral("%1 %2").arg(route.getCurrentStop().getId()).arg(route.getCurrentStopGroup().getId())},
                        {"first", QStringLiteral("%1 %2 %3 %4").arg(first.getAxisId()).arg(first.getStopId()).arg(first.getEventType()).arg(first.getHasGpsLock())},
                        {"text", QJsonArray::fromStringList(route.toString())}};
        log.clear();
        route.log();
        out.insert("log", QJsonArray::fromStringList(log.texts()));
        QJsonArray events;
        for (const QJsonValue &value : c.value("events").toArray()) {
            log.clear();
            const RouteProgress progress(value.toObject());
            const bool can = route.canAcceptRouteProgress(progress);
            QStringList products;
            const bool accepted = route.acceptRouteProgress(progress);
            for (const auto &entry : route.getFareProducts())
                products << QStringLiteral("%1:%2:%3").arg(entry.first).arg(entry.second.getName()).arg(entry.second.getActive());
            QStringList valid;
            for (const FareProduct &product : route.validFareProducts())
                valid << QString::number(product.getId()) + ':' + product.getName();
            events.append(QJsonObject{{"accepted", QStringLiteral("%1 %2").arg(can).arg(accepted)},
                                      {"current", route.getCurrentStop().getId()}, {"products", products.join(' ')},
                                      {"valid", valid.join(' ')}, {"log", QJsonArray::fromStringList(log.texts())}});
        }
        out.insert("events", events);
        if (c.contains("setStop"))
            route.setCurrentStopId(c.value("setStop").toInt());
        out.insert("position", route.toJson());
        QStringList answers;
        for (const QJsonValue &stop : c.value("next").toArray())
            answers << QStringLiteral("next(%1)=%2").arg(stop.toInt()).arg(route.getNextStopId(stop.toInt()));
        for (const QJsonValue &stop : c.value("stops").toArray())
            answers << QStringLiteral("stop(%1)=%2 %3 %4 %5").arg(stop.toInt()).arg(route.getStop(stop.toInt()).getId())
                           .arg(route.getStop(stop.toInt()).getName()).arg(route.getStop(stop.toInt()).getPublicId())
                           .arg(route.getStop(stop.toInt()).getOrdinal());
        for (const QJsonValue &stop : c.value("zones").toArray()) {
            const tarvik::StopGroup zone = route.getStopGroupFromStop(stop.toInt());
            answers << QStringLiteral("zone(%1)=%2 %3 %4").arg(stop.toInt()).arg(zone.getId()).arg(zone.getName()).arg(zone.getStops().size());
        }
        for (const QJsonValue &type : c.value("ptypes").toArray()) {
            const auto found = type.isString() ? route.findPassengerType(type.toString()) : route.findPassengerType(type.toInt());
            answers << QStringLiteral("type(%1)=%2 %3 %4").arg(type.toVariant().toString()).arg(found.id).arg(found.code)
                           .arg(route.getPassengerTypeName(type.toInt()));
        }
        for (auto it = route.getPassengerTypes().cbegin(); it != route.getPassengerTypes().cend(); ++it)
            answers << QStringLiteral("types[%1]=%2").arg(it.key()).arg(it.value());
        out.insert("answers", QJsonArray::fromStringList(answers));
        return out;
    } catch (const std::runtime_error &e) {
        return {{"error", QString::fromLatin1(e.what())}};
    }
}

} // namespace

void tst_Route::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
}

void tst_Route::cases_data()
{
    GoldenFile::addRows(JsonPath::readFile(TEST_DATA_DIR "/routes.json").object(), GoldenFile::path(TEST_DATA_DIR "/routes"),
                        [](const QString &, const QJsonValue &testCase) { return runCase(testCase.toObject()); });
}

void tst_Route::cases()
{
    QFETCH(QJsonValue, testCase);
    QFETCH(QJsonObject, expected);
    GOLDEN_COMPARE(runCase(testCase.toObject()), expected);
}

QTEST_GUILESS_MAIN(tst_Route)
#include "tst_route.moc"
