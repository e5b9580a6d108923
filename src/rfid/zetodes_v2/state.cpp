#include "rfid/zetodes_v2/state.h"

#include "rfid/cardjsonreader.h"

#include <QDebug>

namespace ZetoDes_v2 {

State::State(const QJsonObject &json)
{
    fromJson(json);
}

void State::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in state");
    readStatusFields(in);
    const CardJsonReader flags(in.toObject(QLatin1String("cardType")), "card missing '", "' field in state");
    mCardType.personalized = flags.toBool(QLatin1String("personalized"));
    mCardType.hasPeriodPass0 = flags.toBool(QLatin1String("hasPeriodPass0"));
    mCardType.hasPeriodPass1 = flags.toBool(QLatin1String("hasPeriodPass1"));
    mCardType.hasStoredJourneys = flags.toBool(QLatin1String("hasStoredJourneys"));
    mCardType.hasEPurse = flags.toBool(QLatin1String("hasEPurse"));
    mTimestamp = in.toTime(QLatin1String("statusTimestamp"));
}

QJsonObject State::toJson() const
{
    QJsonObject cardType;
    cardType.insert(QLatin1String("personalized"), mCardType.personalized);
    cardType.insert(QLatin1String("hasPeriodPass0"), mCardType.hasPeriodPass0);
    cardType.insert(QLatin1String("hasPeriodPass1"), mCardType.hasPeriodPass1);
    cardType.insert(QLatin1String("hasStoredJourneys"), mCardType.hasStoredJourneys);
    cardType.insert(QLatin1String("hasEPurse"), mCardType.hasEPurse);

    QJsonObject json;
    writeStatusFields(json);
    json.insert(QLatin1String("statusTimestamp"), mTimestamp.toJson());
    json.insert(QLatin1String("cardType"), cardType);
    return json;
}

void State::log() const
{
    qInfo() << "[zetodes_v2::state] " << "(" << "passengerType=" << mPassengerType << ","
            << "status=" << mStatus << "," << "deviceId=" << mStatusDeviceId << ","
            << "timestamp=" << getTimestamp().toString(Qt::TextDate);
}

} // namespace ZetoDes_v2
