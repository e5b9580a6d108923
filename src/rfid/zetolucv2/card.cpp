#include "rfid/zetolucv2/card.h"

#include "rfid/cardjsonmerge.h"
#include "rfid/cardjsonreader.h"

#include <QtMath>

#include <limits>
#include <utility>
#include <vector>

namespace ZetoLUCv2 {

namespace {

// The keys of one record: its whole numbers and its times.
template<typename Record>
struct Keys
{
    std::vector<std::pair<QLatin1String, int Record::*>> numbers;
    std::vector<std::pair<QLatin1String, QDateTime Record::*>> times;
};

const QLatin1String kData("data");
const QLatin1String kInfo("info");
const QLatin1String kState("state");
const QLatin1String kProducts[2] = {QLatin1String("product0"), QLatin1String("product1")};
const QLatin1String kTopupLog("topupLog");
const QLatin1String kUsageLog("usageLog");

const Keys<Card::Info> kInfoKeys{
    {{QLatin1String("version"), &Card::Info::version},
     {QLatin1String("carrierId"), &Card::Info::carrierId},
     {QLatin1String("issuerId"), &Card::Info::issuerId}},
    {{QLatin1String("issueTimestamp"), &Card::Info::issueTimestamp}},
};

const Keys<Card::State> kStateKeys{
    {{QLatin1String("status"), &Card::State::status},
     {QLatin1String("passengerType"), &Card::State::passengerType},
     {QLatin1String("statusDeviceId"), &Card::State::statusDeviceId},
     {QLatin1String("statusDeviceType"), &Card::State::statusDeviceType}},
    {{QLatin1String("statusTimestamp"), &Card::State::statusTimestamp}},
};

const Keys<Card::Product> kProductKeys{
    {{QLatin1String("productId"), &Card::Product::productId},
     {QLatin1String("status"), &Card::Product::status},
     {QLatin1String("productType"), &Card::Product::productType},
     {QLatin1String("initialValue"), &Card::Product::initialValue},
     {QLatin1String("remainingValue"), &Card::Product::remainingValue}},
    {{QLatin1String("activationTimestamp"), &Card::Product::activationTimestamp}},
};

const Keys<Card::TopupLogEntry> kTopupKeys{
    {{QLatin1String("deviceId"), &Card::TopupLogEntry::deviceId},
     {QLatin1String("deviceType"), &Card::TopupLogEntry::deviceType},
     {QLatin1String("productId"), &Card::TopupLogEntry::productId},
     {QLatin1String("transactionType"), &Card::TopupLogEntry::transactionType}},
    {{QLatin1String("transactionTimestamp"), &Card::TopupLogEntry::transactionTimestamp}},
};

const Keys<Card::UsageLogEntry> kUsageKeys{
    {{QLatin1String("deviceId"), &Card::UsageLogEntry::deviceId},
     {QLatin1String("deviceType"), &Card::UsageLogEntry::deviceType},
     {QLatin1String("productId"), &Card::UsageLogEntry::productId},
     {QLatin1String("transactionType"), &Card::UsageLogEntry::transactionType},
     {QLatin1String("vehicleId"), &Card::UsageLogEntry::vehicleId},
     {QLatin1String("routeId"), &Card::UsageLogEntry::routeId},
     {QLatin1String("routeExecutionId"), &Card::UsageLogEntry::routeExecutionId},
     {QLatin1String("fromStopId"), &Card::UsageLogEntry::fromStopId}},
    {{QLatin1String("transactionTimestamp"), &Card::UsageLogEntry::transactionTimestamp},
     {QLatin1String("initialTimestamp"), &Card::UsageLogEntry::initialTimestamp}},
};

QDateTime readTime(const QJsonValue &value)
{
    const QDateTime time = value.isString() ? CardTime::parse(value.toString()) : QDateTime();
    return time.isValid() ? time : CardTime::unset();
}

template<typename Record>
Record read(const QJsonObject &json, const Keys<Record> &keys, Record record = Record())
{
    for (const auto &key : keys.numbers)
        record.*key.second = CardJsonReader::intFrom(json.value(key.first));
    for (const auto &key : keys.times)
        record.*key.second = readTime(json.value(key.first));
    return record;
}

template<typename Record>
QJsonObject write(const Record &record, const Keys<Record> &keys)
{
    QJsonObject json;
    for (const auto &key : keys.numbers)
        json.insert(key.first, record.*key.second);
    for (const auto &key : keys.times)
        json.insert(key.first, CardTime(record.*key.second).toJson());
    return json;
}

template<typename Record>
void put(QJsonObject &data, QLatin1String name, const Record &now, const Record &asRead, const Keys<Record> &keys)
{
    CardJsonMerge::putRecord(data, name, write(now, keys), write(asRead, keys), write(Record(), keys));
}

// Minutes of a card value, which may be as large as INT_MAX days.
int clampedMinutes(qint64 minutes)
{
    return int(qBound<qint64>(0, minutes, std::numeric_limits<int>::max()));
}

} // namespace

const QString Card::MyTemplate = QStringLiteral("ZetoLUCv2");

Card::Card(const QJsonObject &json)
    : mJson(json)
{
    mUid = json.value(QLatin1String("uid")).toString();
    mType = CardJsonReader::intFrom(json.value(QLatin1String("type")));
    const QJsonObject data = json.value(kData).toObject();

    mRecords.info = read(data.value(kInfo).toObject(), kInfoKeys);
    mRecords.state = read(data.value(kState).toObject(), kStateKeys);
    for (int slot = 0; slot < 2; ++slot) {
        Product product;
        product.index = slot;
        mRecords.products[slot] = read(data.value(kProducts[slot]).toObject(), kProductKeys, product);
    }
    mRecords.topupLog = read(CardJsonMerge::recordOf(data.value(kTopupLog)), kTopupKeys);
    mRecords.usageLog = read(CardJsonMerge::recordOf(data.value(kUsageLog)), kUsageKeys);
    mAsRead = mRecords;
}

Card::~Card() = default;

QJsonObject Card::toJson() const
{
    const QJsonValue stored = mJson.value(kData);
    QJsonObject data = stored.toObject();
    put(data, kInfo, mRecords.info, mAsRead.info, kInfoKeys);
    put(data, kState, mRecords.state, mAsRead.state, kStateKeys);
    for (int slot = 0; slot < 2; ++slot)
        put(data, kProducts[slot], mRecords.products[slot], mAsRead.products[slot], kProductKeys);
    put(data, kTopupLog, mRecords.topupLog, mAsRead.topupLog, kTopupKeys);
    put(data, kUsageLog, mRecords.usageLog, mAsRead.usageLog, kUsageKeys);

    QJsonObject json = mJson;
    json.insert(QLatin1String("template"), MyTemplate);
    // A "data" that was absent or not an object stays as it came unless something changed.
    if (stored.isObject() || !data.isEmpty())
        json.insert(kData, data);
    return json;
}

QList<Card::Product *> Card::products()
{
    return {&mRecords.products[0], &mRecords.products[1]};
}

QList<Card::Product *> Card::periodPassProducts()
{
    return productsOfType(Product::PeriodPass);
}

QList<Card::Product *> Card::storedJourneysProducts()
{
    return productsOfType(Product::StoredJourneys);
}

QList<Card::Product *> Card::productsOfType(int type)
{
    QList<Product *> matching;
    for (Product *product : products()) {
        if (product->productType == type)
            matching.append(product);
    }
    return matching;
}

QDateTime Card::Product::expiryTimestamp(bool endOfLastDay) const
{
    if (productType != PeriodPass || (status == Pending && activationTimestamp == CardTime::unset()))
        return CardTime::unset();
    const QDateTime end = activationTimestamp.toUTC().addDays(initialValue);
    if (!endOfLastDay)
        return end;
    return QDateTime(end.date(), QTime(0, 0), Qt::UTC);
}

int Card::Product::remainingMinutes(const QDateTime &now, bool endOfLastDay) const
{
    if (productType != PeriodPass)
        return 0;
    const qint64 whole = qint64(initialValue) * 1440;
    if (status == Pending)
        return clampedMinutes(whole);
    if (status != Active)
        return 0;
    if (activationTimestamp >= now)
        return clampedMinutes(whole);
    return clampedMinutes(qRound64(now.secsTo(expiryTimestamp(endOfLastDay)) / 60.0));
}

int Card::Product::remainingDays(const QDateTime &now, bool endOfLastDay) const
{
    return qRound(remainingMinutes(now, endOfLastDay) / 1440.0);
}

QString Card::Product::typeToString(int type)
{
    switch (type) {
    case EPurse: return QStringLiteral("EPurse");
    case PeriodPass: return QStringLiteral("PeriodPass");
    case StoredJourneys: return QStringLiteral("StoredJourneys");
    default: return QStringLiteral("Unknown");
    }
}

QString Card::Product::statusToString(int status)
{
    switch (status) {
    case Unallocated: return QStringLiteral("UNALLOCATED");
    case Expired: return QStringLiteral("EXPIRED");
    case Active: return QStringLiteral("ACTIVE");
    case Preallocated: return QStringLiteral("PREALLOCATED");
    case Blocked: return QStringLiteral("BLOCKED");
    case Pending: return QStringLiteral("PENDING");
    default: return QStringLiteral("UNKNOWN");
    }
}

QString Card::deviceTypeToString(int type)
{
    switch (type) {
    case 1: return QStringLiteral("RegistrationTerminal");
    case 2: return QStringLiteral("TicketVendingMachine");
    case 3: return QStringLiteral("InspectionTerminal");
    case 6: return QStringLiteral("Validator");
    case 9: return QStringLiteral("LoadingTerminal");
    default: return QStringLiteral("Unknown");
    }
}

QString Card::transTypeToString(int type)
{
    switch (type) {
    case 0: return QStringLiteral("Invalid");
    case 1: return QStringLiteral("LoadPeriodPass");
    case 2: return QStringLiteral("LoadStoredJourneys");
    case 3: return QStringLiteral("LoadEpurse");
    case 20: return QStringLiteral("ValidationTransfer");
    case 21: return QStringLiteral("ValidationPeriodPass");
    case 22: return QStringLiteral("ValidationStoredJourneys");
    case 23: return QStringLiteral("ValidationEpurse");
    default: return QStringLiteral("Unknown");
    }
}

} // namespace ZetoLUCv2
