#pragma once

#include "tarvik/multilangobject.h"

namespace tarvik {

// A means of payment of the back-end's fare catalogue, named by its code
// ("PM_CARRIER_CARD_MONEY" marks the e-purse).
//
//   "mainId"  int
//   "code", "name"  text
class PaymentMethod : public MultiLangObject<PaymentMethod>
{
public:
    PaymentMethod();
    explicit PaymentMethod(const QJsonObject &json);
    ~PaymentMethod() override;

    int mainId() const;
    void setMainId(int mainId);
    QString code() const;
    void setCode(const QString &code);
    QString name() const;
    void setName(const QString &name);

    QString toString() const;
};

} // namespace tarvik
