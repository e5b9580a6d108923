#pragma once

#include "tarvik/stopgroup2.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSharedPointer>

namespace tarvik {

// A daily cap of the back-end: what a card is charged for one product type ("E_PURSE",
// "STORED_JOURNEYS") in a set of stop groups, up to a threshold. The fare manager links the
// stop groups from the rule's rows; the rule's JSON does not name them.
//
//   "id", "thresholdAmount"  int
//   "active"  true when absent, else only JSON true
//   "code", "type", "productType"  text
//   "logDate", "lastEdited"  "dd/MM/yyyy hh:mm:ss" in local time
class CappingRule
{
public:
    using Ptr = QSharedPointer<CappingRule>;
    using List = QList<Ptr>;
    using Map = QMap<int, Ptr>;

    CappingRule();
    explicit CappingRule(const QJsonObject &json);

    static Ptr fromJson(const QJsonObject &json);
    // An empty rule for text that is not Base64 of a JSON object.
    static Ptr fromSnapshot(const QString &snapshot);

    int id() const;
    bool active() const;
    QString code() const;
    QString type() const;
    QString productType() const;
    int thresholdAmount() const;
    QDateTime logDate() const;
    QDateTime lastEdited() const;

    StopGroup2::List stopGroups() const;
    void setStopGroups(const StopGroup2::List &stopGroups);
    // Whether a linked stop group has that id; a rule without stop groups applies nowhere.
    bool validIn(int stopGroupId) const;

    QJsonObject toJson() const;
    QString snapshot() const;
    QString toString() const;

private:
    StopGroup2::List mStopGroups;
    QJsonObject mJson;
};

} // namespace tarvik
