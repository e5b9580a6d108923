#include "tarvik/axis.h"
#include "tarvik/axisstop.h"
#include "tarvik/basefare.h"
#include "tarvik/fareproduct2.h"
#include "tarvik/fareproductbasefare.h"
#include "tarvik/fareproductpassengertype.h"
#include "tarvik/fareproductpaymentchannel.h"
#include "tarvik/fareproductpaymentmethod.h"
#include "tarvik/fareproductticketmaterial.h"
#include "tarvik/passengertype.h"
#include "tarvik/paymentchannel.h"
#include "tarvik/paymentmethod.h"
#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"
#include "tarvik/stopgroupstops.h"
#include "tarvik/ticketmaterial.h"

#include <QtTest>

#include <functional>

using namespace tarvik;

namespace {

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QString str(bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); }
QString str(int n) { return QString::number(n); }
QString str(double d) { return QString::number(d); }
QString str(const QString &s) { return QLatin1Char('"') + s + QLatin1Char('"'); }
QString str(const QDateTime &d)
{
    return d.isValid() ? d.toUTC().toString(Qt::ISODate) : QStringLiteral("invalid");
}
template <typename T>
QString str(const QList<T> &list)
{
    QStringList parts;
    for (const T &e : list)
        parts << str(e);
    return QLatin1Char('[') + parts.join(QLatin1Char(',')) + QLatin1Char(']');
}

template <typename... Args>
QString dumpOf(const Args &...values)
{
    return QStringList{str(values)...}.join(QLatin1Char(' '));
}

// Every getter of a record, then its log text where it has one.
using Dumper = std::function<QString(const QJsonObject &)>;

const QMap<QString, Dumper> &dumpers()
{
    static const QMap<QString, Dumper> map = {
        {"Stop2", [](const QJsonObject &o) {
             const Stop2 r(o);
             return dumpOf(r.id(), r.carrierId(), r.latitude(), r.longitude(), r.userIdentifier(),
                           r.name(), r.address(), r.phone(), r.multiLang(QStringLiteral("en")),
                           r.toString());
         }},
        {"StopGroup2", [](const QJsonObject &o) {
             const StopGroup2 r(o);
             return dumpOf(r.id(), r.carrierId(), r.name(), r.userIdentifier(), r.axisId(),
                           r.defaultStopId(), r.ordinal(), r.contains(0), r.toString());
         }},
        {"StopGroupStops", [](const QJsonObject &o) {
             const StopGroupStops r(o);
             return dumpOf(r.id(), r.carrierId(), r.stopGroupId(), r.stopId(), r.ordinal(),
                           r.stopIdentifier(), r.stopName(), r.enabled(), r.latitude(),
                           r.longitude(), r.mainId());
         }},
        {"Axis", [](const QJsonObject &o) {
             const Axis r(o);
             return dumpOf(r.id(), r.carrierId(), r.name(), r.lineCode(), r.userIdentifier(),
                           r.oppositeAxisId(), r.oppositeAxisUuid(), r.consortiumId(),
                           r.syncTriangle(), r.jointOperationCode(), r.circularRoute(),
                           r.useAxisProducts(), r.status(), r.axisStopIds());
         }},
        {"AxisStop", [](const QJsonObject &o) {
             const AxisStop r(o);
             return dumpOf(r.id(), r.carrierId(), r.axisId(), r.stopId(), r.ordinal(),
                           r.parentStopId(), r.enabled(), r.stopName(), r.stopIdentifier(),
                           r.sameStateKm(), r.acrossStateKm(), r.acrossCarriersKm(), r.duration(),
                           r.acceptPassengers(), r.acceptParcels(), r.disembarking(), r.mainId(),
                           r.toString());
         }},
        {"TicketMaterial", [](const QJsonObject &o) {
             const TicketMaterial r(o);
             return dumpOf(r.id(), r.carrierId(), r.mainId(), r.code(), r.name(), r.toString());
         }},
        {"PaymentChannel", [](const QJsonObject &o) {
             const PaymentChannel r(o);
             return dumpOf(r.id(), r.carrierId(), r.mainId(), r.code(), r.name(), r.toString());
         }},
        {"PaymentMethod", [](const QJsonObject &o) {
             const PaymentMethod r(o);
             return dumpOf(r.id(), r.carrierId(), r.mainId(), r.code(), r.name(), r.toString());
         }},
        {"PassengerType", [](const QJsonObject &o) {
             const PassengerType r(o);
             return dumpOf(r.id(), r.carrierId(), r.mainId(), r.code(), r.ageFrom(), r.ageTo(),
                           r.name(), r.discount(), r.gracePeriod(), r.category(), r.isDefault(),
                           r.isActive(), r.toString());
         }},
        {"BaseFare", [](const QJsonObject &o) {
             const BaseFare r(o);
             return dumpOf(r.id(), r.carrierId(), r.mainId(), r.name(), r.code(), r.isAxisFare(),
                           r.isZoneFare(), r.isKmFare(), r.isCityZoneFare(), r.fareAmount(),
                           r.sameStateFareAmount(), r.acrossStateFareAmount(),
                           r.acrossCarriersFareAmount(), r.minKmFareAmount(), r.activationDate(),
                           r.axisId(), r.stopGroupFromId(), r.stopGroupToId(),
                           r.baseFareExtraCharges(), r.baseFareAxisRoutes(),
                           r.cityZoneFareStopGroupIds(), r.toString());
         }},
        {"FareProduct2", [](const QJsonObject &o) {
             const FareProduct2 r(o);
             return dumpOf(r.id(), r.carrierId(), r.code(), r.validFrom(), r.validityUnit(),
                           r.validityDuration(), r.numberOfTrips(), r.calculatedPrice(),
                           r.fareFixed(), r.fareDiscount(), r.fareRoundingCeiling(),
                           r.isReturnFare(), r.isPersonalized(), r.perBaseFare(), r.color(),
                           r.position(), r.activationDate(), r.expirationDate(), r.name(),
                           r.price(), r.validityPeriodMin(), r.isDailyTicket(), r.isExpired());
         }},
        {"FareProductBaseFare", [](const QJsonObject &o) {
             const FareProductBaseFare r(o);
             return dumpOf(r.id(), r.carrierId(), r.fareProductId(), r.baseFareId());
         }},
        {"FareProductPassengerType", [](const QJsonObject &o) {
             const FareProductPassengerType r(o);
             return dumpOf(r.id(), r.carrierId(), r.fareProductId(), r.passengerTypeId());
         }},
        {"FareProductTicketMaterial", [](const QJsonObject &o) {
             const FareProductTicketMaterial r(o);
             return dumpOf(r.id(), r.carrierId(), r.fareProductId(), r.ticketMaterialId());
         }},
        {"FareProductPaymentChannel", [](const QJsonObject &o) {
             const FareProductPaymentChannel r(o);
             return dumpOf(r.id(), r.carrierId(), r.fareProductId(), r.paymentChannelId());
         }},
        {"FareProductPaymentMethod", [](const QJsonObject &o) {
             const FareProductPaymentMethod r(o);
             return dumpOf(r.id(), r.carrierId(), r.fareProductId(), r.paymentMethodId());
         }},
    };
    return map;
}

// Each record's keys, to build an object holding JSON null under every one of them.
const QMap<QString, QStringList> &recordKeys()
{
    static const QStringList base = {"id", "carriersId", "multiLanguageFieldsMap"};
    static const QMap<QString, QStringList> map = {
        {"Stop2", base + QStringList{"latitude", "longitude", "userIdentifier", "name", "address", "phone"}},
        {"StopGroup2", base + QStringList{"name", "userIdentifier", "axisId", "defaultStopId", "ordinal"}},
        {"StopGroupStops", base + QStringList{"stopGroupId", "stopId", "ordinal", "stopIdentifier",
                                              "stopName", "enabled", "latitude", "longitude", "mainId"}},
        {"Axis", base + QStringList{"name", "lineCode", "userIdentifier", "oppositeAxisId",
                                    "oppositeAxisUuid", "consortiumId", "syncTriangle",
                                    "jointOperationCode", "circularRoute", "useAxisProducts",
                                    "status", "axisStopList"}},
        {"AxisStop", base + QStringList{"axisId", "stopId", "ordinal", "parentStopsId", "enabled",
                                        "stopName", "stopIdentifier", "sameSateKm", "acrossSateKm",
                                        "acrossCarriersKm", "duration", "acceptPassengers",
                                        "acceptParcels", "disembarking", "mainId"}},
        {"TicketMaterial", base + QStringList{"mainId", "code", "name"}},
        {"PaymentChannel", base + QStringList{"mainId", "code", "name"}},
        {"PaymentMethod", base + QStringList{"mainId", "code", "name"}},
        {"PassengerType", base + QStringList{"mainId", "code", "ageFrom", "ageTo", "name", "discount",
                                             "gracePeriod", "category", "default", "active"}},
        {"BaseFare", base + QStringList{"mainId", "name", "code", "isAxisFare", "isZoneFare",
                                        "isKmFare", "isCityZoneFare", "fareAmount",
                                        "sameSateFareAmount", "acrossStateFareAmount",
                                        "acrossCarriersFareAmount", "minKmFareAmount",
                                        "activationDate", "axisId", "zoneFrom", "zoneTo",
                                        "baseFareExtraCharges", "baseFareAxisRoutes",
                                        "cityZoneFareStopGroups"}},
        {"FareProduct2", base + QStringList{"code", "validFrom", "validityUnit", "validityDuration",
                                            "numberOfTrips", "calculatedPrice", "fareFixed",
                                            "fareDiscount", "fareRoundingCeiling", "isReturnFare",
                                            "isPersonalized", "perBaseFare", "color", "position",
                                            "activationDate", "expirationDate"}},
        {"FareProductBaseFare", base + QStringList{"fareProductId", "baseFareId"}},
        {"FareProductPassengerType", base + QStringList{"fareProductId", "passengerTypeId"}},
        {"FareProductTicketMaterial", base + QStringList{"fareProductId", "ticketMaterialId"}},
        {"FareProductPaymentChannel", base + QStringList{"fareProductId", "paymentChannelId"}},
        {"FareProductPaymentMethod", base + QStringList{"fareProductId", "paymentMethodId"}},
    };
    return map;
}

// What each record reads from {}: every getter at its default, and its log text.
const QMap<QString, QString> &emptyDumps()
{
    static const QMap<QString, QString> map = {
        {"Stop2", R"x(0 0 0 0 "" "" "" "" "" "[0]  (<none>)")x"},
        {"StopGroup2", R"x(0 0 "" "" 0 0 0 false "[0] // (0 Stops)")x"},
        {"StopGroupStops", R"x(0 0 0 0 0 "" "" false 0 0 0)x"},
        {"Axis", R"x(0 0 "" "" "" 0 "" 0 false "" false false true [])x"},
        {"AxisStop", R"x(0 0 0 0 0 0 false "" "" 0 0 0 0 false false false 0 "(0) [0] 0 --> <none>")x"},
        {"TicketMaterial", R"x(0 0 0 "" "" "[0] //)")x"},
        {"PaymentChannel", R"x(0 0 0 "" "" "[0]  (en=, el=)")x"},
        {"PaymentMethod", R"x(0 0 0 "" "" "[0]  (en=, el=)")x"},
        {"PassengerType", R"x(0 0 0 "" 0 0 "" 0 "" 0 false false "[0] //)")x"},
        {"BaseFare", R"x(0 0 0 "" "" false false false false 0 0 0 0 0 invalid 0 0 0 [] [] [] "[0] // (<unknown>)")x"},
        {"FareProduct2", R"x(0 0 "" "" "" 0 0 0 0 0 false false 0 false "" 0 1970-01-01T00:00:00Z )x"
                         R"x(1970-01-01T00:00:00Z "" 0 0 false true)x"},
        {"FareProductBaseFare", "0 0 0 0"},
        {"FareProductPassengerType", "0 0 0 0"},
        {"FareProductTicketMaterial", "0 0 0 0"},
        {"FareProductPaymentChannel", "0 0 0 0"},
        {"FareProductPaymentMethod", "0 0 0 0"},
    };
    return map;
}

// A record with a key of another type than its getter expects; used by the reading-rule tests.
class Probe : public MultiLangObject<Probe>
{
public:
    explicit Probe(const QJsonObject &json = QJsonObject()) : MultiLangObject(json) {}
};

} // namespace

class tst_Object : public QObject
{
    Q_OBJECT
private slots:
    void idReadingRule_data();
    void idReadingRule();
    void settersWriteBackAndKeepUnknownKeys();
    void multiLangReadsFirstMemberOnly_data();
    void multiLangReadsFirstMemberOnly();
    void setMultiLangKeepsEmptyMap();
    void everyRecordReadsItsKeys_data();
    void everyRecordReadsItsKeys();
    void linkRowsFileUnderTheirProduct();
};

void tst_Object::idReadingRule_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("expectedId");
    QTest::addColumn<int>("expectedCarrierId");
    QTest::newRow("empty") << QByteArray("{}") << 0 << 0;
    QTest::newRow("whole") << QByteArray(R"({"id": 12, "carriersId": 3})") << 12 << 3;
    QTest::newRow("whole-as-double") << QByteArray(R"({"id": 12.0})") << 12 << 0;
    QTest::newRow("fraction") << QByteArray(R"({"id": 12.5})") << 0 << 0;
    QTest::newRow("text") << QByteArray(R"({"id": "12", "carriersId": "3"})") << 0 << 0;
    QTest::newRow("above-int") << QByteArray(R"({"id": 2147483648})") << 0 << 0;
    QTest::newRow("negative") << QByteArray(R"({"id": -4})") << -4 << 0;
    QTest::newRow("null") << QByteArray(R"({"id": null, "carriersId": null})") << 0 << 0;
    QTest::newRow("bool") << QByteArray(R"({"id": true})") << 0 << 0;
    QTest::newRow("carrier-key-is-carriersId") << QByteArray(R"({"carrierId": 5})") << 0 << 0;
}

void tst_Object::idReadingRule()
{
    QFETCH(QByteArray, json);
    QFETCH(int, expectedId);
    QFETCH(int, expectedCarrierId);
    const Probe probe(parse(json));
    QCOMPARE(probe.id(), expectedId);
    QCOMPARE(probe.carrierId(), expectedCarrierId);
    // The link rows and the multi-language records share the base.
    const FareProductBaseFare row(parse(json));
    QCOMPARE(row.id(), expectedId);
    QCOMPARE(row.carrierId(), expectedCarrierId);
}

void tst_Object::settersWriteBackAndKeepUnknownKeys()
{
    TicketMaterial material(parse(R"({"code": "TM_CARD", "vendorField": {"a": [1, 2]}, "id": "x"})"));
    material.setId(7);
    material.setCarrierId(2);
    material.setName(QStringLiteral("Card"));
    const QJsonObject json = material.toJson();
    QCOMPARE(json.value("id"), QJsonValue(7));
    QCOMPARE(json.value("carriersId"), QJsonValue(2));
    QCOMPARE(json.value("name"), QJsonValue("Card"));
    QCOMPARE(json.value("code"), QJsonValue("TM_CARD"));
    QCOMPARE(json.value("vendorField"), parse(R"({"v": {"a": [1, 2]}})").value("v"));
    QCOMPARE(json.size(), 5);
    QCOMPARE(material.id(), 7);

    // Links are not part of the JSON.
    StopGroup2 group(parse(R"({"id": 1})"));
    const Stop2::Ptr stop(new Stop2);
    group.setStops({stop});
    QCOMPARE(group.toJson(), parse(R"({"id": 1})"));
}

void tst_Object::multiLangReadsFirstMemberOnly_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("expected");
    const QByteArray twoFields = R"({"multiLanguageFieldsMap": {
        "name": {"en": "Name", "el": "Onoma"},
        "description": {"en": "Description", "el": "Perigrafi"}}})";
    QTest::newRow("first-in-key-order") << twoFields << "en" << "Description";
    QTest::newRow("first-in-key-order-el") << twoFields << "el" << "Perigrafi";
    QTest::newRow("language-missing") << twoFields << "de" << "";
    QTest::newRow("absent") << QByteArray("{}") << "en" << "";
    QTest::newRow("empty-map") << QByteArray(R"({"multiLanguageFieldsMap": {}})") << "en" << "";
    QTest::newRow("map-not-object") << QByteArray(R"({"multiLanguageFieldsMap": "en"})") << "en" << "";
    QTest::newRow("first-not-object")
        << QByteArray(R"({"multiLanguageFieldsMap": {"a": "x", "b": {"en": "B"}}})") << "en" << "";
    QTest::newRow("text-not-string")
        << QByteArray(R"({"multiLanguageFieldsMap": {"a": {"en": 5}}})") << "en" << "";
}

void tst_Object::multiLangReadsFirstMemberOnly()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, lang);
    QFETCH(QString, expected);
    const Probe probe(parse(json));
    QCOMPARE(probe.multiLang(lang), expected);
}

void tst_Object::setMultiLangKeepsEmptyMap()
{
    Probe probe(parse(R"({"multiLanguageFieldsMap": {"a": {"en": "A"}}})"));
    probe.setMultiLang(QJsonObject());
    QVERIFY(probe.multiLang().isEmpty());
    QVERIFY(probe.toJson().contains("multiLanguageFieldsMap"));
    QCOMPARE(probe.toJson().value("multiLanguageFieldsMap"), QJsonValue(QJsonObject()));
}

void tst_Object::everyRecordReadsItsKeys_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("json");
    QTest::addColumn<QString>("expected");

    // A JSON null under every key reads like an absent key, except the flags that are
    // true only when absent.
    const QMap<QString, QString> nullDumps = {
        {"Axis", R"x(0 0 "" "" "" 0 "" 0 false "" false false false [])x"},
    };
    const QJsonArray nonObjects = QJsonDocument::fromJson(R"([1, "x", null, [], true, 2.5])").array();

    for (auto it = emptyDumps().cbegin(); it != emptyDumps().cend(); ++it) {
        const QString &record = it.key();
        QTest::addRow("%s-empty", qPrintable(record)) << record << QJsonObject() << it.value();
        QJsonObject nulls;
        for (const QString &key : recordKeys().value(record))
            nulls.insert(key, QJsonValue::Null);
        QTest::addRow("%s-nulls", qPrintable(record))
            << record << nulls << nullDumps.value(record, it.value());
        for (int i = 0; i < nonObjects.size(); ++i) {
            QTest::addRow("%s-element-%d", qPrintable(record), i)
                << record << nonObjects.at(i).toObject() << it.value();
        }
    }
    const QByteArray named = R"({"id": 3, "carriersId": 2, "mainId": 30, "code": "C", "name": "N",
        "multiLanguageFieldsMap": {"name": {"en": "English", "el": "Greek"}}})";
    QTest::newRow("TicketMaterial-named") << "TicketMaterial" << parse(named)
                                          << R"x(3 2 30 "C" "N" "[3] C/English/Greek)")x";
    QTest::newRow("PaymentChannel-named") << "PaymentChannel" << parse(named)
                                          << R"x(3 2 30 "C" "N" "[3] C (en=English, el=Greek)")x";
    QTest::newRow("PaymentMethod-named") << "PaymentMethod" << parse(named)
                                         << R"x(3 2 30 "C" "N" "[3] C (en=English, el=Greek)")x";
    QTest::newRow("fareproductlink-text-product-id")
        << "FareProductBaseFare" << parse(R"({"fareProductId": "7", "baseFareId": 3})") << "0 0 0 3";
}

void tst_Object::everyRecordReadsItsKeys()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, json);
    QFETCH(QString, expected);
    QVERIFY2(dumpers().contains(record), qPrintable(record));
    QCOMPARE(dumpers().value(record)(json), expected);
}

void tst_Object::linkRowsFileUnderTheirProduct()
{
    FareProductPaymentMethod::MultiMap rows;
    for (const char *json : {R"({"id": 1, "fareProductId": 9, "paymentMethodId": 4})",
                             R"({"id": 2, "fareProductId": 9, "paymentMethodId": 5})",
                             R"({"id": 3, "fareProductId": "9", "paymentMethodId": 6})"}) {
        const auto row = FareProductPaymentMethod::Ptr::create(parse(json));
        rows.insert(row->fareProductId(), row);
    }
    QCOMPARE(rows.count(9), 2);
    QCOMPARE(rows.count(0), 1);
    QList<int> methods;
    for (const auto &row : rows.values(9))
        methods << row->paymentMethodId();
    std::sort(methods.begin(), methods.end());
    QCOMPARE(methods, (QList<int>{4, 5}));
}

QTEST_GUILESS_MAIN(tst_Object)
#include "tst_object.moc"
