#pragma once

#include <QJsonObject>
#include <QMetaType>

#include <memory>

// The database service's whole reply to a request that issues or stores EMV tickets or
// stores an EMV result. Readers take the object itself ("error"/"id" is the error code).
// Built once and then only read, so it may cross threads as a shared pointer.
class EMVticketResp
{
public:
    using Ptr = std::shared_ptr<EMVticketResp>;

    EMVticketResp() = default;
    explicit EMVticketResp(const QJsonObject &json)
        : mJson(json)
    {
    }

    QJsonObject toJson() const { return mJson; }
    void fromJson(const QJsonObject &json) { mJson = json; }

private:
    QJsonObject mJson;
};

Q_DECLARE_METATYPE(EMVticketResp::Ptr)
