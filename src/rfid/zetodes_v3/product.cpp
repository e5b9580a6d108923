#include "rfid/zetodes_v3/product.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDes_v3 {

namespace {

const QMap<QString, int> &statusNames()
{
    static const QMap<QString, int> names{
        {QStringLiteral("EXPIRED"), Product::Expired},
        {QStringLiteral("ACTIVE"), Product::Active},
        {QStringLiteral("PREALLOCATED"), Product::Preallocated},
        {QStringLiteral("BLOCKED"), Product::Blocked},
        {QStringLiteral("PENDING"), Product::Pending},
    };
    return names;
}

} // namespace

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

QMap<QString, int> Product::getStatusAsMap() const
{
    return statusNames();
}

QString Product::statusToString(int status)
{
    static const QMap<int, QString> names = [] {
        QMap<int, QString> byCode;
        for (auto it = statusNames().cbegin(); it != statusNames().cend(); ++it)
            byCode.insert(it.value(), it.key());
        return byCode;
    }();
    return names.value(status, QStringLiteral("UNKNOWN"));
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
