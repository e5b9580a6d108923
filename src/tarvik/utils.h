#pragma once

#include "tarvik/axisstop.h"
#include "tarvik/cappingrulestopgroup.h"
#include "tarvik/stopgroupstops.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMultiHash>
#include <QSharedPointer>

// Record containers of the route and fare managers: built from the JSON arrays of their data
// files, merged with what the back-end sends, pruned by record id and written back. Stateless;
// nothing here logs or throws. Not the core library's file utilities.
//
//   container  key                      records
//   Map        own id()                 one per id
//   MultiMap   a foreign id (parent)    AxisStop: axisId(), StopGroupStops: stopGroupId(),
//                                       CappingRuleStopGroup: ruleId(),
//                                       the five fare-product links: fareProductId()
//
// A record's identity is its own id() above 0, whatever the key it is filed under: merging
// replaces every entry of that id (its parent may have changed), deleting removes every one.
// A record without an id (0) identifies nothing: it is only ever appended.
namespace tarvik::Utils {

namespace detail {

template <typename T, typename Key>
QMultiHash<int, QSharedPointer<T>> jsonToMultiMap(const QJsonArray &array, Key key)
{
    QMultiHash<int, QSharedPointer<T>> map;
    map.reserve(array.size());
    for (const QJsonValue &element : array) {
        const auto record = QSharedPointer<T>::create(element.toObject());
        map.insert(key(*record), record);
    }
    return map;
}

// A full sync sends every row again: appending would file each one twice per sync.
template <typename T, typename Key>
void mergeIntoMultiMap(QMultiHash<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list, Key key)
{
    // The last record of an id in the list is the one that stands, as if merged one by one.
    QHash<int, int> lastOfId;
    for (int i = 0; i < list.size(); ++i) {
        if (list.at(i) && list.at(i)->id() > 0)
            lastOfId.insert(list.at(i)->id(), i);
    }
    if (!lastOfId.isEmpty()) {
        for (auto it = map.begin(); it != map.end();) {
            if (it.value() && lastOfId.contains(it.value()->id()))
                it = map.erase(it);
            else
                ++it;
        }
    }
    for (int i = 0; i < list.size(); ++i) {
        const QSharedPointer<T> &record = list.at(i);
        if (!record)
            continue;
        const int id = record->id();
        if (id > 0 && lastOfId.value(id) != i)
            continue;
        map.insert(key(*record), record);
    }
}

template <typename Container>
bool eraseById(Container &container, int id)
{
    if (id <= 0)
        return false;
    bool removed = false;
    for (auto it = container.begin(); it != container.end();) {
        if (it.value() && it.value()->id() == id) {
            it = container.erase(it);
            removed = true;
        } else {
            ++it;
        }
    }
    return removed;
}

} // namespace detail

// Later elements of the same id replace earlier ones; a non-object element reads as {} (id 0).
template <typename T>
QMap<int, QSharedPointer<T>> jsonToMap(const QJsonArray &array)
{
    QMap<int, QSharedPointer<T>> map;
    for (const QJsonValue &element : array) {
        const auto record = QSharedPointer<T>::create(element.toObject());
        map.insert(record->id(), record);
    }
    return map;
}

// Loading keeps every element, also two of one id, as the file holds them.
template <typename T>
QMultiHash<int, QSharedPointer<T>> jsonToFPMultiMap(const QJsonArray &array)
{
    return detail::jsonToMultiMap<T>(array, [](const T &r) { return r.fareProductId(); });
}

StopGroupStops::MultiMap jsonToStopGroupStops(const QJsonArray &array);
AxisStop::MultiMap jsonToAxisStops(const QJsonArray &array);
CappingRuleStopGroup::MultiMap jsonToCappingRuleStopGroups(const QJsonArray &array);

template <typename T>
void appendListToStopGroupStops(QMultiHash<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list)
{
    detail::mergeIntoMultiMap<T>(map, list, [](const T &r) { return r.stopGroupId(); });
}

template <typename T>
void appendListToAxisStops(QMultiHash<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list)
{
    detail::mergeIntoMultiMap<T>(map, list, [](const T &r) { return r.axisId(); });
}

// For the five fare-product link rows, filed by fareProductId().
template <typename T>
void appendListToFPMultiMap(QMultiHash<int, QSharedPointer<T>> &map, const QList<QSharedPointer<T>> &list)
{
    detail::mergeIntoMultiMap<T>(map, list, [](const T &r) { return r.fareProductId(); });
}

void appendListToCappingRuleStopGroups(CappingRuleStopGroup::MultiMap &map, const CappingRuleStopGroup::List &list);

// Matches the record's own id, never the key; removes every entry of that id and tells whether
// any went. An id of 0 or below names no record.
template <typename T>
bool deleteItemFromMap(QMap<int, QSharedPointer<T>> &map, int id)
{
    return detail::eraseById(map, id);
}

template <typename T>
bool deleteItemFromMultiMap(QMultiHash<int, QSharedPointer<T>> &map, int id)
{
    return detail::eraseById(map, id);
}

template <typename T>
QJsonArray listToJson(const QList<QSharedPointer<T>> &list)
{
    QJsonArray array;
    for (const QSharedPointer<T> &record : list) {
        if (record)
            array.append(record->toJson());
    }
    return array;
}

} // namespace tarvik::Utils
