#include "rfid/zetodes_v3/state.h"

#include "rfid/cardjsonreader.h"

#include <QDebug>

namespace ZetoDes_v3 {

State::State(const QJsonObject &json)
{
    fromJson(json);
}

void State::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in state");
    readStatusFields(in);
    const CardJsonReader flags(in.toObject(QLatin1String("flags")), "card missing '", "' field in state");
    mFlags.employee = flags.toBool(QLatin1String("employee"));
    mFlags.personalized = flags.toBool(QLatin1String("personalized"));
    mFlags.hasEPurse = flags.toBool(QLatin1String("hasEPurse"));
    mFlags.hasProduct0 = flags.toBool(QLatin1String("hasProduct0"));
    mFlags.hasProduct1 = flags.toBool(QLatin1String("hasProduct1"));
    mFlags.hasProduct2 = flags.toBool(QLatin1String("hasProduct2"));
    mStatusTimestamp = in.toTime(QLatin1String("statusTimestamp"));
}

QJsonObject State::toJson() const
{
    QJsonObject flags;
    flags.insert(QLatin1String("employee"), mFlags.employee);
    flags.insert(QLatin1String("personalized"), mFlags.personalized);
    flags.insert(QLatin1String("hasEPurse"), mFlags.hasEPurse);
    flags.insert(QLatin1String("hasProduct0"), mFlags.hasProduct0);
    flags.insert(QLatin1String("hasProduct1"), mFlags.hasProduct1);
    flags.insert(QLatin1String("hasProduct2"), mFlags.hasProduct2);

    QJsonObject json;
    writeStatusFields(json);
    json.insert(QLatin1String("flags"), flags);
    json.insert(QLatin1String("statusTimestamp"), mStatusTimestamp.toJson());
    return json;
}

void State::log() const
{
    qInfo() << "[zetodes_v3::state] " << "(" << "passengerType=" << mPassengerType << ","
            << "status=" << mStatus << "," << "statusDeviceId=" << unsigned(mStatusDeviceId) << ","
            << "statusDeviceType=" << unsigned(mStatusDeviceType) << ","
            << "statusTimestamp=" << getStatusTimestamp().toString(Qt::TextDate) << "," << ")";
}

} // namespace ZetoDes_v3
