#pragma once

#include "tarvik/object.h"

namespace tarvik {

// A back-end record with texts in several languages under "multiLanguageFieldsMap":
// field name -> { language code -> text }.
template <typename T>
class MultiLangObject : public Object<T>
{
public:
    virtual QJsonObject multiLang() const
    {
        return json::toObject(this->value(QLatin1String("multiLanguageFieldsMap")));
    }

    // The text in `lang` of the first field of the map in key order; the other fields are
    // not reachable here, whichever one the caller means.
    virtual QString multiLang(const QString &lang) const
    {
        const QJsonObject fields = multiLang();
        if (fields.isEmpty())
            return QString();
        return json::toString(json::toObject(fields.begin().value()).value(lang));
    }

    virtual void setMultiLang(const QJsonObject &fields)
    {
        this->setValue(QLatin1String("multiLanguageFieldsMap"), fields);
    }

protected:
    MultiLangObject() = default;
    explicit MultiLangObject(const QJsonObject &json) : Object<T>(json) {}
};

} // namespace tarvik
