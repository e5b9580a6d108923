#pragma once

#include "tarvik/object.h"

#include <QMultiHash>

class QSqlDatabase;
class QSqlQuery;

namespace tarvik {

class Stop2;

// One stop of an axis as the back-end syncs it, linked by the route manager to its stop.
// The kilometre keys are spelled "Sate" by the back-end.
//
//   "axisId", "stopId", "ordinal", "parentStopsId", "mainId"  int
//   "enabled", "acceptPassengers", "acceptParcels", "disembarking"  bool
//   "stopName", "stopIdentifier"  text
//   "sameSateKm", "acrossSateKm", "acrossCarriersKm", "duration"  double
class AxisStop : public Object<AxisStop>
{
public:
    using MultiMap = QMultiHash<int, Ptr>; // by axis id

    AxisStop();
    explicit AxisStop(const QJsonObject &json);
    ~AxisStop() override;

    int axisId() const;
    void setAxisId(int axisId);
    int stopId() const;
    void setStopId(int stopId);
    int ordinal() const;
    void setOrdinal(int ordinal);
    int parentStopId() const;
    void setParentStopId(int parentStopId);
    bool enabled() const;
    void setEnabled(bool enabled);
    QString stopName() const;
    void setStopName(const QString &stopName);
    QString stopIdentifier() const;
    void setStopIdentifier(const QString &stopIdentifier);
    double sameStateKm() const;
    void setSameStateKm(double km);
    double acrossStateKm() const;
    void setAcrossStateKm(double km);
    double acrossCarriersKm() const;
    void setAcrossCarriersKm(double km);
    double duration() const;
    void setDuration(double duration);
    bool acceptPassengers() const;
    void setAcceptPassengers(bool accept);
    bool acceptParcels() const;
    void setAcceptParcels(bool accept);
    bool disembarking() const;
    void setDisembarking(bool disembarking);
    int mainId() const;
    void setMainId(int mainId);

    QSharedPointer<Stop2> stop() const;
    void setStop(QSharedPointer<Stop2> stop);

    QString toString() const;

    // The row of a table "AxisStop", which no store of ours keeps; it has no carrier column.
    static QString dbTableName();
    static QString dbTableSchema();
    static Ptr fromSql(const QSqlQuery &query);
    QSqlQuery toSql(const QSqlDatabase &db) const;

private:
    QSharedPointer<Stop2> mStop;
};

} // namespace tarvik
