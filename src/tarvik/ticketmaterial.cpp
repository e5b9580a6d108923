#include "tarvik/ticketmaterial.h"

namespace tarvik {

namespace {
const QLatin1String kMainId("mainId");
const QLatin1String kCode("code");
const QLatin1String kName("name");
} // namespace

TicketMaterial::TicketMaterial() = default;

TicketMaterial::TicketMaterial(const QJsonObject &json)
    : MultiLangObject(json)
{
}

TicketMaterial::~TicketMaterial() = default;

int TicketMaterial::mainId() const { return json::toInt(value(kMainId)); }
void TicketMaterial::setMainId(int mainId) { setValue(kMainId, mainId); }
QString TicketMaterial::code() const { return json::toString(value(kCode)); }
void TicketMaterial::setCode(const QString &code) { setValue(kCode, code); }
QString TicketMaterial::name() const { return json::toString(value(kName)); }
void TicketMaterial::setName(const QString &name) { setValue(kName, name); }

QString TicketMaterial::toString() const
{
    return QStringLiteral("[%1] %2/%3/%4)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")));
}

} // namespace tarvik
