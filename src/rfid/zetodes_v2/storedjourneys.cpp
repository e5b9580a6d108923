#include "rfid/zetodes_v2/storedjourneys.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v2 {

StoredJourneys::StoredJourneys(const QJsonObject &json)
{
    fromJson(json);
}

void StoredJourneys::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing'", "' field in stored journeys");
    mProductId = in.toUInt(QLatin1String("productId"));
    mStatus = in.toUInt(QLatin1String("status"));
    mJourneys = in.toUInt(QLatin1String("journeys"));
    mIssueTimestamp = in.toTime(QLatin1String("issueTimestamp"));
    mActivationTimestamp = in.toTime(QLatin1String("activationTimestamp"));
}

QJsonObject StoredJourneys::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("status"), CardJsonReader::fromUInt(mStatus));
    json.insert(QLatin1String("issueTimestamp"), mIssueTimestamp.toJson());
    json.insert(QLatin1String("activationTimestamp"), mActivationTimestamp.toJson());
    json.insert(QLatin1String("journeys"), CardJsonReader::fromUInt(mJourneys));
    return json;
}

} // namespace ZetoDes_v2
