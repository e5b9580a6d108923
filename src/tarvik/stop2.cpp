#include "tarvik/stop2.h"

#include "tarvik/stopgroup2.h"

namespace tarvik {

namespace {
const QLatin1String kLatitude("latitude");
const QLatin1String kLongitude("longitude");
const QLatin1String kUserIdentifier("userIdentifier");
const QLatin1String kName("name");
const QLatin1String kAddress("address");
const QLatin1String kPhone("phone");
} // namespace

Stop2::Stop2() = default;

Stop2::Stop2(const QJsonObject &json)
    : MultiLangObject(json)
{
}

Stop2::~Stop2() = default;

double Stop2::latitude() const { return json::toDoubleFromText(value(kLatitude)); }
void Stop2::setLatitude(double latitude) { setValue(kLatitude, latitude); }
double Stop2::longitude() const { return json::toDoubleFromText(value(kLongitude)); }
void Stop2::setLongitude(double longitude) { setValue(kLongitude, longitude); }
QString Stop2::userIdentifier() const { return json::toString(value(kUserIdentifier)); }
void Stop2::setUserIdentifier(const QString &userIdentifier) { setValue(kUserIdentifier, userIdentifier); }
QString Stop2::name() const { return json::toString(value(kName)); }
void Stop2::setName(const QString &name) { setValue(kName, name); }
QString Stop2::address() const { return json::toString(value(kAddress)); }
void Stop2::setAddress(const QString &address) { setValue(kAddress, address); }
QString Stop2::phone() const { return json::toString(value(kPhone)); }
void Stop2::setPhone(const QString &phone) { setValue(kPhone, phone); }

QSharedPointer<StopGroup2> Stop2::stopGroup() const
{
    return mStopGroup.toStrongRef();
}

void Stop2::setStopGroup(const QSharedPointer<StopGroup2> &stopGroup)
{
    mStopGroup = stopGroup;
}

QString Stop2::toString() const
{
    const QSharedPointer<StopGroup2> group = stopGroup();
    return QStringLiteral("[%1] %2 (%3)")
        .arg(QString::number(id()), name(),
             group ? group->userIdentifier() : QStringLiteral("<none>"));
}

} // namespace tarvik
