#pragma once

#include "tarvik/multilangobject.h"

namespace tarvik {

// A class of passenger of the back-end's fare catalogue, looked up by its code ("PT_ADULT").
// The age range, discount, grace period and category are passed on as received.
//
//   "mainId", "ageFrom", "ageTo", "category"  int
//   "code", "name", "gracePeriod"  text
//   "discount"  double
//   "default", "active"  bool
class PassengerType : public MultiLangObject<PassengerType>
{
public:
    PassengerType();
    explicit PassengerType(const QJsonObject &json);
    ~PassengerType() override;

    int mainId() const;
    void setMainId(int mainId);
    QString code() const;
    void setCode(const QString &code);
    int ageFrom() const;
    void setAgeFrom(int ageFrom);
    int ageTo() const;
    void setAgeTo(int ageTo);
    QString name() const;
    void setName(const QString &name);
    double discount() const;
    void setDiscount(double discount);
    QString gracePeriod() const;
    void setGracePeriod(const QString &gracePeriod);
    int category() const;
    void setCategory(int category);
    bool isDefault() const;
    void setDefault(bool isDefault);
    bool isActive() const;
    void setActive(bool active);

    QString toString() const;
};

} // namespace tarvik
