#include "tarvik/utils.h"

namespace tarvik::Utils {

StopGroupStops::MultiMap jsonToStopGroupStops(const QJsonArray &array)
{
    return detail::jsonToMultiMap<StopGroupStops>(array, [](const StopGroupStops &r) { return r.stopGroupId(); });
}

AxisStop::MultiMap jsonToAxisStops(const QJsonArray &array)
{
    return detail::jsonToMultiMap<AxisStop>(array, [](const AxisStop &r) { return r.axisId(); });
}

CappingRuleStopGroup::MultiMap jsonToCappingRuleStopGroups(const QJsonArray &array)
{
    CappingRuleStopGroup::MultiMap map;
    map.reserve(array.size());
    for (const QJsonValue &element : array) {
        const CappingRuleStopGroup::Ptr record = CappingRuleStopGroup::fromJson(element.toObject());
        map.insert(record->ruleId(), record);
    }
    return map;
}

void appendListToCappingRuleStopGroups(CappingRuleStopGroup::MultiMap &map, const CappingRuleStopGroup::List &list)
{
    detail::mergeIntoMultiMap<CappingRuleStopGroup>(map, list,
                                                    [](const CappingRuleStopGroup &r) { return r.ruleId(); });
}

} // namespace tarvik::Utils
