#include "rfid/rfidcardfactory.h"

#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"

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
    // "ZetoLUC", "ZetoLUCv2", "EMV" and "ZetoDESv4" come next, in that order.
    return nullptr;
}
