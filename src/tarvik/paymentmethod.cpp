#include "tarvik/paymentmethod.h"

namespace tarvik {

namespace {
const QLatin1String kMainId("mainId");
const QLatin1String kCode("code");
const QLatin1String kName("name");
} // namespace

PaymentMethod::PaymentMethod() = default;

PaymentMethod::PaymentMethod(const QJsonObject &json)
    : MultiLangObject(json)
{
}

PaymentMethod::~PaymentMethod() = default;

int PaymentMethod::mainId() const { return json::toInt(value(kMainId)); }
void PaymentMethod::setMainId(int mainId) { setValue(kMainId, mainId); }
QString PaymentMethod::code() const { return json::toString(value(kCode)); }
void PaymentMethod::setCode(const QString &code) { setValue(kCode, code); }
QString PaymentMethod::name() const { return json::toString(value(kName)); }
void PaymentMethod::setName(const QString &name) { setValue(kName, name); }

QString PaymentMethod::toString() const
{
    return QStringLiteral("[%1] %2 (en=%3, el=%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
