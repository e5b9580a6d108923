#pragma once

#include "tarvik/axisstop.h"
#include "tarvik/multilangobject.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"

#include <QWeakPointer>

class QSqlDatabase;
class QSqlQuery;

namespace tarvik {

// One direction of a line as the back-end syncs it, with its axis stops in ordinal order and
// its opposite direction, both linked by the route manager. The opposite axis is held weakly:
// two opposite axes would otherwise keep each other alive after the manager replaced them.
//
//   "name", "lineCode", "userIdentifier", "oppositeAxisUuid", "jointOperationCode"  text
//   "oppositeAxisId", "consortiumId"  int
//   "syncTriangle", "circularRoute", "useAxisProducts"  JSON true or a whole number other than 0
//   "status"  true when absent, else only JSON true
//   "axisStopList"  the back-end's axis stop objects, held as their stop ids
class Axis : public MultiLangObject<Axis>
{
public:
    Axis();
    // Rewrites "axisStopList" as bare stop ids; bare ids (as saved by toJson()) are kept.
    explicit Axis(const QJsonObject &json);
    ~Axis() override;

    QString name() const;
    void setName(const QString &name);
    QString lineCode() const;
    void setLineCode(const QString &lineCode);
    QString userIdentifier() const;
    void setUserIdentifier(const QString &userIdentifier);
    int oppositeAxisId() const;
    void setOppositeAxisId(int oppositeAxisId);
    QString oppositeAxisUuid() const;
    void setOppositeAxisUuid(const QString &oppositeAxisUuid);
    int consortiumId() const;
    void setConsortiumId(int consortiumId);
    bool syncTriangle() const;
    void setSyncTriangle(bool syncTriangle);
    QString jointOperationCode() const;
    void setJointOperationCode(const QString &jointOperationCode);
    bool circularRoute() const;
    void setCircularRoute(bool circularRoute);
    bool useAxisProducts() const;
    void setUseAxisProducts(bool useAxisProducts);
    bool status() const;
    void setStatus(bool status);
    QList<int> axisStopIds() const;

    const AxisStop::List &axisStops() const;
    void setAxisStops(const AxisStop::List &axisStops);
    // Null when not linked, or when the opposite axis is gone.
    QSharedPointer<Axis> oppositeAxis() const;
    void setOppositeAxis(QSharedPointer<Axis> oppositeAxis);

    // The linked stop of each axis stop, in axis order (null where none is linked).
    Stop2::List stops() const;
    Stop2::List stopsInStopGroup(int stopGroupId) const;
    // The stop groups along the axis, one fresh record per visit (consecutive stops of one
    // group merge), each carrying every stop of the axis in that group.
    StopGroup2::List stopGroups() const;

    QString toString() const;

    // The row of a table "Axis", which no store of ours keeps: the line code, the stop list and
    // the links have no column.
    static QString dbTableName();
    static QString dbTableSchema();
    static Ptr fromSql(const QSqlQuery &query);
    QSqlQuery toSql(const QSqlDatabase &db) const;

private:
    AxisStop::List mAxisStops;
    QWeakPointer<Axis> mOppositeAxis;
};

} // namespace tarvik
