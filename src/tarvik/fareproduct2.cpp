#include "tarvik/fareproduct2.h"

#include "framework/logger.h"

#include <QLocale>

#include <limits>

namespace tarvik {

namespace {
const QLatin1String kCode("code");
const QLatin1String kValidFrom("validFrom");
const QLatin1String kValidityUnit("validityUnit");
const QLatin1String kValidityDuration("validityDuration");
const QLatin1String kNumberOfTrips("numberOfTrips");
const QLatin1String kCalculatedPrice("calculatedPrice");
const QLatin1String kFareFixed("fareFixed");
const QLatin1String kFareDiscount("fareDiscount");
const QLatin1String kFareRoundingCeiling("fareRoundingCeiling");
const QLatin1String kIsReturnFare("isReturnFare");
const QLatin1String kIsPersonalized("isPersonalized");
const QLatin1String kPerBaseFare("perBaseFare");
const QLatin1String kColor("color");
const QLatin1String kPosition("position");
const QLatin1String kActivationDate("activationDate");
const QLatin1String kExpirationDate("expirationDate");

// Minutes per validity unit; any other unit means minutes.
constexpr int kMinutesPerMonth = 43830;
constexpr int kMinutesPerWeek = 10080;
constexpr int kMinutesPerDay = 1440;

// Read on every tap: convert the one value rather than the whole object.
QDateTime epochMsAsLocal(const QJsonValue &value)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(json::toUInt64Converted(value)));
}

template <typename List>
typename List::value_type findByCode(const List &list, const QString &code)
{
    for (const auto &record : list) {
        if (record && record->code() == code)
            return record;
    }
    return {};
}
} // namespace

FareProduct2::FareProduct2() = default;

FareProduct2::FareProduct2(const QJsonObject &json)
    : MultiLangObject(json)
{
}

FareProduct2::~FareProduct2() = default;

QString FareProduct2::code() const { return json::toString(value(kCode)); }
void FareProduct2::setCode(const QString &code) { setValue(kCode, code); }
QString FareProduct2::validFrom() const { return json::toString(value(kValidFrom)); }
void FareProduct2::setValidFrom(const QString &validFrom) { setValue(kValidFrom, validFrom); }
QString FareProduct2::validityUnit() const { return json::toString(value(kValidityUnit)); }
void FareProduct2::setValidityUnit(const QString &unit) { setValue(kValidityUnit, unit); }
int FareProduct2::validityDuration() const { return json::toInt(value(kValidityDuration)); }
void FareProduct2::setValidityDuration(int duration) { setValue(kValidityDuration, duration); }
int FareProduct2::numberOfTrips() const { return json::toInt(value(kNumberOfTrips)); }
void FareProduct2::setNumberOfTrips(int trips) { setValue(kNumberOfTrips, trips); }
int FareProduct2::calculatedPrice() const { return json::toInt(value(kCalculatedPrice)); }
double FareProduct2::fareFixed() const { return json::toDouble(value(kFareFixed)); }
void FareProduct2::setFareFixed(double fare) { setValue(kFareFixed, fare); }
double FareProduct2::fareDiscount() const { return json::toDouble(value(kFareDiscount)); }
void FareProduct2::setFareDiscount(double discount) { setValue(kFareDiscount, discount); }
bool FareProduct2::fareRoundingCeiling() const { return json::toBool(value(kFareRoundingCeiling)); }
void FareProduct2::setFareRoundingCeiling(bool ceiling) { setValue(kFareRoundingCeiling, ceiling); }
bool FareProduct2::isReturnFare() const { return json::toBool(value(kIsReturnFare)); }
void FareProduct2::setIsReturnFare(bool isReturnFare) { setValue(kIsReturnFare, isReturnFare); }
int FareProduct2::isPersonalized() const { return json::toInt(value(kIsPersonalized)); }
void FareProduct2::setIsPersonalized(int isPersonalized) { setValue(kIsPersonalized, isPersonalized); }
bool FareProduct2::perBaseFare() const { return json::toBool(value(kPerBaseFare)); }
void FareProduct2::setPerBaseFare(bool perBaseFare) { setValue(kPerBaseFare, perBaseFare); }
QString FareProduct2::color() const { return json::toString(value(kColor)); }
void FareProduct2::setColor(const QString &color) { setValue(kColor, color); }
int FareProduct2::position() const { return json::toInt(value(kPosition)); }
void FareProduct2::setPosition(int position) { setValue(kPosition, position); }

QDateTime FareProduct2::activationDate() const
{
    return epochMsAsLocal(value(kActivationDate));
}

void FareProduct2::setActivationDate(const QDateTime &date)
{
    setValue(kActivationDate, qint64(date.toMSecsSinceEpoch()));
}

QDateTime FareProduct2::expirationDate() const
{
    return epochMsAsLocal(value(kExpirationDate));
}

void FareProduct2::setExpirationDate(const QDateTime &date)
{
    setValue(kExpirationDate, qint64(date.toMSecsSinceEpoch()));
}

BaseFare::List FareProduct2::baseFares() const { return mBaseFares; }
void FareProduct2::setBaseFares(const BaseFare::List &baseFares) { mBaseFares = baseFares; }
PassengerType::List FareProduct2::passengerTypes() const { return mPassengerTypes; }
void FareProduct2::setPassengerTypes(const PassengerType::List &passengerTypes)
{
    mPassengerTypes = passengerTypes;
}
PaymentMethod::List FareProduct2::paymentMethods() const { return mPaymentMethods; }
void FareProduct2::setPaymentMethods(const PaymentMethod::List &paymentMethods)
{
    mPaymentMethods = paymentMethods;
}
PaymentChannel::List FareProduct2::paymentChannels() const { return mPaymentChannels; }
void FareProduct2::setPaymentChannels(const PaymentChannel::List &paymentChannels)
{
    mPaymentChannels = paymentChannels;
}
TicketMaterial::List FareProduct2::ticketMaterials() const { return mTicketMaterials; }
void FareProduct2::setTicketMaterials(const TicketMaterial::List &ticketMaterials)
{
    mTicketMaterials = ticketMaterials;
}

QString FareProduct2::name() const
{
    const QString lang = QLocale().bcp47Name();
    const QJsonObject fields = multiLang();
    if (!fields.isEmpty() && json::toObject(fields.begin().value()).contains(lang))
        return multiLang(lang);
    return multiLang(QStringLiteral("en"));
}

double FareProduct2::price() const
{
    const int calculated = calculatedPrice();
    if (calculated != 0)
        return calculated / 100.0;
    const double fixed = fareFixed();
    if (fixed != 0.0)
        return fixed;
    double sum = 0.0;
    for (const BaseFare::Ptr &baseFare : mBaseFares) {
        if (baseFare)
            sum += baseFare->fareAmount();
    }
    return sum - fareDiscount() * sum;
}

int FareProduct2::validityPeriodMin() const
{
    const QString unit = validityUnit();
    int factor = 1;
    if (unit == QLatin1String("MONTHS"))
        factor = kMinutesPerMonth;
    else if (unit == QLatin1String("WEEKS"))
        factor = kMinutesPerWeek;
    else if (unit == QLatin1String("DAYS"))
        factor = kMinutesPerDay;
    // Saturate rather than overflow on a duration no product could have.
    const qint64 minutes = qint64(validityDuration()) * factor;
    return int(qBound<qint64>(std::numeric_limits<int>::min(), minutes, std::numeric_limits<int>::max()));
}

bool FareProduct2::isDailyTicket() const
{
    const QString from = validFrom();
    return (from == QLatin1String("FROM_VALIDATION") || from == QLatin1String("FROM_DATE_OF_ISSUANCE"))
        && validityPeriodMin() == kMinutesPerDay
        && numberOfTrips() == -1
        && isPaperTicket()
        && isDriver();
}

bool FareProduct2::isPaperTicket() const
{
    return !findTicketMaterial(QStringLiteral("TM_PAPER_TICKET")).isNull();
}

bool FareProduct2::isDriver() const
{
    return !findPaymentChannel(QStringLiteral("PC_DRIVER")).isNull();
}

bool FareProduct2::isAxisFare() const
{
    for (const BaseFare::Ptr &baseFare : mBaseFares) {
        if (baseFare && baseFare->isAxisFare())
            return true;
    }
    return false;
}

bool FareProduct2::isValidIn(int axisId, int fromStopGroupId, int toStopGroupId) const
{
    for (const BaseFare::Ptr &baseFare : mBaseFares) {
        if (!baseFare)
            continue;
        if (baseFare->isAxisFare() && baseFare->axisId() == axisId)
            return true;
        if (baseFare->isCityZoneFare() && baseFare->cityZoneFareStopGroupIds().contains(fromStopGroupId))
            return true;
        if (baseFare->isZoneFare() && baseFare->stopGroupFromId() == fromStopGroupId
            && baseFare->stopGroupToId() == toStopGroupId)
            return true;
    }
    return false;
}

// Both compare instants: the milliseconds themselves, without the local-time conversion.
bool FareProduct2::isExpired() const
{
    return QDateTime::currentMSecsSinceEpoch() >= qint64(json::toUInt64Converted(value(kExpirationDate)));
}

bool FareProduct2::isActivated() const
{
    return QDateTime::currentMSecsSinceEpoch() >= qint64(json::toUInt64Converted(value(kActivationDate)));
}

TicketMaterial::Ptr FareProduct2::findTicketMaterial(const QString &code) const
{
    return findByCode(mTicketMaterials, code);
}

PassengerType::Ptr FareProduct2::findPassengerType(int id) const
{
    for (const PassengerType::Ptr &type : mPassengerTypes) {
        if (type && type->id() == id)
            return type;
    }
    return {};
}

PassengerType::Ptr FareProduct2::findPassengerType(const QString &code) const
{
    return findByCode(mPassengerTypes, code);
}

PaymentChannel::Ptr FareProduct2::findPaymentChannel(const QString &code) const
{
    return findByCode(mPaymentChannels, code);
}

PaymentMethod::Ptr FareProduct2::findPaymentMethod(const QString &code) const
{
    return findByCode(mPaymentMethods, code);
}

QString FareProduct2::toString() const
{
    const QStringList lines = {
        QStringLiteral("--- FARE PRODUCT ------------------------------------------"),
        QStringLiteral("ID               : %1").arg(id()),
        QStringLiteral("Code             : %1").arg(code()),
        QStringLiteral("Description      : %1 / %2")
            .arg(multiLang(QStringLiteral("en")), multiLang(QStringLiteral("el"))),
        QStringLiteral("Price            : %1").arg(QLocale().toCurrencyString(price())),
        QStringLiteral("Valid From       : %1").arg(validFrom()),
        QStringLiteral("Valid Duration   : %1 %2")
            .arg(QString::number(validityDuration()), validityUnit()),
        QStringLiteral("-----------------------------------------------------------"),
    };
    return manager::Logger::joinLines(lines);
}

} // namespace tarvik
