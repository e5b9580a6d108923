#pragma once

#include "tarvik/multilangobject.h"
#include "tarvik/stopgroup2.h"

#include <QDateTime>
#include <QJsonArray>
#include <QVariant>

namespace tarvik {

// The elements of a JSON array as T, each through QVariant's conversion (0 when it does not
// convert): [3, "x", 5] reads 3, 0, 5 as int.
template <typename T>
QList<T> getList2(const QJsonArray &array)
{
    QList<T> list;
    list.reserve(array.size());
    for (const QJsonValue &element : array)
        list.append(element.toVariant().value<T>());
    return list;
}

// A priced element of the back-end's fare network, which fare products are made of. Kind flags
// say where it applies: on an axis, between two zones, inside city zones, by distance. The fare
// manager links the stop groups its zone ids name. Amounts are in currency units.
//
//   "mainId", "axisId", "zoneFrom", "zoneTo"  int
//   "name", "code"  text
//   "isAxisFare", "isZoneFare", "isKmFare", "isCityZoneFare"  bool
//   "fareAmount", "sameSateFareAmount", "acrossStateFareAmount",
//   "acrossCarriersFareAmount", "minKmFareAmount"  double
//   "activationDate"  "dd/MM/yyyy hh:mm:ss" in local time, handed out in UTC
//   "baseFareExtraCharges" (double), "baseFareAxisRoutes", "cityZoneFareStopGroups" (int)  arrays
class BaseFare : public MultiLangObject<BaseFare>
{
public:
    BaseFare();
    explicit BaseFare(const QJsonObject &json);
    ~BaseFare() override;

    int mainId() const;
    void setMainId(int mainId);
    QString name() const;
    void setName(const QString &name);
    QString code() const;
    void setCode(const QString &code);
    bool isAxisFare() const;
    void setIsAxisFare(bool isAxisFare);
    bool isZoneFare() const;
    void setIsZoneFare(bool isZoneFare);
    bool isKmFare() const;
    void setIsKmFare(bool isKmFare);
    bool isCityZoneFare() const;
    void setIsCityZoneFare(bool isCityZoneFare);
    double fareAmount() const;
    void setFareAmount(double amount);
    double sameStateFareAmount() const;
    void setSameStateFareAmount(double amount);
    double acrossStateFareAmount() const;
    void setAcrossStateFareAmount(double amount);
    double acrossCarriersFareAmount() const;
    void setAcrossCarriersFareAmount(double amount);
    double minKmFareAmount() const;
    void setMinKmFareAmount(double amount);
    QDateTime activationDate() const;
    void setActivationDate(const QDateTime &date);
    int axisId() const;
    void setAxisId(int axisId);
    int stopGroupFromId() const;
    void setStopGroupFromId(int stopGroupId);
    int stopGroupToId() const;
    void setStopGroupToId(int stopGroupId);
    QList<double> baseFareExtraCharges() const;
    void setBaseFareExtraCharges(const QList<double> &charges);
    QList<int> baseFareAxisRoutes() const;
    void setBaseFareAxisRoutes(const QList<int> &routes);
    QList<int> cityZoneFareStopGroupIds() const;
    void setCityZoneFareStopGroupIds(const QList<int> &stopGroupIds);

    QSharedPointer<StopGroup2> stopGroupFrom() const;
    void setStopGroupFrom(QSharedPointer<StopGroup2> stopGroup);
    QSharedPointer<StopGroup2> stopGroupTo() const;
    void setStopGroupTo(QSharedPointer<StopGroup2> stopGroup);
    StopGroup2::List cityZoneFareStopGroups() const;
    void setCityZoneFareStopGroups(const StopGroup2::List &stopGroups);

    // The kind for the log: the first of km, city-zone, zone, axis that is set.
    QString type() const;
    QString toString() const;

private:
    StopGroup2::List mCityZoneFareStopGroups;
    QSharedPointer<StopGroup2> mStopGroupFrom;
    QSharedPointer<StopGroup2> mStopGroupTo;
};

} // namespace tarvik
