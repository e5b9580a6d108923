#include "rfid/zetodes_v3/info.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v3 {

Info::Info(const QJsonObject &json)
{
    fromJson(json);
}

void Info::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in info");
    mVersion = in.toInt(QLatin1String("version"));
    mCarrierId = in.toInt(QLatin1String("carrierId"));
    mIssuerId = in.toInt(QLatin1String("issuerId"));
    mPassengerId = in.toUInt(QLatin1String("passengerId"));
    mPassengerTypeExpiryDate = in.toDate(QLatin1String("passengerTypeExpiryDate"));
    mIssueTimestamp = in.toTime(QLatin1String("issueTimestamp"));
}

QJsonObject Info::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("version"), mVersion);
    json.insert(QLatin1String("carrierId"), mCarrierId);
    json.insert(QLatin1String("issuerId"), mIssuerId);
    json.insert(QLatin1String("passengerId"), CardJsonReader::fromUInt(mPassengerId));
    json.insert(QLatin1String("passengerTypeExpiryDate"), mPassengerTypeExpiryDate.toJson());
    json.insert(QLatin1String("issueTimestamp"), mIssueTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v3
