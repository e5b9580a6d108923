#pragma once

#include "rfid/rfidcard.h"

#include <QJsonObject>
#include <QList>

namespace ZetoEMV {

// A bank card tapped on the reader. An "error" entry ({"code", "command", "what"}) is the
// reader's account of the EMV transaction and belongs to the card, not a failed read;
// "data" may be absent. toJson echoes the message as read, which lets the reader complete
// its transaction.
class Card : public RfidCard
{
public:
    static const QString MyTemplate;            // "EMV"
    static const QList<int> SupportedVersions;

    Card();
    // Requires "uid", "type" and "template"; throws std::runtime_error naming the first
    // one missing.
    explicit Card(const QJsonObject &json);
    ~Card() override;

    QString getTemplate() const override { return mTemplate; }
    QString getUid() const override { return mUid; }
    int getType() const override { return mType; }
    QJsonObject toJson() const override { return mJson; }

    bool hasError() const;
    QJsonObject getError() const; // empty without an "error" entry
    QJsonObject getData() const;  // empty without "data"

private:
    QJsonObject mJson;
    QString mTemplate;
    QString mUid;
    int mType = 0;
};

} // namespace ZetoEMV
