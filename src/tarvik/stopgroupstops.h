#pragma once

#include "tarvik/object.h"

#include <QMultiHash>

namespace tarvik {

// One membership row of the back-end: this stop belongs to this stop group, at this place.
//
//   "stopGroupId", "stopId", "ordinal", "mainId"  int
//   "stopIdentifier", "stopName"  text
//   "enabled"  bool
//   "latitude", "longitude"  a number, or a text of a decimal number
class StopGroupStops : public Object<StopGroupStops>
{
public:
    using MultiMap = QMultiHash<int, Ptr>; // by stop group id

    StopGroupStops();
    explicit StopGroupStops(const QJsonObject &json);
    ~StopGroupStops() override;

    int stopGroupId() const;
    void setStopGroupId(int stopGroupId);
    int stopId() const;
    void setStopId(int stopId);
    int ordinal() const;
    void setOrdinal(int ordinal);
    QString stopIdentifier() const;
    void setStopIdentifier(const QString &stopIdentifier);
    QString stopName() const;
    void setStopName(const QString &stopName);
    bool enabled() const;
    void setEnabled(bool enabled);
    double latitude() const;
    void setLatitude(double latitude);
    double longitude() const;
    void setLongitude(double longitude);
    int mainId() const;
    void setMainId(int mainId);
};

} // namespace tarvik
