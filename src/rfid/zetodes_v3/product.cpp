#include "rfid/zetodes_v3/product.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v3 {

Product::Product(const QJsonObject &json)
{
    fromJson(json);
}

void Product::fromJson(const QJsonObject &json)
{
    const CardJsonReader in(json, "card missing'", "' field in periodpass");
    mProductType = in.toUInt(QLatin1String("productType"));
    mProductId = in.toUInt(QLatin1String("productId"));
    mStatus = in.toUInt(QLatin1String("status"));
    mInitialValue = in.toUInt(QLatin1String("initialValue"));
    mRemainingValue = in.toUInt(QLatin1String("remainingValue"));
    mIssueTimestamp = in.toTime(QLatin1String("issueTimestamp"));
    mActivationTimestamp = in.toTime(QLatin1String("activationTimestamp"));
}

QJsonObject Product::toJson() const
{
    QJsonObject json;
    json.insert(QLatin1String("productType"), CardJsonReader::fromUInt(mProductType));
    json.insert(QLatin1String("productId"), CardJsonReader::fromUInt(mProductId));
    json.insert(QLatin1String("status"), CardJsonReader::fromUInt(mStatus));
    json.insert(QLatin1String("initialValue"), CardJsonReader::fromUInt(mInitialValue));
    json.insert(QLatin1String("remainingValue"), CardJsonReader::fromUInt(mRemainingValue));
    json.insert(QLatin1String("issueTimestamp"), mIssueTimestamp.toJson());
    json.insert(QLatin1String("activationTimestamp"), mActivationTimestamp.toJson());
    return json;
}

QString Product::typeToString(int type)
{
    static const QMap<int, QString> names{
        {EPurse, QStringLiteral("EPurse")},
        {PeriodPass, QStringLiteral("PeriodPass")},
        {StoredJourneys, QStringLiteral("StoredJourneys")},
    };
    return names.value(type, QStringLiteral("Unknown"));
}

} // namespace ZetoDes_v3
