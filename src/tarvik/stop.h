#pragma once

#include <QString>

class QJsonObject;

namespace tarvik {

// One stop of the vehicle's current route as the OBU sends it. A plain value; stops are
// ordered by their ordinal (position along the route) and by nothing else.
class Stop
{
public:
    Stop() = default;
    explicit Stop(const QJsonObject &json);
    virtual ~Stop() = default;
    Stop(const Stop &) = default;
    Stop &operator=(const Stop &) = default;
    Stop(Stop &&) = default;
    Stop &operator=(Stop &&) = default;

    void fromJson(const QJsonObject &json);

    int getId() const { return mId; }
    int getPublicId() const { return mPublicStopId; }
    int getOrdinal() const { return mOrdinal; }
    QString getName() const { return mName; }

    bool operator<(const Stop &other) const { return mOrdinal < other.mOrdinal; }

    QString toString() const;
    void log() const;

private:
    int mId = 0;
    int mPublicStopId = 0;
    float mLatitude = 0; // kept with the stop, never read back
    float mLongitude = 0;
    QString mName;
    int mOrdinal = 0;
};

} // namespace tarvik
