#include "tarvik/cappingrulestopgroup.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"
#include "tarvik/jsonsnapshot.h"

#include <QStringList>

namespace tarvik {

namespace {
const QLatin1String kId("id");
const QLatin1String kRuleId("ruleId");
const QLatin1String kStopGroupId("stopGroupId");
const QLatin1String kLogDate("logDate");
const QLatin1String kLastEdited("lastEdited");
const QString kDateFormat = QStringLiteral("dd/MM/yyyy hh:mm:ss");
} // namespace

CappingRuleStopGroup::CappingRuleStopGroup() = default;

CappingRuleStopGroup::CappingRuleStopGroup(const QJsonObject &json)
    : mJson(json)
{
}

CappingRuleStopGroup::Ptr CappingRuleStopGroup::fromJson(const QJsonObject &json)
{
    return Ptr::create(json);
}

CappingRuleStopGroup::Ptr CappingRuleStopGroup::fromSnapshot(const QString &snapshot)
{
    return Ptr::create(json::fromSnapshot(snapshot));
}

int CappingRuleStopGroup::id() const { return json::readInt(mJson, kId); }
int CappingRuleStopGroup::ruleId() const { return json::readInt(mJson, kRuleId); }
int CappingRuleStopGroup::stopGroupId() const { return json::readInt(mJson, kStopGroupId); }
QDateTime CappingRuleStopGroup::logDate() const { return json::toLocalDateTime(mJson.value(kLogDate)); }
QDateTime CappingRuleStopGroup::lastEdited() const { return json::toLocalDateTime(mJson.value(kLastEdited)); }

QJsonObject CappingRuleStopGroup::toJson() const
{
    return mJson;
}

QString CappingRuleStopGroup::snapshot() const
{
    return json::toSnapshot(mJson);
}

QString CappingRuleStopGroup::toString() const
{
    const QStringList lines = {
        QStringLiteral("--- Capping Rule Stop Group --------------"),
        QStringLiteral("ID        : %1").arg(id()),
        QStringLiteral("Rule ID   : %1").arg(ruleId()),
        QStringLiteral("Zone ID   : %1").arg(stopGroupId()),
        QStringLiteral("Created   : %1").arg(logDate().toString(kDateFormat)),
        QStringLiteral("Last Edit : %1").arg(lastEdited().toString(kDateFormat)),
        QStringLiteral("------------------------------------------"),
    };
    return manager::Logger::joinLines(lines);
}

} // namespace tarvik
