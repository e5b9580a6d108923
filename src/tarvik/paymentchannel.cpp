#include "tarvik/paymentchannel.h"

namespace tarvik {

PaymentChannel::PaymentChannel() = default;

PaymentChannel::PaymentChannel(const QJsonObject &json)
    : CatalogEntry(json)
{
}

PaymentChannel::~PaymentChannel() = default;

QString PaymentChannel::toString() const
{
    return QStringLiteral("[%1] %2 (en=%3, el=%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
