#include "rfid/rfidcardfactory.h"

#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetodesv4/card.h"
#include "rfid/zetoemv/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

#include <QJsonDocument>
#include <QVariant>

RfidCard *RfidCardFactory::create(const QVariantMap &card)
{
    const QString name = card.value(QStringLiteral("template")).toString();
    const auto json = [&card] { return QJsonDocument::fromVariant(card).object(); };

    if (name == ZetoDes_v3::Card::MyTemplate)
        return new ZetoDes_v3::Card(json());
    if (name == ZetoDes_v2::Card::MyTemplate)
        return new ZetoDes_v2::Card(json());
    if (name == ZetoLUC::Card::MyTemplate)
        return new ZetoLUC::Card(json());
    if (name == ZetoLUCv2::Card::MyTemplate)
        return new ZetoLUCv2::Card(json());
    if (name == ZetoEMV::Card::MyTemplate)
        return new ZetoEMV::Card(json());
    if (name == ZetoDESv4::Card::MyTemplate)
        return new ZetoDESv4::Card(json());
    return nullptr;
}
