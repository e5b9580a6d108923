#pragma once

#include "tarvik/object.h"

#include <QMultiHash>

namespace tarvik {

// Base of the rows that tie a fare product to one record it is made of or sold through:
// "fareProductId" plus the record's own id key. The fare manager files the rows of each kind
// in a MultiMap by fare product id.
template <typename T>
class FareProductLink : public Object<T>
{
public:
    using MultiMap = QMultiHash<int, typename Object<T>::Ptr>; // by fare product id

    int fareProductId() const { return json::toInt(this->value(QLatin1String("fareProductId"))); }
    void setFareProductId(int id) { this->setValue(QLatin1String("fareProductId"), id); }

protected:
    FareProductLink() = default;
    explicit FareProductLink(const QJsonObject &json) : Object<T>(json) {}
};

} // namespace tarvik
