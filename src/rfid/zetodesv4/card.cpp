#include "rfid/zetodesv4/card.h"

#include "rfid/cardjsonreader.h"

namespace ZetoDESv4 {

const QString Card::MyTemplate = QStringLiteral("ZetoDESv4");

Card::Card(const QJsonObject &json)
    : mJson(json)
    , mUid(json.value(QLatin1String("uid")).toString())
    , mType(CardJsonReader::intFrom(json.value(QLatin1String("type"))))
{
}

Card::~Card() = default;

QJsonObject Card::toJson() const
{
    QJsonObject json = mJson;
    json.insert(QLatin1String("template"), MyTemplate);
    return json;
}

QJsonObject Card::getData() const
{
    return mJson.value(QLatin1String("data")).toObject();
}

} // namespace ZetoDESv4
