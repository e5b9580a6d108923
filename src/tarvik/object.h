#pragma once

#include "tarvik/jsonread.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSharedPointer>

namespace tarvik {

// Base of the back-end records: a typed view over the JSON object a record was built from.
// Getters read their key at each call by the shared reading rules, setters write it back, and
// keys that no getter knows stay in the object. T is the record class itself; records travel
// as Ptr in a List or in a Map by id (records that hang under a parent also name a MultiMap,
// keyed by the parent's id). Not guarded: build and link a fresh set rather than edit a shared one.
//
//   "id"          id()         setId()
//   "carriersId"  carrierId()  setCarrierId()
template <typename T>
class Object
{
public:
    using Ptr = QSharedPointer<T>;
    using List = QList<Ptr>;
    using Map = QMap<int, Ptr>;

    virtual ~Object() = default;

    virtual int id() const { return json::toInt(value(QLatin1String("id"))); }
    virtual int carrierId() const { return json::toInt(value(QLatin1String("carriersId"))); }
    virtual void setId(int id) { setValue(QLatin1String("id"), id); }
    virtual void setCarrierId(int carrierId) { setValue(QLatin1String("carriersId"), carrierId); }
    virtual QJsonObject toJson() const { return mJson; }

protected:
    Object() = default;
    explicit Object(const QJsonObject &json) : mJson(json) {}
    Object(const Object &) = default;
    Object &operator=(const Object &) = default;

    QJsonValue value(QLatin1String key) const { return mJson.value(key); }
    void setValue(QLatin1String key, const QJsonValue &value) { mJson.insert(key, value); }

private:
    QJsonObject mJson;
};

} // namespace tarvik
