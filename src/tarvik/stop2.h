#pragma once

#include "tarvik/multilangobject.h"

#include <QWeakPointer>

namespace tarvik {

class StopGroup2;

// A stop of the network as the back-end syncs it, linked by the route manager to its stop group.
// The link is weak: the group holds its stops, and the manager's maps own both, so a replaced
// set of records is freed as a whole.
//
//   "latitude", "longitude"  a number, or a text of a decimal number
//   "userIdentifier", "name", "address", "phone"  text
class Stop2 : public MultiLangObject<Stop2>
{
public:
    Stop2();
    explicit Stop2(const QJsonObject &json);
    ~Stop2() override;

    double latitude() const;
    void setLatitude(double latitude);
    double longitude() const;
    void setLongitude(double longitude);
    QString userIdentifier() const;
    void setUserIdentifier(const QString &userIdentifier);
    QString name() const;
    void setName(const QString &name);
    QString address() const;
    void setAddress(const QString &address);
    QString phone() const;
    void setPhone(const QString &phone);

    // Null when not linked, or when the group is gone.
    QSharedPointer<StopGroup2> stopGroup() const;
    void setStopGroup(const QSharedPointer<StopGroup2> &stopGroup);

    QString toString() const;

private:
    QWeakPointer<StopGroup2> mStopGroup;
};

} // namespace tarvik
