#pragma once

#include "tarvik/multilangobject.h"

namespace tarvik {

// A sales channel of the back-end's fare catalogue, named by its code
// ("PC_DRIVER" marks a product sold by the driver).
//
//   "mainId"  int
//   "code", "name"  text
class PaymentChannel : public MultiLangObject<PaymentChannel>
{
public:
    PaymentChannel();
    explicit PaymentChannel(const QJsonObject &json);
    ~PaymentChannel() override;

    int mainId() const;
    void setMainId(int mainId);
    QString code() const;
    void setCode(const QString &code);
    QString name() const;
    void setName(const QString &name);

    QString toString() const;
};

} // namespace tarvik
