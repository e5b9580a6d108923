#include "rfid/zetodes_v2/periodpass.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v2 {

PeriodPass::PeriodPass(const QJsonObject &json)
{
    fromJson(json);
}

void PeriodPass::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing'", "' field in periodpass");
    mProductId = in.toUInt(QLatin1String("productId"));
    mStatus = in.toUInt(QLatin1String("status"));
    mDays = in.toUInt(QLatin1String("days"));
    mIssueTimestamp = in.toTime(QLatin1String("issueTimestamp"));
    mActivationTimestamp = in.toTime(QLatin1String("activationTimestamp"));
}

QJsonObject PeriodPass::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("status"), CardJsonReader::fromUInt(mStatus));
    json.insert(QLatin1String("days"), CardJsonReader::fromUInt(mDays));
    json.insert(QLatin1String("issueTimestamp"), mIssueTimestamp.toJson());
    json.insert(QLatin1String("activationTimestamp"), mActivationTimestamp.toJson());
    return json;
}

} // namespace ZetoDes_v2
