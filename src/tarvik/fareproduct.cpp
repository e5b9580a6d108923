#include "tarvik/fareproduct.h"

#include "tarvik/jsonread.h"

#include <QDebug>
#include <QLoggingCategory>

#include <limits>

namespace tarvik {

namespace {

const char kTag[] = "[tarvik.fareProduct] ";

// A zone id that is absent means "anywhere"; the sentinel never matches a real zone.
constexpr int kAnyZone = std::numeric_limits<int>::max();

// Each element wraps its entry under the array's own key: {"ticketMaterial": {"id", "code"}}.
QMap<int, QString> readCodeMap(const QJsonObject &json, QLatin1String key)
{
    QMap<int, QString> codes;
    const QJsonArray links = json::readArray(json, key);
    for (const QJsonValue &link : links) {
        const QJsonObject entry = json::readObject(json::toObject(link), key);
        const int id = json::readInt(entry, QLatin1String("id"));
        if (!codes.contains(id)) // the first code of an id wins
            codes.insert(id, json::readString(entry, QLatin1String("code")));
    }
    return codes;
}

int readZoneId(const QJsonObject &json, QLatin1String key, bool *anywhere)
{
    // Only an absent key means anywhere; a present null or text reads 0.
    *anywhere = !json.contains(key);
    return *anywhere ? kAnyZone : json::readInt(json, key);
}

} // namespace

FareProduct::PassengerType::PassengerType(const QJsonObject &json)
    : id(json::readInt(json, QLatin1String("id")))
    , ageFrom(json::readInt(json, QLatin1String("ageFrom")))
    , ageTo(json::readInt(json, QLatin1String("ageTo")))
    , code(json::readString(json, QLatin1String("code")))
    , description(json::readString(json, QLatin1String("description")))
    , discount(json::readDouble(json, QLatin1String("discount")))
    , gracePeriod(json::readString(json, QLatin1String("gracePeriod")))
    , category(json::readInt(json, QLatin1String("category")))
    , isDefault(json::toBoolFromInt(json.value(QLatin1String("default"))))
    , active(json::toBoolFromInt(json.value(QLatin1String("active"))))
{
}

FareProduct::FareProduct(const QJsonObject &json)
{
    fromJson(json);
}

void FareProduct::fromJson(const QJsonObject &json)
{
    mId = json::readInt(json, QLatin1String("fareProductId"));
    mFareDiscount = json::readInt(json, QLatin1String("fareDiscount"));
    mName = json::readString(json, QLatin1String("fareProductName"));
    mImage = json::readString(json, QLatin1String("image"));
    mIsReturnFee = json::readBool(json, QLatin1String("isReturnFee"));
    mPrice = json::readDouble(json, QLatin1String("price"));
    mValidFrom = json::readString(json, QLatin1String("validFrom"));
    mValidPerRoute = json::readBool(json, QLatin1String("validPerRoute"));
    mIsAxisFare = json::readBool(json, QLatin1String("isAxisFare"));
    mIsZoneFare = json::readBool(json, QLatin1String("isZoneFare"));
    mIsCityZoneFare = json::readBool(json, QLatin1String("isCityZoneFare"));
    mAxisId = json::readInt(json, QLatin1String("axisId"));
    mNumberOfTrips = json::readInt(json, QLatin1String("numberOfTrips"));
    mFromStopGroupId = readZoneId(json, QLatin1String("fromStopGroupId"), &mFromAnywhere);
    mToStopGroupId = readZoneId(json, QLatin1String("toStopGroupId"), &mToAnywhere);
    mValidityPeriodMin = json::readInt(json, QLatin1String("validityPeriodMin"));
    mPaymentMethods = readCodeMap(json, QLatin1String("paymentMethod"));
    mPaymentChannels = readCodeMap(json, QLatin1String("paymentChannel"));
    mTicketMaterials = readCodeMap(json, QLatin1String("ticketMaterial"));

    const QJsonArray types = json::readArray(json, QLatin1String("passengerTypes"));
    for (const QJsonValue &value : types) {
        const PassengerType type(json::toObject(value));
        if (!mPassengerTypes.contains(type.id)) // the first of an id is kept
            mPassengerTypes.insert(type.id, type);
    }

    const QJsonArray zones = json::readArray(json, QLatin1String("validStopGroups"));
    for (const QJsonValue &value : zones)
        mValidStopGroupIds.append(json::toInt(value));
}

QMap<int, QString> FareProduct::getPassengerTypes() const
{
    QMap<int, QString> descriptions;
    for (const PassengerType &type : mPassengerTypes)
        descriptions.insert(type.id, type.description);
    return descriptions;
}

FareProduct::PassengerType FareProduct::findPassengerType(int id) const
{
    return mPassengerTypes.value(id);
}

FareProduct::PassengerType FareProduct::findPassengerType(const QString &code) const
{
    for (const PassengerType &type : mPassengerTypes) {
        if (type.code == code)
            return type;
    }
    return PassengerType();
}

QString FareProduct::type() const
{
    if (mIsAxisFare)
        return QStringLiteral("AxisFare");
    if (mIsZoneFare)
        return QStringLiteral("SpecialOffer");
    if (mIsCityZoneFare)
        return QStringLiteral("CityZoneFare");
    return QString();
}

void FareProduct::setActive(bool active)
{
    // Decided for every product at every progress event: skip building the line when
    // debug output is filtered out.
    if (QLoggingCategory::defaultCategory()->isDebugEnabled())
        qDebug().noquote().nospace() << kTag << (active ? "Enabling" : "Disabling") << " FareProduct '" << describe();
    mActive = active;
}

QString FareProduct::toString() const
{
    return QStringLiteral("(%1) %2 (%3)").arg(QString::number(mId), mName, type());
}

void FareProduct::log() const
{
    qInfo().noquote().nospace() << kTag << "    FareProduct '" << describe();
    for (const PassengerType &type : mPassengerTypes)
        qInfo().noquote().nospace() << kTag << "        PassengerType '" << type.description << "' " << "(mId=" << type.id << ")";
}

// The tail shared by the decision and the summary lines, from the name on.
QString FareProduct::describe() const
{
    return QStringLiteral("%1' (id=%2, fromSG=%3, toSG=%4, type=%5)")
        .arg(mName, QString::number(mId), QString::number(mFromStopGroupId), QString::number(mToStopGroupId), type());
}

} // namespace tarvik
