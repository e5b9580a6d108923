#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMultiHash>
#include <QSharedPointer>

namespace tarvik {

// One row of the back-end attaching a capping rule to one stop group.
//
//   "id", "ruleId", "stopGroupId"  int
//   "logDate", "lastEdited"  "dd/MM/yyyy hh:mm:ss" in local time
class CappingRuleStopGroup
{
public:
    using Ptr = QSharedPointer<CappingRuleStopGroup>;
    using List = QList<Ptr>;
    using MultiMap = QMultiHash<int, Ptr>; // by rule id

    CappingRuleStopGroup();
    explicit CappingRuleStopGroup(const QJsonObject &json);

    static Ptr fromJson(const QJsonObject &json);
    // An empty row for text that is not Base64 of a JSON object.
    static Ptr fromSnapshot(const QString &snapshot);

    int id() const;
    int ruleId() const;
    int stopGroupId() const;
    QDateTime logDate() const;
    QDateTime lastEdited() const;

    QJsonObject toJson() const;
    QString snapshot() const;
    QString toString() const;

private:
    QJsonObject mJson;
};

} // namespace tarvik
