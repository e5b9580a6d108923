#pragma once

#include "tarvik/stop.h"

#include <QString>

#include <set>
#include <vector>

class QJsonObject;

namespace tarvik {

// One fare zone of the current route with its stops, ordered by ordinal. A plain value;
// the route merges zone objects that share an id through insertStops/insertOrdinals.
// Parsing throws std::runtime_error("No Stop received") for a zone without stops.
class StopGroup
{
public:
    StopGroup() = default;
    explicit StopGroup(const QJsonObject &json);
    virtual ~StopGroup() = default;
    StopGroup(const StopGroup &) = default;
    StopGroup &operator=(const StopGroup &) = default;
    StopGroup(StopGroup &&) = default;
    StopGroup &operator=(StopGroup &&) = default;

    void fromJson(const QJsonObject &json);

    int getId() const { return mId; }
    int getPublicId() const { return mPublicStopGroupId; }
    QString getName() const { return mName; }
    std::vector<int> getOrdinals() const { return mOrdinals; }
    std::set<Stop> getStops() const { return mStops; }

    bool containsStopId(int id) const;
    void insertStops(const std::set<Stop> &stops);
    void insertOrdinals(const std::vector<int> &ordinals);

    QString toString() const;
    void log() const;

private:
    int mId = 0;
    int mPublicStopGroupId = 0;
    QString mName;
    std::vector<int> mOrdinals;
    std::set<Stop> mStops;
};

} // namespace tarvik
