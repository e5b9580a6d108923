#include "db/device.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"

#include <QStringList>

using namespace tarvik::json;

Device::Device(const QJsonObject &json)
    : mJson(json)
{
}

int Device::id() const
{
    return readInt(mJson, QLatin1String("id"));
}

int Device::type() const
{
    return readInt(mJson, QLatin1String("deviceTypeId"));
}

QString Device::uuid() const
{
    return readString(mJson, QLatin1String("deviceUuid"));
}

QString Device::name() const
{
    return readString(mJson, QLatin1String("name"));
}

QString Device::description() const
{
    return readString(mJson, QLatin1String("description"));
}

QString Device::status() const
{
    return readString(mJson, QLatin1String("status"));
}

int Device::carrierId() const
{
    return toIntNullAsMinusOne(mJson.value(QLatin1String("carrierId")));
}

int Device::vehicleId() const
{
    const QJsonValue v = mJson.value(QLatin1String("vehicleUuid"));
    return v.isNull() ? -1 : toIntFromText(v);
}

int Device::userId() const
{
    return toIntNullAsMinusOne(mJson.value(QLatin1String("userId")));
}

QString Device::pisSerialNumber() const
{
    return readString(mJson, QLatin1String("pisSerialNumber"));
}

QString Device::toString() const
{
    const int user = userId();
    return manager::Logger::joinLines({
        QStringLiteral("+--- DEVICE STATUS -----------------------"),
        QStringLiteral("| ID          : ") + QString::number(id()),
        QStringLiteral("| Type        : ") + QString::number(type()),
        QStringLiteral("| Device S/N  : ") + uuid(),
        QStringLiteral("| Device Name : ") + name(),
        QStringLiteral("| Description : ") + description(),
        QStringLiteral("| Status      : ") + status(),
        QStringLiteral("| Carrier ID  : ") + QString::number(carrierId()),
        QStringLiteral("| Vehicle ID  : ") + QString::number(vehicleId()),
        QStringLiteral("| User ID     : ") + (user < 0 ? QStringLiteral("null") : QString::number(user)),
        QStringLiteral("| PIS S/N     : ") + pisSerialNumber(),
        QStringLiteral("+-----------------------------------------"),
    });
}
