#include "tarvik/axis.h"
#include "tarvik/fareproduct2.h"

#include <QJsonDocument>
#include <QVariantMap>

#include <benchmark/benchmark.h>

// A product as the back-end sends it: the device reads a handful of its thirty-odd keys.
static QJsonObject productJson()
{
    return QJsonDocument::fromJson(R"({"id": 31, "carriersId": 2, "code": "MONTHLY_ADULT",
        "validFrom": "FROM_VALIDATION", "validityUnit": "MONTHS", "validityDuration": 1,
        "numberOfTrips": -1, "calculatedPrice": 0, "fareFixed": 0, "fareDiscount": 0.1,
        "fareRoundingCeiling": true, "isReturnFare": false, "isPersonalized": 1, "perBaseFare": false,
        "color": "#ff8800", "position": 4, "activationDate": 1704067200000,
        "expirationDate": 4102444800000, "logDate": "01/01/2024 00:00:00",
        "lastEdited": "02/01/2024 10:15:00", "createdBy": "admin", "editedBy": "admin",
        "status": "ACTIVE", "uuid": "5b0c6c1e-8f5e-4f5e-9b6a-1e2f3a4b5c6d", "mainId": 31,
        "description": "Monthly pass for adults on every line of the network",
        "multiLanguageFieldsMap": {"description": {"en": "Monthly adult", "el": "Miniaia"},
                                   "name": {"en": "Monthly", "el": "Miniaia"}}})")
        .object();
}

// Read on every tap.
static void BM_FareProductExpirationDate(benchmark::State &state)
{
    const tarvik::FareProduct2 product(productJson());
    for (auto _ : state)
        benchmark::DoNotOptimize(product.expirationDate());
}
BENCHMARK(BM_FareProductExpirationDate);

// The same value read through a variant map of the whole object, for comparison.
static void BM_FareProductExpirationDateViaVariantMap(benchmark::State &state)
{
    const QJsonObject json = productJson();
    for (auto _ : state) {
        const qulonglong ms = json.toVariantMap().value(QStringLiteral("expirationDate")).toULongLong();
        benchmark::DoNotOptimize(QDateTime::fromMSecsSinceEpoch(qint64(ms)));
    }
}
BENCHMARK(BM_FareProductExpirationDateViaVariantMap);

static void BM_FareProductIsExpired(benchmark::State &state)
{
    const tarvik::FareProduct2 product(productJson());
    for (auto _ : state)
        benchmark::DoNotOptimize(product.isExpired());
}
BENCHMARK(BM_FareProductIsExpired);

// The fare manager asks every product whether it is valid on the journey.
static void BM_FareProductIsValidIn(benchmark::State &state)
{
    tarvik::FareProduct2 product(productJson());
    tarvik::BaseFare::List fares;
    for (int i = 0; i < 8; ++i) {
        fares << tarvik::BaseFare::Ptr(new tarvik::BaseFare(QJsonObject{
            {"isZoneFare", true}, {"zoneFrom", i}, {"zoneTo", i + 1}, {"fareAmount", 1.2}}));
    }
    product.setBaseFares(fares);
    for (auto _ : state)
        benchmark::DoNotOptimize(product.isValidIn(99, 7, 8));
}
BENCHMARK(BM_FareProductIsValidIn);

// An axis of 40 stops in 8 groups, as the fare manager walks it when it picks the products.
static void BM_AxisStopGroups(benchmark::State &state)
{
    tarvik::StopGroup2::List groups;
    tarvik::Stop2::List stops;
    tarvik::AxisStop::List axisStops;
    for (int g = 0; g < 8; ++g)
        groups << tarvik::StopGroup2::Ptr(new tarvik::StopGroup2(QJsonObject{{"id", g}, {"name", "Zone"}}));
    for (int s = 0; s < 40; ++s) {
        tarvik::Stop2::Ptr stop(new tarvik::Stop2(QJsonObject{{"id", s}}));
        stop->setStopGroup(groups.at(s / 5));
        stops << stop;
        tarvik::AxisStop::Ptr axisStop(new tarvik::AxisStop(QJsonObject{{"ordinal", s}}));
        axisStop->setStop(stop);
        axisStops << axisStop;
    }
    tarvik::Axis axis;
    axis.setAxisStops(axisStops);
    for (auto _ : state)
        benchmark::DoNotOptimize(axis.stopGroups());
}
BENCHMARK(BM_AxisStopGroups);

BENCHMARK_MAIN();
