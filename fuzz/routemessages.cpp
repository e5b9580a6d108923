// The OBU's route, fare products and progress events in one object: {"route": ..., "fares": ...,
// "progress": [...]}. Only the route parser's std::runtime_error may escape.
#include "fuzzsupport.h"

#include "tarvik/fareproducts.h"
#include "tarvik/route.h"
#include "tarvik/routeprogress.h"

#include <QJsonArray>

#include <stdexcept>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::startQt(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonObject input = fuzz::object(data, size);
    try {
        tarvik::Route route(input.value(QLatin1String("route")).toObject());
        route.setFareProducts(tarvik::FareProducts(input.value(QLatin1String("fares")).toObject()));
        for (const QJsonValue &event : input.value(QLatin1String("progress")).toArray())
            route.acceptRouteProgress(tarvik::RouteProgress(event.toObject()));
        route.toJson();
        route.toString();
        route.validFareProducts();
        route.getFirstRouteProgress();
        route.getNextStopId(route.getCurrentStop().getId());
        route.findPassengerType(QStringLiteral("PT_ADULT"));
    } catch (const std::runtime_error &) {
    }
    return 0;
}
