#include "tarvik/passengertype.h"

namespace tarvik {

namespace {
const QLatin1String kMainId("mainId");
const QLatin1String kCode("code");
const QLatin1String kAgeFrom("ageFrom");
const QLatin1String kAgeTo("ageTo");
const QLatin1String kName("name");
const QLatin1String kDiscount("discount");
const QLatin1String kGracePeriod("gracePeriod");
const QLatin1String kCategory("category");
const QLatin1String kDefault("default");
const QLatin1String kActive("active");
} // namespace

PassengerType::PassengerType() = default;

PassengerType::PassengerType(const QJsonObject &json)
    : MultiLangObject(json)
{
}

PassengerType::~PassengerType() = default;

int PassengerType::mainId() const { return json::toInt(value(kMainId)); }
void PassengerType::setMainId(int mainId) { setValue(kMainId, mainId); }
QString PassengerType::code() const { return json::toString(value(kCode)); }
void PassengerType::setCode(const QString &code) { setValue(kCode, code); }
int PassengerType::ageFrom() const { return json::toInt(value(kAgeFrom)); }
void PassengerType::setAgeFrom(int ageFrom) { setValue(kAgeFrom, ageFrom); }
int PassengerType::ageTo() const { return json::toInt(value(kAgeTo)); }
void PassengerType::setAgeTo(int ageTo) { setValue(kAgeTo, ageTo); }
QString PassengerType::name() const { return json::toString(value(kName)); }
void PassengerType::setName(const QString &name) { setValue(kName, name); }
double PassengerType::discount() const { return json::toDouble(value(kDiscount)); }
void PassengerType::setDiscount(double discount) { setValue(kDiscount, discount); }
QString PassengerType::gracePeriod() const { return json::toString(value(kGracePeriod)); }
void PassengerType::setGracePeriod(const QString &gracePeriod) { setValue(kGracePeriod, gracePeriod); }
int PassengerType::category() const { return json::toInt(value(kCategory)); }
void PassengerType::setCategory(int category) { setValue(kCategory, category); }
bool PassengerType::isDefault() const { return json::toBool(value(kDefault)); }
void PassengerType::setDefault(bool isDefault) { setValue(kDefault, isDefault); }
bool PassengerType::isActive() const { return json::toBool(value(kActive)); }
void PassengerType::setActive(bool active) { setValue(kActive, active); }

QString PassengerType::toString() const
{
    return QStringLiteral("[%1] %2/%3/%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
