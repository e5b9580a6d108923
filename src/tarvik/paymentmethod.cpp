#include "tarvik/paymentmethod.h"

namespace tarvik {

PaymentMethod::PaymentMethod() = default;

PaymentMethod::PaymentMethod(const QJsonObject &json)
    : CatalogEntry(json)
{
}

PaymentMethod::~PaymentMethod() = default;

QString PaymentMethod::toString() const
{
    return QStringLiteral("[%1] %2 (en=%3, el=%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
