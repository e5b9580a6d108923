#include "rfid/zetoemv/card.h"

#include "rfid/cardjsonreader.h"

namespace ZetoEMV {

const QString Card::MyTemplate = QStringLiteral("EMV");
const QList<int> Card::SupportedVersions = {1};

Card::Card()
    : mTemplate(MyTemplate)
{
    mJson.insert(QLatin1String("uid"), mUid);
    mJson.insert(QLatin1String("type"), mType);
    mJson.insert(QLatin1String("template"), mTemplate);
}

Card::Card(const QJsonObject &json)
    : mJson(json)
{
    const CardJsonReader envelope(json, "card missing '", "' field in top level");
    envelope.readEnvelope(mUid, mType, mTemplate);
}

Card::~Card() = default;

bool Card::hasError() const
{
    return mJson.contains(QLatin1String("error"));
}

QJsonObject Card::getError() const
{
    return mJson.value(QLatin1String("error")).toObject();
}

QJsonObject Card::getData() const
{
    return mJson.value(QLatin1String("data")).toObject();
}

} // namespace ZetoEMV
