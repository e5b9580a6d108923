#include "rfid/zetodes_v2/info.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v2 {

Info::Info(const QJsonObject &json)
{
    fromJson(json);
}

void Info::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing '", "' field in info");
    mVersion = in.toInt(QLatin1String("version"));
    mIssuerId = in.toInt(QLatin1String("issuerId"));
    mPassengerId = in.toInt(QLatin1String("passengerId"));
    mPassengerTypeExpiryDate = in.toDate(QLatin1String("passengerTypeExpiryDate"));
    mExpiryDate = in.toDate(QLatin1String("expiryDate"));
    mIssueTimestamp = in.toTime(QLatin1String("issueTimestamp"));
}

QJsonObject Info::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("expiryDate"), mExpiryDate.toJson());
    json.insert(QLatin1String("passengerTypeExpiryDate"), mPassengerTypeExpiryDate.toJson());
    json.insert(QLatin1String("issueTimestamp"), mIssueTimestamp.toJson());
    json.insert(QLatin1String("issuerId"), mIssuerId);
    json.insert(QLatin1String("passengerId"), mPassengerId);
    json.insert(QLatin1String("version"), mVersion);
    return json;
}

} // namespace ZetoDes_v2
