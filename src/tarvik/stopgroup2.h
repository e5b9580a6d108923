#pragma once

#include "tarvik/multilangobject.h"
#include "tarvik/stop2.h"

namespace tarvik {

// A stop group (the fare zone the fare rules count in) as the back-end syncs it, with the
// stops the route manager links to it.
//
//   "name", "userIdentifier"  text
//   "axisId", "defaultStopId", "ordinal"  int
class StopGroup2 : public MultiLangObject<StopGroup2>
{
public:
    StopGroup2();
    explicit StopGroup2(const QJsonObject &json);
    ~StopGroup2() override;

    QString name() const;
    void setName(const QString &name);
    QString userIdentifier() const;
    void setUserIdentifier(const QString &userIdentifier);
    int axisId() const;
    void setAxisId(int axisId);
    int defaultStopId() const;
    void setDefaultStopId(int defaultStopId);
    int ordinal() const;
    void setOrdinal(int ordinal);

    Stop2::List stops() const;
    void setStops(const Stop2::List &stops);
    bool contains(int stopId) const;

    QString toString() const;

private:
    Stop2::List mStops;
};

} // namespace tarvik
