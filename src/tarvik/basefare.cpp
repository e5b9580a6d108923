#include "tarvik/basefare.h"

namespace tarvik {

namespace {
const QLatin1String kMainId("mainId");
const QLatin1String kName("name");
const QLatin1String kCode("code");
const QLatin1String kIsAxisFare("isAxisFare");
const QLatin1String kIsZoneFare("isZoneFare");
const QLatin1String kIsKmFare("isKmFare");
const QLatin1String kIsCityZoneFare("isCityZoneFare");
const QLatin1String kFareAmount("fareAmount");
const QLatin1String kSameStateFareAmount("sameSateFareAmount");
const QLatin1String kAcrossStateFareAmount("acrossStateFareAmount");
const QLatin1String kAcrossCarriersFareAmount("acrossCarriersFareAmount");
const QLatin1String kMinKmFareAmount("minKmFareAmount");
const QLatin1String kActivationDate("activationDate");
const QLatin1String kAxisId("axisId");
const QLatin1String kZoneFrom("zoneFrom");
const QLatin1String kZoneTo("zoneTo");
const QLatin1String kExtraCharges("baseFareExtraCharges");
const QLatin1String kAxisRoutes("baseFareAxisRoutes");
const QLatin1String kCityZoneFareStopGroups("cityZoneFareStopGroups");

template <typename T>
QJsonArray toJsonArray(const QList<T> &list)
{
    QJsonArray array;
    for (const T &element : list)
        array.append(element);
    return array;
}
} // namespace

BaseFare::BaseFare() = default;

BaseFare::BaseFare(const QJsonObject &json)
    : MultiLangObject(json)
{
}

BaseFare::~BaseFare() = default;

int BaseFare::mainId() const { return json::toInt(value(kMainId)); }
void BaseFare::setMainId(int mainId) { setValue(kMainId, mainId); }
QString BaseFare::name() const { return json::toString(value(kName)); }
void BaseFare::setName(const QString &name) { setValue(kName, name); }
QString BaseFare::code() const { return json::toString(value(kCode)); }
void BaseFare::setCode(const QString &code) { setValue(kCode, code); }
bool BaseFare::isAxisFare() const { return json::toBool(value(kIsAxisFare)); }
void BaseFare::setIsAxisFare(bool isAxisFare) { setValue(kIsAxisFare, isAxisFare); }
bool BaseFare::isZoneFare() const { return json::toBool(value(kIsZoneFare)); }
void BaseFare::setIsZoneFare(bool isZoneFare) { setValue(kIsZoneFare, isZoneFare); }
bool BaseFare::isKmFare() const { return json::toBool(value(kIsKmFare)); }
void BaseFare::setIsKmFare(bool isKmFare) { setValue(kIsKmFare, isKmFare); }
bool BaseFare::isCityZoneFare() const { return json::toBool(value(kIsCityZoneFare)); }
void BaseFare::setIsCityZoneFare(bool isCityZoneFare) { setValue(kIsCityZoneFare, isCityZoneFare); }
double BaseFare::fareAmount() const { return json::toDouble(value(kFareAmount)); }
void BaseFare::setFareAmount(double amount) { setValue(kFareAmount, amount); }
double BaseFare::sameStateFareAmount() const { return json::toDouble(value(kSameStateFareAmount)); }
void BaseFare::setSameStateFareAmount(double amount) { setValue(kSameStateFareAmount, amount); }
double BaseFare::acrossStateFareAmount() const { return json::toDouble(value(kAcrossStateFareAmount)); }
void BaseFare::setAcrossStateFareAmount(double amount) { setValue(kAcrossStateFareAmount, amount); }
double BaseFare::acrossCarriersFareAmount() const { return json::toDouble(value(kAcrossCarriersFareAmount)); }
void BaseFare::setAcrossCarriersFareAmount(double amount) { setValue(kAcrossCarriersFareAmount, amount); }
double BaseFare::minKmFareAmount() const { return json::toDouble(value(kMinKmFareAmount)); }
void BaseFare::setMinKmFareAmount(double amount) { setValue(kMinKmFareAmount, amount); }
int BaseFare::axisId() const { return json::toInt(value(kAxisId)); }
void BaseFare::setAxisId(int axisId) { setValue(kAxisId, axisId); }
int BaseFare::stopGroupFromId() const { return json::toInt(value(kZoneFrom)); }
void BaseFare::setStopGroupFromId(int stopGroupId) { setValue(kZoneFrom, stopGroupId); }
int BaseFare::stopGroupToId() const { return json::toInt(value(kZoneTo)); }
void BaseFare::setStopGroupToId(int stopGroupId) { setValue(kZoneTo, stopGroupId); }

QDateTime BaseFare::activationDate() const
{
    return json::toLocalDateTime(value(kActivationDate)).toUTC();
}

void BaseFare::setActivationDate(const QDateTime &date)
{
    setValue(kActivationDate, date.toLocalTime().toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")));
}

QList<double> BaseFare::baseFareExtraCharges() const
{
    return getList2<double>(json::toArray(value(kExtraCharges)));
}

void BaseFare::setBaseFareExtraCharges(const QList<double> &charges)
{
    setValue(kExtraCharges, toJsonArray(charges));
}

QList<int> BaseFare::baseFareAxisRoutes() const
{
    return getList2<int>(json::toArray(value(kAxisRoutes)));
}

void BaseFare::setBaseFareAxisRoutes(const QList<int> &routes)
{
    setValue(kAxisRoutes, toJsonArray(routes));
}

QList<int> BaseFare::cityZoneFareStopGroupIds() const
{
    return getList2<int>(json::toArray(value(kCityZoneFareStopGroups)));
}

void BaseFare::setCityZoneFareStopGroupIds(const QList<int> &stopGroupIds)
{
    setValue(kCityZoneFareStopGroups, toJsonArray(stopGroupIds));
}

QSharedPointer<StopGroup2> BaseFare::stopGroupFrom() const { return mStopGroupFrom; }
void BaseFare::setStopGroupFrom(QSharedPointer<StopGroup2> stopGroup)
{
    mStopGroupFrom = std::move(stopGroup);
}
QSharedPointer<StopGroup2> BaseFare::stopGroupTo() const { return mStopGroupTo; }
void BaseFare::setStopGroupTo(QSharedPointer<StopGroup2> stopGroup) { mStopGroupTo = std::move(stopGroup); }
StopGroup2::List BaseFare::cityZoneFareStopGroups() const { return mCityZoneFareStopGroups; }
void BaseFare::setCityZoneFareStopGroups(const StopGroup2::List &stopGroups)
{
    mCityZoneFareStopGroups = stopGroups;
}

QString BaseFare::type() const
{
    if (isKmFare())
        return QStringLiteral("KmFare");
    if (isCityZoneFare())
        return QStringLiteral("CityZoneFare");
    if (isZoneFare())
        return QStringLiteral("ZoneFare");
    if (isAxisFare())
        return QStringLiteral("AxisFare");
    return QStringLiteral("<unknown>");
}

QString BaseFare::toString() const
{
    return QStringLiteral("[%1] %2/%3/%4 (%5)")
        .arg(QString::number(id()), code(), multiLang(QStringLiteral("en")),
             multiLang(QStringLiteral("el")), type());
}

} // namespace tarvik
