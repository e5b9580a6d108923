#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QSharedPointer>
#include <QString>

class QSqlQuery;

namespace tarvik {

// One device parameter that the back-end assigns to this type of device. Holds one JSON
// object, as received or as built from a row of the device-parameter store; no locks, only
// read once handed on.
//
//   JSON key          getter         column (index)
//   "id"              id()           id (0)
//   "carriersId"      carrierId()    carrierId (1)
//   "key"             key()          key (2)
//   "value"           value()        value (3)
//   "keyDescription"  description()  description (4)
class KeyValue
{
public:
    using Ptr = QSharedPointer<KeyValue>;
    using List = QList<Ptr>;

    KeyValue() = default;
    explicit KeyValue(const QJsonObject &json);

    int id() const;
    int carrierId() const;
    QString key() const;
    QString value() const;
    QString description() const;

    QJsonObject toJson() const { return mJson; }
    QString toString() const;

    // Appends the five columns, in table order, to a prepared statement; a null text binds NULL.
    void toSql(QSqlQuery &query) const;
    // A parameter from the query's current row, read by column position; NULL text reads as JSON null.
    static Ptr fromSql(const QSqlQuery &query);

    // Same JSON type and content for all five keys; an absent key equals only an absent key.
    bool matches(const Ptr &other) const;

private:
    QJsonObject mJson;
};

} // namespace tarvik

Q_DECLARE_METATYPE(tarvik::KeyValue::Ptr)
