#include "tarvik/paymentchannel.h"

namespace tarvik {

namespace {
const QLatin1String kMainId("mainId");
const QLatin1String kCode("code");
const QLatin1String kName("name");
} // namespace

PaymentChannel::PaymentChannel() = default;

PaymentChannel::PaymentChannel(const QJsonObject &json)
    : MultiLangObject(json)
{
}

PaymentChannel::~PaymentChannel() = default;

int PaymentChannel::mainId() const { return json::toInt(value(kMainId)); }
void PaymentChannel::setMainId(int mainId) { setValue(kMainId, mainId); }
QString PaymentChannel::code() const { return json::toString(value(kCode)); }
void PaymentChannel::setCode(const QString &code) { setValue(kCode, code); }
QString PaymentChannel::name() const { return json::toString(value(kName)); }
void PaymentChannel::setName(const QString &name) { setValue(kName, name); }

QString PaymentChannel::toString() const
{
    return QStringLiteral("[%1] %2 (en=%3, el=%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
