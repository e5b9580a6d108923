#pragma once

#include "rfid/rfidcard.h"

#include <QJsonObject>

namespace ZetoDESv4 {

// A DES v4 card: only the envelope is understood. Keeps "uid", "type" and the raw "data"
// object; never throws (a missing uid reads as "", a missing type as 0). toJson gives back
// the message as read, with "template" set to "ZetoDESv4".
class Card : public RfidCard
{
public:
    static const QString MyTemplate; // "ZetoDESv4"

    explicit Card(const QJsonObject &json);
    ~Card() override;

    QString getTemplate() const override { return MyTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override;

    QJsonObject getData() const; // empty when the message has none

private:
    QJsonObject mJson;
    QString mUid;
    int mType = 0;
};

} // namespace ZetoDESv4
