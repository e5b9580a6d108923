#include "rfid/zetoluc/card.h"

#include "rfid/cardjsonmerge.h"
#include "rfid/cardjsonreader.h"

namespace ZetoLUC {

namespace {

const char kOpening[] = "card missing '";

const QLatin1String kState("state");
const QLatin1String kInfo("info");
const QLatin1String kPeriodPass("periodPass");
const QLatin1String kStoredJourneys("storedJourneys");
const QLatin1String kUsageLog("usageLog");
const QLatin1String kCardType("cardType");

QJsonValue timeJson(const QDateTime &value)
{
    return CardTime(value).toJson();
}

State readState(const QJsonObject &json)
{
    const CardJsonReader in(json, kOpening, "' field in state");
    State state;
    state.setStatus(in.toUInt(QLatin1String("status")));
    state.setStatusDeviceId(in.toInt(QLatin1String("statusDeviceId")));
    state.setStatusDeviceType(in.toInt(QLatin1String("statusDeviceType")));
    state.setPassengerType(in.toUInt(QLatin1String("passengerType")));
    const CardJsonReader flags(in.toObject(kCardType), kOpening, "' field in state");
    State::CardType cardType;
    cardType.hasPeriodPass = flags.toBool(QLatin1String("hasPeriodPass"));
    cardType.hasStoredJourneys = flags.toBool(QLatin1String("hasStoredJourneys"));
    state.setCardType(cardType);
    state.setTimestamp(in.toTime(QLatin1String("statusTimestamp")).value());
    return state;
}

QJsonObject jsonOf(const State &state)
{
    const State::CardType cardType = state.getCardType();
    return QJsonObject{
        {QLatin1String("status"), CardJsonReader::fromUInt(state.getStatus())},
        {QLatin1String("statusDeviceId"), state.getDeviceId()},
        {QLatin1String("statusDeviceType"), state.getDeviceType()},
        {QLatin1String("passengerType"), CardJsonReader::fromUInt(state.getPassengerType())},
        {kCardType, QJsonObject{{QLatin1String("hasPeriodPass"), cardType.hasPeriodPass},
                                {QLatin1String("hasStoredJourneys"), cardType.hasStoredJourneys}}},
        {QLatin1String("statusTimestamp"), timeJson(state.getTimestamp())},
    };
}

Info readInfo(const QJsonObject &json)
{
    const CardJsonReader in(json, kOpening, "' field in info");
    Info info;
    info.setVersion(in.toInt(QLatin1String("version")));
    info.setIssuerId(in.toInt(QLatin1String("issuerId")));
    return info;
}

QJsonObject jsonOf(const Info &info)
{
    return QJsonObject{
        {QLatin1String("version"), info.getVersion()},
        {QLatin1String("issuerId"), info.getIssuerId()},
    };
}

PeriodPass readPeriodPass(const QJsonObject &json)
{
    const CardJsonReader in(json, kOpening, "' field in periodpass");
    PeriodPass pass;
    pass.setProductId(in.toUInt(QLatin1String("productId")));
    pass.setStatus(in.toUInt(QLatin1String("status")));
    pass.setDays(in.toUInt(QLatin1String("days")));
    pass.setActivationTimestamp(in.toTime(QLatin1String("activationTimestamp")).value());
    return pass;
}

QJsonObject jsonOf(const PeriodPass &pass)
{
    return QJsonObject{
        {QLatin1String("productId"), CardJsonReader::fromUInt(pass.getProductId())},
        {QLatin1String("status"), CardJsonReader::fromUInt(pass.getStatus())},
        {QLatin1String("days"), CardJsonReader::fromUInt(pass.getDays())},
        {QLatin1String("activationTimestamp"), timeJson(pass.getActivationTimestamp())},
    };
}

StoredJourneys readStoredJourneys(const QJsonObject &json)
{
    const CardJsonReader in(json, kOpening, "' field in stored journeys");
    StoredJourneys product;
    product.setProductId(in.toUInt(QLatin1String("productId")));
    product.setStatus(in.toUInt(QLatin1String("status")));
    product.setRemainingJourneys(in.toUInt(QLatin1String("remainingJourneys")));
    return product;
}

QJsonObject jsonOf(const StoredJourneys &product)
{
    return QJsonObject{
        {QLatin1String("productId"), CardJsonReader::fromUInt(product.getProductId())},
        {QLatin1String("status"), CardJsonReader::fromUInt(product.getStatus())},
        {QLatin1String("remainingJourneys"), CardJsonReader::fromUInt(product.getRemainingJourneys())},
    };
}

UsageLogEntry readUsageLogEntry(const QJsonObject &json)
{
    const CardJsonReader in(json, kOpening, "' field in usage log");
    UsageLogEntry entry;
    entry.setProductType(in.toUInt(QLatin1String("productType")));
    entry.setProductId(in.toUInt(QLatin1String("productId")));
    entry.setTimestamp(in.toTime(QLatin1String("timestamp")).value());
    entry.setVehicleId(in.toString(QLatin1String("vehicleId")));
    entry.setDeviceId(in.toUInt(QLatin1String("deviceId")));
    entry.setDeviceType(in.toUInt(QLatin1String("deviceType")));
    entry.setRouteId(in.toUInt(QLatin1String("routeId")));
    entry.setRouteExecutionId(in.toUInt(QLatin1String("routeExecutionId")));
    entry.setFromStopId(in.toUInt(QLatin1String("fromStopId")));
    entry.setJourneysBefore(in.toUInt(QLatin1String("journeysBefore")));
    entry.setJourneysAfter(in.toUInt(QLatin1String("journeysAfter")));
    return entry;
}

QJsonObject jsonOf(const UsageLogEntry &entry)
{
    return QJsonObject{
        {QLatin1String("productType"), CardJsonReader::fromUInt(entry.getProductType())},
        {QLatin1String("productId"), CardJsonReader::fromUInt(entry.getProductId())},
        {QLatin1String("timestamp"), timeJson(entry.getTimestamp())},
        {QLatin1String("vehicleId"), entry.getVehicleId()},
        {QLatin1String("deviceId"), CardJsonReader::fromUInt(entry.getDeviceId())},
        {QLatin1String("deviceType"), CardJsonReader::fromUInt(entry.getDeviceType())},
        {QLatin1String("routeId"), CardJsonReader::fromUInt(entry.getRouteId())},
        {QLatin1String("routeExecutionId"), CardJsonReader::fromUInt(entry.getRouteExecutionId())},
        {QLatin1String("fromStopId"), CardJsonReader::fromUInt(entry.getFromStopId())},
        {QLatin1String("journeysBefore"), CardJsonReader::fromUInt(entry.getJourneysBefore())},
        {QLatin1String("journeysAfter"), CardJsonReader::fromUInt(entry.getJourneysAfter())},
    };
}

template<typename Record>
QJsonObject asReadJson(const std::optional<Record> &record)
{
    return record ? jsonOf(*record) : QJsonObject();
}

} // namespace

const QString Card::MyTemplate = QStringLiteral("ZetoLUC");
const QList<int> Card::SupportedVersions = {1};

Card::Card(const QJsonObject &json)
{
    fromJson(json);
}

Card::~Card() = default;

void Card::fromJson(const QJsonObject &json)
{
    const CardJsonReader envelope(json, kOpening, "' field in top level");
    envelope.readEnvelope(mUid, mType, mTemplate);
    const CardJsonReader data(envelope.toObject(QLatin1String("data")), kOpening, "' field in top level");

    mState = readState(data.toObject(kState));
    mInfo = readInfo(data.toObject(kInfo));
    // The flags decide what is read, not the keys that happen to be present.
    const State::CardType flags = mState.getCardType();
    if (flags.hasPeriodPass) {
        mPeriodPass = readPeriodPass(data.toObject(kPeriodPass));
        mPeriodPassAsRead = mPeriodPass;
    }
    if (flags.hasStoredJourneys) {
        mStoredJourneys = readStoredJourneys(data.toObject(kStoredJourneys));
        mStoredJourneysAsRead = mStoredJourneys;
    }
    mUsageLogEntry = readUsageLogEntry(CardJsonMerge::recordOf(data.value(kUsageLog)));

    mStateAsRead = mState;
    mInfoAsRead = mInfo;
    mUsageLogEntryAsRead = mUsageLogEntry;
    mJson = json;
}

QJsonObject Card::toJson() const
{
    QJsonObject data = mJson.value(QLatin1String("data")).toObject();
    CardJsonMerge::putRecord(data, kState, jsonOf(mState), jsonOf(mStateAsRead), jsonOf(State()));
    CardJsonMerge::putRecord(data, kInfo, jsonOf(mInfo), jsonOf(mInfoAsRead), jsonOf(Info()));
    CardJsonMerge::putRecord(data, kPeriodPass, jsonOf(mPeriodPass), asReadJson(mPeriodPassAsRead),
                             jsonOf(PeriodPass()));
    CardJsonMerge::putRecord(data, kStoredJourneys, jsonOf(mStoredJourneys),
                             asReadJson(mStoredJourneysAsRead), jsonOf(StoredJourneys()));
    CardJsonMerge::putRecord(data, kUsageLog, jsonOf(mUsageLogEntry),
                             jsonOf(mUsageLogEntryAsRead), jsonOf(UsageLogEntry()));

    QJsonObject json = mJson;
    json.insert(QLatin1String("data"), data);
    return json;
}

} // namespace ZetoLUC
