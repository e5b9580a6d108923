// The gateway standing in for the database service towards the UI ("db/mock_dbman"): routes,
// fare products and stop groups answered from the back-end managers' data. Main thread.
#include "db/dbmanager_p.h"

#include "framework/logtag.h"
#include "framework/mqttclient.h"
#include "tarvik/faremanager.h"
#include "tarvik/jsonread.h"
#include "tarvik/routemanager.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const manager::LogTag kLog(QStringLiteral("[DBManager] "));

// Fixed texts of the service: they do not follow "db/base".
const QString kResponseTopic = QStringLiteral("zeto/db/response/%1/%2");
const int kParameterError = 301;
const QString kMissingAxis = QStringLiteral("Parameter Missing: 'axis_id'");

QString compact(const QJsonValue &value)
{
    const QJsonDocument document(QJsonArray{value});
    const QByteArray text = document.toJson(QJsonDocument::Compact);
    return QString::fromUtf8(text.mid(1, text.size() - 2));
}

// The requester's name becomes a topic level: a wildcard, a separator or a NUL would put the
// answer somewhere else, and an empty name leaves no one to answer.
// In one pass: a "%2" inside the name must not take the id.
QByteArray responseTopic(const QString &src, int id)
{
    return kResponseTopic.arg(src, QString::number(id)).toUtf8();
}

bool isUsableRequester(const QString &src)
{
    return !src.isEmpty() && !src.contains(QLatin1Char('/')) && !src.contains(QLatin1Char('+'))
        && !src.contains(QLatin1Char('#')) && !src.contains(QChar(0));
}

// "params": [{"name": ..., "value": ...}]: the last element whose name holds "axis_id";
// -1 when none does or its value is negative.
int axisParameter(const QJsonArray &params)
{
    int axisId = -1;
    for (const QJsonValue &element : params) {
        const QJsonObject param = element.toObject();
        if (tarvik::json::toString(param.value(QLatin1String("name"))).contains(QLatin1String("axis_id")))
            axisId = tarvik::json::toInt(param.value(QLatin1String("value")));
    }
    return axisId < 0 ? -1 : axisId;
}

// The languages of the first field of "multiLanguageFieldsMap" (fields and languages in key
// order) as [{"lang", "value"}]; `asText` turns every value into a string.
QJsonArray languageNames(const QJsonObject &multiLang, bool asText)
{
    QJsonArray names;
    if (multiLang.isEmpty())
        return names;
    const QJsonObject texts = tarvik::json::toObject(multiLang.begin().value());
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        const QJsonValue value = asText ? QJsonValue(tarvik::json::toString(it.value())) : it.value();
        names.append(QJsonObject{{QStringLiteral("lang"), it.key()}, {QStringLiteral("value"), value}});
    }
    return names;
}

QJsonObject routeRecord(const tarvik::Axis &axis)
{
    return QJsonObject{
        {QStringLiteral("id"), axis.id()},
        {QStringLiteral("allowReserveSeats"), QJsonValue::Null},
        {QStringLiteral("publicAxisId"), axis.userIdentifier()},
        {QStringLiteral("name"), languageNames(axis.multiLang(), true)},
    };
}

template <typename Record>
QJsonObject codeRecord(const QString &key, const Record &record)
{
    return QJsonObject{
        {key, QJsonObject{{QStringLiteral("id"), record.id()}, {QStringLiteral("code"), record.code()}}}};
}

template <typename Record>
QJsonArray codeRecords(const QString &key, const QList<QSharedPointer<Record>> &records)
{
    QJsonArray array;
    for (const QSharedPointer<Record> &record : records) {
        if (record)
            array.append(codeRecord(key, *record));
    }
    return array;
}

QJsonObject passengerTypeRecord(const tarvik::PassengerType &type)
{
    return QJsonObject{
        {QStringLiteral("id"), type.id()},
        {QStringLiteral("code"), type.code()},
        {QStringLiteral("ageFrom"), type.ageFrom()},
        {QStringLiteral("ageTo"), type.ageTo()},
        {QStringLiteral("description"), type.multiLang(QStringLiteral("el"))},
        {QStringLiteral("discount"), type.discount()},
        {QStringLiteral("gracePeriod"), type.gracePeriod()},
        {QStringLiteral("category"), type.category()},
        {QStringLiteral("isDefault"), type.isDefault()},
        {QStringLiteral("active"), type.isActive()},
    };
}

QString publicId(const tarvik::StopGroup2::Ptr &group)
{
    return group ? group->userIdentifier() : QStringLiteral("?");
}

// One record per product and base fare; `line` gets the record's log line.
QJsonObject fareRecord(const tarvik::FareProduct2 &product, const tarvik::BaseFare &baseFare, QString *line)
{
    QJsonArray passengerTypes;
    for (const tarvik::PassengerType::Ptr &type : product.passengerTypes()) {
        if (type)
            passengerTypes.append(passengerTypeRecord(*type));
    }

    const bool cityZone = baseFare.isCityZoneFare();
    QJsonArray validStopGroups;
    int fromId = 0;
    int toId = 0;
    tarvik::StopGroup2::Ptr from;
    tarvik::StopGroup2::Ptr to;
    if (cityZone) {
        // A city-zone fare without zones still answers: no zones, and 0 for both ends.
        const QList<int> ids = baseFare.cityZoneFareStopGroupIds();
        for (const int id : ids)
            validStopGroups.append(id);
        if (!ids.isEmpty()) {
            fromId = ids.first();
            toId = ids.last();
        }
        const tarvik::StopGroup2::List groups = baseFare.cityZoneFareStopGroups();
        if (!groups.isEmpty()) {
            from = groups.first();
            to = groups.last();
        }
    } else {
        fromId = baseFare.stopGroupFromId();
        toId = baseFare.stopGroupToId();
        validStopGroups = QJsonArray{fromId, toId};
        from = baseFare.stopGroupFrom();
        to = baseFare.stopGroupTo();
    }

    const QJsonValue none = QJsonValue::Null;
    const QJsonObject record{
        {QStringLiteral("axisId"), none},
        {QStringLiteral("carrierId"), product.carrierId()},
        {QStringLiteral("color"), product.color().isEmpty() ? none : QJsonValue(product.color())},
        {QStringLiteral("fareDiscount"), product.fareDiscount()},
        {QStringLiteral("fareProductId"), product.id()},
        {QStringLiteral("fareProductName"), product.multiLang(QStringLiteral("el"))},
        {QStringLiteral("hasExpired"), product.isExpired()},
        {QStringLiteral("image"), QString()},
        {QStringLiteral("isAxisFare"), baseFare.isAxisFare()},
        {QStringLiteral("isCityZoneFare"), cityZone},
        {QStringLiteral("isDaily"), product.isDailyTicket()},
        {QStringLiteral("isPaperTicket"), product.isPaperTicket()},
        {QStringLiteral("isReturnFee"), product.isReturnFare()},
        {QStringLiteral("isZoneFare"), baseFare.isZoneFare()},
        {QStringLiteral("passengerTypes"), passengerTypes},
        {QStringLiteral("paymentChannel"), codeRecords(QStringLiteral("paymentChannel"), product.paymentChannels())},
        {QStringLiteral("paymentMethod"), codeRecords(QStringLiteral("paymentMethod"), product.paymentMethods())},
        {QStringLiteral("position"), product.position() >= 1 ? QJsonValue(product.position()) : none},
        {QStringLiteral("price"), product.price()},
        {QStringLiteral("ticketMaterial"), codeRecords(QStringLiteral("ticketMaterial"), product.ticketMaterials())},
        {QStringLiteral("validFrom"), product.validFrom()},
        {QStringLiteral("validPerRoute"), false},
        {QStringLiteral("validStopGroups"), validStopGroups},
        {QStringLiteral("fromStopGroupId"), fromId},
        {QStringLiteral("toStopGroupId"), toId},
        {QStringLiteral("validityPeriodMin"), product.validityPeriodMin()},
    };

    *line = (cityZone ? QStringLiteral(" - CITY ZONE | FP : %1 | %2 --> %3 | %4")
                      : QStringLiteral(" -      ZONE | FP : %1 | %2 --> %3 | %4"))
                .arg(product.multiLang(QStringLiteral("en")), publicId(from), publicId(to),
                     QString::fromUtf8(QJsonDocument(validStopGroups).toJson(QJsonDocument::Compact)));
    return record;
}

QJsonObject stopGroupRef(const tarvik::StopGroup2 &group)
{
    return QJsonObject{
        {QStringLiteral("id"), group.id()},
        {QStringLiteral("name"), languageNames(group.multiLang(), false)},
        {QStringLiteral("publicStopGroupId"), group.userIdentifier()},
    };
}

// `enclosing` stands in for a stop whose own group is no longer linked.
QJsonObject stopRecord(const tarvik::Stop2 &stop, int ordinal, const tarvik::StopGroup2 &enclosing)
{
    const tarvik::StopGroup2::Ptr own = stop.stopGroup();
    return QJsonObject{
        {QStringLiteral("id"), stop.id()},
        {QStringLiteral("ordinal"), ordinal},
        {QStringLiteral("name"), languageNames(stop.multiLang(), false)},
        {QStringLiteral("latitude"), stop.latitude()},
        {QStringLiteral("longitude"), stop.longitude()},
        {QStringLiteral("publicStopId"), stop.userIdentifier()},
        {QStringLiteral("salesEnabled"), true},
        {QStringLiteral("stopGroup"), stopGroupRef(own ? *own : enclosing)},
    };
}

} // namespace

void DBManagerPrivate::handleRequestMessage(const QJsonDocument &document, const QByteArray &topic)
{
    Q_UNUSED(topic)
    const QJsonObject request = document.object();
    const int id = tarvik::json::toInt(request.value(QLatin1String("id")));
    const QString src = tarvik::json::toString(request.value(QLatin1String("src")));
    const QString method = tarvik::json::toString(request.value(QLatin1String("method")));
    const QJsonArray params = tarvik::json::toArray(request.value(QLatin1String("params")));

    using Handler = void (DBManagerPrivate::*)(int, const QString &, const QString &, const QJsonArray &);
    Handler handler = nullptr;
    if (method == QLatin1String("getRoutes")) {
        handler = &DBManagerPrivate::handleGetRoutesRequest;
    } else if (method == QLatin1String("getFareProducts")) {
        handler = &DBManagerPrivate::handleGetFareProductsRequest;
    } else if (method == QLatin1String("getStopGroups")) {
        handler = &DBManagerPrivate::handleGetStopGroupsRequest;
    } else if (method == QLatin1String("issueSingleTicket")) {
        emit onPaperTicketIssuingStarted();
        return;
    } else if (method == QLatin1String("issueMultipleTickets")) {
        emit onMultipleTicketsIssuingStarted();
        return;
    } else {
        // Among them the gateway's own requests, which pass on this topic too.
        return;
    }

    if (!isUsableRequester(src)) {
        kLog.warning(QStringLiteral("WARN: Dropped '") + method + QStringLiteral("' DB request : unusable src ")
                   + compact(src));
        return;
    }
    (this->*handler)(id, src, method, params);
}

void DBManagerPrivate::handleGetRoutesRequest(int id, const QString &src, const QString &method,
                                              const QJsonArray &params)
{
    Q_UNUSED(params)
    kLog.info(QStringLiteral("Handling 'getRoutes' DB request"));
    QJsonArray routes;
    if (const tarvik::RouteManager *network = routeData()) {
        for (const tarvik::Axis::Ptr &axis : network->findAllAxis()) {
            if (axis && axis->status())
                routes.append(routeRecord(*axis));
        }
    }
    publishResponseOk(id, src, method, routes);
}

void DBManagerPrivate::handleGetFareProductsRequest(int id, const QString &src, const QString &method,
                                                    const QJsonArray &params)
{
    kLog.info(QStringLiteral("Handling 'getFareProducts' DB request"));
    const int axisId = axisParameter(params);
    if (axisId < 0) {
        kLog.critical(QStringLiteral("ERROR: Could not find axis_id in 'getFareProducts' request params"));
        publishResponseError(id, src, method, kParameterError, kMissingAxis);
        return;
    }

    QJsonArray records;
    if (const tarvik::FareManager *fares = fareData()) {
        for (const tarvik::FareProduct2::Ptr &product : fares->findFareProducts(axisId)) {
            if (!product)
                continue;
            for (const tarvik::BaseFare::Ptr &baseFare : product->baseFares()) {
                if (!baseFare)
                    continue;
                QString line;
                records.append(fareRecord(*product, *baseFare, &line));
                kLog.info(line);
            }
        }
    }
    publishResponseOk(id, src, method, records, QJsonObject{{QStringLiteral("numberOfColumns"), 3}});
}

void DBManagerPrivate::handleGetStopGroupsRequest(int id, const QString &src, const QString &method,
                                                  const QJsonArray &params)
{
    kLog.info(QStringLiteral("Handling 'getStopGroups' DB request"));
    const int axisId = axisParameter(params);
    if (axisId < 0) {
        kLog.critical(QStringLiteral("ERROR: Could not find axis_id in 'getStopGroups' request params"));
        publishResponseError(id, src, method, kParameterError, kMissingAxis);
        return;
    }
    const tarvik::RouteManager *routes = routeData();
    const tarvik::Axis::Ptr axis = routes ? routes->findAxis(axisId) : tarvik::Axis::Ptr();
    if (!axis) {
        kLog.critical(QStringLiteral("ERROR: Could not find axis : ") + QString::number(axisId));
        publishResponseError(id, src, method, kParameterError, QStringLiteral("Could not find axis id : %1").arg(axisId));
        return;
    }

    // One running ordinal over every stop; a group takes the ordinal its first stop gets.
    int ordinal = 1;
    QJsonArray groups;
    for (const tarvik::StopGroup2::Ptr &group : axis->stopGroups()) {
        if (!group)
            continue;
        QJsonObject record{
            {QStringLiteral("id"), group->id()},
            {QStringLiteral("ordinal"), ordinal},
            {QStringLiteral("publicStopGroupId"), group->userIdentifier()},
            {QStringLiteral("name"), languageNames(group->multiLang(), false)},
        };
        QJsonArray stops;
        for (const tarvik::Stop2::Ptr &stop : group->stops()) {
            if (stop)
                stops.append(stopRecord(*stop, ordinal++, *group));
        }
        record.insert(QStringLiteral("stops"), stops);
        groups.append(record);
    }
    publishResponseOk(id, src, method, groups);
}

void DBManagerPrivate::publishResponseOk(int id, const QString &src, const QString &method, const QJsonArray &resp,
                                         const QJsonObject &extra)
{
    QJsonObject answer{
        {QStringLiteral("method"), method},
        {QStringLiteral("error"), QJsonObject{{QStringLiteral("error"), QString()}, {QStringLiteral("id"), 0}}},
        {QStringLiteral("resp"), resp},
        {QStringLiteral("timestamp"), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"))},
    };
    for (auto it = extra.begin(); it != extra.end(); ++it)
        answer.insert(it.key(), it.value());
    if (mClient)
        mClient->publish(QJsonDocument(answer).toJson(QJsonDocument::Indented), responseTopic(src, id),
                         0, false);
}

void DBManagerPrivate::publishResponseError(int id, const QString &src, const QString &method, int code,
                                            const QString &text)
{
    const QJsonObject answer{
        {QStringLiteral("method"), method},
        {QStringLiteral("error"), QJsonObject{{QStringLiteral("error"), text}, {QStringLiteral("id"), code}}},
        {QStringLiteral("resp"), QJsonValue::Null},
        {QStringLiteral("timestamp"), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss"))},
    };
    if (mClient)
        mClient->publish(QJsonDocument(answer).toJson(QJsonDocument::Indented), responseTopic(src, id),
                         0, false);
}
