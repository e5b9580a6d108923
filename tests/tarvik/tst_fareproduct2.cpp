#include "tarvik/fareproduct2.h"

#include <QtTest>

using namespace tarvik;

namespace {
QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

template <typename T>
QSharedPointer<T> record(const QByteArray &json)
{
    return QSharedPointer<T>(new T(parse(json)));
}

BaseFare::Ptr baseFare(const QByteArray &json)
{
    return record<BaseFare>(json);
}

// A daily paper ticket sold by the driver, with one key changed (or removed, for undefined).
FareProduct2 dailyPaperTicket(const QString &key = QString(), const QJsonValue &value = QJsonValue())
{
    QJsonObject json = parse(R"({"validFrom": "FROM_DATE_OF_ISSUANCE", "validityUnit": "DAYS",
        "validityDuration": 1, "numberOfTrips": -1})");
    if (value.isUndefined())
        json.remove(key);
    else if (!key.isEmpty())
        json.insert(key, value);
    FareProduct2 product(json);
    product.setTicketMaterials({record<TicketMaterial>(R"({"id": 1, "code": "TM_PAPER_TICKET"})")});
    product.setPaymentChannels({record<PaymentChannel>(R"({"id": 2, "code": "PC_DRIVER"})")});
    return product;
}
} // namespace

class tst_FareProduct2 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void price_data();
    void price();
    void validityPeriod_data();
    void validityPeriod();
    void dailyTicket_data();
    void dailyTicket();
    void validIn_data();
    void validIn();
    void dates_data();
    void dates();
    void expiryAndActivation();
    void name_data();
    void name();
    void lookUps();
    void logText();
};

void tst_FareProduct2::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_FareProduct2::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void tst_FareProduct2::price_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QList<double>>("baseFareAmounts");
    QTest::addColumn<double>("expected");
    const QList<double> twoFares{1.0, 1.5};
    QTest::newRow("calculated-wins") << QByteArray(R"({"calculatedPrice": 250, "fareFixed": 9.0})") << twoFares << 2.5;
    QTest::newRow("calculated-negative") << QByteArray(R"({"calculatedPrice": -100})") << twoFares << -1.0;
    QTest::newRow("calculated-fraction-ignored") << QByteArray(R"({"calculatedPrice": 250.5, "fareFixed": 3.2})")
                                                 << twoFares << 3.2;
    QTest::newRow("calculated-text-ignored") << QByteArray(R"({"calculatedPrice": "250"})") << twoFares << 2.5;
    QTest::newRow("fixed") << QByteArray(R"({"fareFixed": 3.2})") << twoFares << 3.2;
    QTest::newRow("sum-discounted") << QByteArray(R"({"fareDiscount": 0.2})") << twoFares << 2.0;
    QTest::newRow("discount-as-text") << QByteArray(R"({"fareDiscount": "0.2"})") << twoFares << 2.5;
    QTest::newRow("fixed-zero-falls-through") << QByteArray(R"({"fareFixed": 0})") << twoFares << 2.5;
    QTest::newRow("no-base-fares") << QByteArray("{}") << QList<double>() << 0.0;
}

void tst_FareProduct2::price()
{
    QFETCH(QByteArray, json);
    QFETCH(QList<double>, baseFareAmounts);
    QFETCH(double, expected);
    FareProduct2 product(parse(json));
    BaseFare::List fares;
    for (double amount : qAsConst(baseFareAmounts))
        fares << BaseFare::Ptr(new BaseFare(QJsonObject{{"fareAmount", amount}}));
    product.setBaseFares(fares);
    QCOMPARE(product.price(), expected);
}

void tst_FareProduct2::validityPeriod_data()
{
    QTest::addColumn<QJsonValue>("unit");
    QTest::addColumn<int>("duration");
    QTest::addColumn<int>("expected");
    QTest::newRow("days") << QJsonValue("DAYS") << 1 << 1440;
    QTest::newRow("days-lower-case") << QJsonValue("days") << 1 << 1;
    QTest::newRow("weeks") << QJsonValue("WEEKS") << 2 << 20160;
    QTest::newRow("months") << QJsonValue("MONTHS") << 1 << 43830;
    QTest::newRow("minutes") << QJsonValue("MINUTES") << 90 << 90;
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << 90 << 90;
    QTest::newRow("months-saturate") << QJsonValue("MONTHS") << 100000 << INT_MAX;
    QTest::newRow("negative-months-saturate") << QJsonValue("MONTHS") << -100000 << INT_MIN;
}

void tst_FareProduct2::validityPeriod()
{
    QFETCH(QJsonValue, unit);
    QFETCH(int, duration);
    QFETCH(int, expected);
    QJsonObject json{{"validityDuration", duration}};
    if (!unit.isUndefined())
        json.insert("validityUnit", unit);
    QCOMPARE(FareProduct2(json).validityPeriodMin(), expected);
}

void tst_FareProduct2::dailyTicket_data()
{
    QTest::addColumn<QString>("key"); // empty: the daily ticket as it is
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("paper");
    QTest::addColumn<bool>("driver");
    QTest::addColumn<bool>("expected");
    QTest::newRow("daily") << QString() << QJsonValue() << true << true << true;
    QTest::newRow("from-validation") << "validFrom" << QJsonValue("FROM_VALIDATION") << true << true << true;
    QTest::newRow("valid-from-empty") << "validFrom" << QJsonValue("") << true << true << false;
    QTest::newRow("trips-zero") << "numberOfTrips" << QJsonValue(0) << true << true << false;
    QTest::newRow("trips-absent") << "numberOfTrips" << QJsonValue(QJsonValue::Undefined) << true << true << false;
    QTest::newRow("two-days") << "validityDuration" << QJsonValue(2) << true << true << false;
    QTest::newRow("1440-minutes") << "validityUnit" << QJsonValue("MINUTES") << true << true << false;
    QTest::newRow("not-paper") << QString() << QJsonValue() << false << true << false;
    QTest::newRow("not-driver") << QString() << QJsonValue() << true << false << false;
}

void tst_FareProduct2::dailyTicket()
{
    QFETCH(QString, key);
    QFETCH(QJsonValue, value);
    QFETCH(bool, paper);
    QFETCH(bool, driver);
    QFETCH(bool, expected);
    FareProduct2 product = dailyPaperTicket(key, value);
    if (!paper)
        product.setTicketMaterials({record<TicketMaterial>(R"({"id": 1, "code": "TM_CARD"})")});
    if (!driver)
        product.setPaymentChannels({record<PaymentChannel>(R"({"id": 2, "code": "PC_WEB"})")});
    QCOMPARE(product.isDailyTicket(), expected);
}

void tst_FareProduct2::validIn_data()
{
    QTest::addColumn<QByteArray>("baseFareJson");
    QTest::addColumn<int>("axisId");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("expected");
    const QByteArray zone = R"({"isZoneFare": true, "zoneFrom": 3, "zoneTo": 5})";
    QTest::newRow("zone-forward") << zone << 1 << 3 << 5 << true;
    QTest::newRow("zone-reverse") << zone << 1 << 5 << 3 << false;
    QTest::newRow("zone-flag-off") << QByteArray(R"({"zoneFrom": 3, "zoneTo": 5})") << 1 << 3 << 5 << false;
    const QByteArray city = R"({"isCityZoneFare": true, "cityZoneFareStopGroups": [2, 3]})";
    QTest::newRow("city-zone-any-destination") << city << 1 << 3 << 99 << true;
    QTest::newRow("city-zone-destination-only") << city << 1 << 99 << 3 << false;
    const QByteArray axis = R"({"isAxisFare": true, "axisId": 12})";
    QTest::newRow("axis-any-zones") << axis << 12 << 7 << 8 << true;
    QTest::newRow("other-axis") << axis << 13 << 7 << 8 << false;
    QTest::newRow("km-fare-not-tested") << QByteArray(R"({"isKmFare": true, "axisId": 12})") << 12 << 0 << 0 << false;
    QTest::newRow("no-kind") << QByteArray(R"({"axisId": 12, "zoneFrom": 0, "zoneTo": 0})") << 12 << 0 << 0 << false;
    QTest::newRow("flags-tested-independently")
        << QByteArray(R"({"isKmFare": true, "isAxisFare": true, "isZoneFare": true, "axisId": 1,
                          "zoneFrom": 3, "zoneTo": 5})") << 2 << 3 << 5 << true;
}

void tst_FareProduct2::validIn()
{
    QFETCH(QByteArray, baseFareJson);
    QFETCH(int, axisId);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, expected);
    FareProduct2 product;
    QVERIFY(!product.isValidIn(axisId, from, to));
    product.setBaseFares({baseFare(R"({"isZoneFare": true, "zoneFrom": 40, "zoneTo": 41})"), baseFare(baseFareJson)});
    QCOMPARE(product.isValidIn(axisId, from, to), expected);
}

void tst_FareProduct2::dates_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expectedUtc");
    const QString epoch = QStringLiteral("1970-01-01T00:00:00Z");
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << epoch;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << epoch;
    QTest::newRow("milliseconds") << QJsonValue(1700000000000.0) << "2023-11-14T22:13:20Z";
    QTest::newRow("digit-text") << QJsonValue("1700000000000") << "2023-11-14T22:13:20Z";
    QTest::newRow("word") << QJsonValue("tomorrow") << epoch;
    QTest::newRow("object") << QJsonValue(QJsonObject{{"ms", 5}}) << epoch;
}

void tst_FareProduct2::dates()
{
    QFETCH(QJsonValue, value);
    QFETCH(QString, expectedUtc);
    QJsonObject json;
    if (!value.isUndefined()) {
        json.insert("activationDate", value);
        json.insert("expirationDate", value);
    }
    const FareProduct2 product(json);
    for (const QDateTime &date : {product.activationDate(), product.expirationDate()}) {
        QCOMPARE(date.timeSpec(), Qt::LocalTime);
        QCOMPARE(date.toUTC().toString(Qt::ISODate), expectedUtc);
    }
}

void tst_FareProduct2::expiryAndActivation()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    FareProduct2 product;
    QVERIFY(product.isExpired());
    QVERIFY(product.isActivated());
    product.setExpirationDate(now.addSecs(3600));
    product.setActivationDate(now.addSecs(3600).toLocalTime());
    QCOMPARE(product.toJson().value("expirationDate"), QJsonValue(now.addSecs(3600).toMSecsSinceEpoch()));
    QVERIFY(!product.isExpired());
    QVERIFY(!product.isActivated());
    product.setExpirationDate(now.addSecs(-3600));
    product.setActivationDate(now.addSecs(-3600));
    QVERIFY(product.isExpired());
    QVERIFY(product.isActivated());
}

void tst_FareProduct2::name_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QString>("expected");
    const QByteArray both = R"({"name": {"el": "Imerisio", "en": "Daily"}})";
    QTest::newRow("locale-language") << "el" << both << "Imerisio";
    QTest::newRow("fallback-en") << "de" << both << "Daily";
    QTest::newRow("neither") << "de" << QByteArray(R"({"name": {"el": "Imerisio"}})") << "";
    QTest::newRow("first-field-only") << "el"
                                      << QByteArray(R"({"a": {"en": "A"}, "b": {"el": "B", "en": "B"}})") << "A";
    QTest::newRow("no-map") << "el" << QByteArray() << "";
}

void tst_FareProduct2::name()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, names);
    QFETCH(QString, expected);
    QLocale::setDefault(QLocale(locale));
    FareProduct2 product;
    if (!names.isEmpty())
        product.setMultiLang(parse(names));
    QCOMPARE(product.name(), expected);
}

void tst_FareProduct2::lookUps()
{
    FareProduct2 product;
    QVERIFY(!product.isPaperTicket());
    QVERIFY(!product.isDriver());
    QVERIFY(!product.isAxisFare());
    QVERIFY(!product.findPassengerType(0));

    const auto card = record<TicketMaterial>(R"({"id": 1, "code": "TM_CARD"})");
    product.setTicketMaterials({record<TicketMaterial>(R"({"id": 2, "code": "TM_PAPER_TICKET"})"), card});
    QCOMPARE(product.findTicketMaterial("TM_CARD"), card);
    QVERIFY(!product.findTicketMaterial("tm_card"));
    QVERIFY(product.isPaperTicket());
    product.setTicketMaterials({record<TicketMaterial>(R"({"id": 2, "code": "TM_PAPER_TICKET"})")});
    QVERIFY(!product.findTicketMaterial("TM_CARD"));

    const auto adult = record<PassengerType>(R"({"id": 7, "code": "PT_ADULT"})");
    product.setPassengerTypes({record<PassengerType>(R"({"id": 6, "code": "PT_CHILD"})"), adult,
                               record<PassengerType>(R"({"id": 7, "code": "PT_OTHER"})")});
    QCOMPARE(product.findPassengerType(7), adult);
    QCOMPARE(product.findPassengerType("PT_ADULT"), adult);
    QVERIFY(!product.findPassengerType(8));

    // A code sent as a number reads empty, so no look-up by code finds it.
    product.setPaymentChannels({record<PaymentChannel>(R"({"id": 1, "code": 5})")});
    QVERIFY(!product.findPaymentChannel("5"));
    QVERIFY(!product.isDriver());
    const auto purse = record<PaymentMethod>(R"({"id": 3, "code": "PM_CARRIER_CARD_MONEY"})");
    product.setPaymentMethods({purse});
    QCOMPARE(product.findPaymentMethod("PM_CARRIER_CARD_MONEY"), purse);

    product.setBaseFares({baseFare(R"({"isZoneFare": true})"), baseFare(R"({"isAxisFare": true})")});
    QVERIFY(product.isAxisFare());
}

void tst_FareProduct2::logText()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const FareProduct2 product(parse(R"({"id": 31, "code": "DAY", "calculatedPrice": 250,
        "validFrom": "FROM_VALIDATION", "validityDuration": 1, "validityUnit": "DAYS",
        "multiLanguageFieldsMap": {"description": {"en": "Day pass", "el": "Imerisio"}}})"));
    QCOMPARE(product.toString(), QStringLiteral(
        "--- FARE PRODUCT ------------------------------------------\n"
        "ID               : 31\n"
        "Code             : DAY\n"
        "Description      : Day pass / Imerisio\n"
        "Price            : $2.50\n"
        "Valid From       : FROM_VALIDATION\n"
        "Valid Duration   : 1 DAYS\n"
        "-----------------------------------------------------------"));
}

QTEST_GUILESS_MAIN(tst_FareProduct2)
#include "tst_fareproduct2.moc"
