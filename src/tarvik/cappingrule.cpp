#include "tarvik/cappingrule.h"

#include "tarvik/jsonread.h"
#include "tarvik/jsonsnapshot.h"

namespace tarvik {

namespace {
const QLatin1String kId("id");
const QLatin1String kActive("active");
const QLatin1String kCode("code");
const QLatin1String kType("type");
const QLatin1String kProductType("productType");
const QLatin1String kThresholdAmount("thresholdAmount");
const QLatin1String kLogDate("logDate");
const QLatin1String kLastEdited("lastEdited");
} // namespace

CappingRule::CappingRule() = default;

CappingRule::CappingRule(const QJsonObject &json)
    : mJson(json)
{
}

CappingRule::Ptr CappingRule::fromJson(const QJsonObject &json)
{
    return Ptr::create(json);
}

CappingRule::Ptr CappingRule::fromSnapshot(const QString &snapshot)
{
    return Ptr::create(json::fromSnapshot(snapshot));
}

int CappingRule::id() const { return json::readInt(mJson, kId); }
bool CappingRule::active() const { return json::toBoolTrueWhenAbsent(mJson.value(kActive)); }
QString CappingRule::code() const { return json::readString(mJson, kCode); }
QString CappingRule::type() const { return json::readString(mJson, kType); }
QString CappingRule::productType() const { return json::readString(mJson, kProductType); }
int CappingRule::thresholdAmount() const { return json::readInt(mJson, kThresholdAmount); }
QDateTime CappingRule::logDate() const { return json::toLocalDateTime(mJson.value(kLogDate)); }
QDateTime CappingRule::lastEdited() const { return json::toLocalDateTime(mJson.value(kLastEdited)); }

StopGroup2::List CappingRule::stopGroups() const
{
    return mStopGroups;
}

void CappingRule::setStopGroups(const StopGroup2::List &stopGroups)
{
    mStopGroups = stopGroups;
}

bool CappingRule::validIn(int stopGroupId) const
{
    for (const StopGroup2::Ptr &group : mStopGroups) {
        if (group && group->id() == stopGroupId)
            return true;
    }
    return false;
}

QJsonObject CappingRule::toJson() const
{
    return mJson;
}

QString CappingRule::snapshot() const
{
    return json::toSnapshot(mJson);
}

QString CappingRule::toString() const
{
    QStringList zones;
    for (const StopGroup2::Ptr &group : mStopGroups)
        zones << (group ? group->multiLang(QStringLiteral("en")) : QString());
    return QStringLiteral("(%1) %2/%3 (amount=%4, zones=%5)")
        .arg(QString::number(id()), type(), productType(), QString::number(thresholdAmount()),
             zones.join(QLatin1Char(',')));
}

} // namespace tarvik
