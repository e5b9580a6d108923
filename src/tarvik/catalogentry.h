#pragma once

#include "tarvik/multilangobject.h"

namespace tarvik {

// A plain entry of the back-end's fare catalogue, named by its code; T is the record class.
//
//   "mainId"  int
//   "code", "name"  text
template <typename T>
class CatalogEntry : public MultiLangObject<T>
{
public:
    int mainId() const { return json::toInt(this->value(QLatin1String("mainId"))); }
    void setMainId(int mainId) { this->setValue(QLatin1String("mainId"), mainId); }
    QString code() const { return json::toString(this->value(QLatin1String("code"))); }
    void setCode(const QString &code) { this->setValue(QLatin1String("code"), code); }
    QString name() const { return json::toString(this->value(QLatin1String("name"))); }
    void setName(const QString &name) { this->setValue(QLatin1String("name"), name); }

protected:
    CatalogEntry() = default;
    explicit CatalogEntry(const QJsonObject &json) : MultiLangObject<T>(json) {}
};

} // namespace tarvik
