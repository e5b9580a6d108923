#include "tarvik/fareproduct.h"

#include "support/logcapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QtTest>

using tarvik::FareProduct;

class tst_FareProduct : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void zoneIds_data();
    void zoneIds();
    void scalarKeys();
    void passengerTypes_data();
    void passengerTypes();
    void codeMaps();
    void type_data();
    void type();
    void defaultProduct();
    void fromJsonAddsTypesAndZones();
    void logLines();
    void activeDecisionLog();
};

static QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

void tst_FareProduct::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
}

void tst_FareProduct::cleanupTestCase()
{
    QLoggingCategory::setFilterRules(QString());
}

void tst_FareProduct::zoneIds_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("from");
    QTest::addColumn<bool>("fromAnywhere");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("toAnywhere");
    QTest::newRow("absent") << QByteArray("{}") << INT_MAX << true << INT_MAX << true;
    QTest::newRow("zero") << QByteArray(R"({"fromStopGroupId":0,"toStopGroupId":0})") << 0 << false << 0 << false;
    QTest::newRow("values") << QByteArray(R"({"fromStopGroupId":4,"toStopGroupId":7})") << 4 << false << 7 << false;
    QTest::newRow("null-is-present") << QByteArray(R"({"fromStopGroupId":null})") << 0 << false << INT_MAX << true;
    QTest::newRow("text-is-present") << QByteArray(R"({"toStopGroupId":"7"})") << INT_MAX << true << 0 << false;
    QTest::newRow("fraction") << QByteArray(R"({"fromStopGroupId":4.5})") << 0 << false << INT_MAX << true;
}

void tst_FareProduct::zoneIds()
{
    QFETCH(QByteArray, json);
    QFETCH(int, from);
    QFETCH(bool, fromAnywhere);
    QFETCH(int, to);
    QFETCH(bool, toAnywhere);
    const FareProduct product(parse(json));
    QCOMPARE(product.getFromStopGroupId(), from);
    QCOMPARE(product.getFromAnywhere(), fromAnywhere);
    QCOMPARE(product.getToStopGroupId(), to);
    QCOMPARE(product.getToAnywhere(), toAnywhere);
}

void tst_FareProduct::scalarKeys()
{
    const FareProduct product(parse(R"({"fareProductId":5,"fareProductName":"Day","validFrom":"01/02/2026 00:00:00",
        "validPerRoute":true,"isAxisFare":true,"axisId":12,"numberOfTrips":3,"validityPeriodMin":90,
        "validStopGroups":[2,"3",2,4.5]})"));
    QCOMPARE(product.getId(), 5);
    QVERIFY(product.isValid());
    QCOMPARE(product.getName(), QStringLiteral("Day"));
    QCOMPARE(product.getValidFrom(), QStringLiteral("01/02/2026 00:00:00"));
    QVERIFY(product.getValidPerRoute());
    QVERIFY(product.isAxisFare());
    QVERIFY(!product.isZoneFare());
    QCOMPARE(product.getAxisId(), 12);
    QCOMPARE(product.getNumberOfTrips(), 3);
    QCOMPARE(product.getValidityPeriodMin(), 90);
    QCOMPARE(product.getValidStopGroupIds(), (QVector<int>{2, 0, 2, 0})); // order and duplicates kept
    QVERIFY(!product.getActive());

    const FareProduct loose(parse(R"({"fareProductId":"5","validityPeriodMin":1.5,"isAxisFare":1,"validPerRoute":"true"})"));
    QCOMPARE(loose.getId(), 0);
    QVERIFY(!loose.isValid());
    QCOMPARE(loose.getValidityPeriodMin(), 0);
    QVERIFY(!loose.isAxisFare());
    QVERIFY(!loose.getValidPerRoute());
    QCOMPARE(FareProduct(parse("{}")).getValidityPeriodMin(), 0);
}

void tst_FareProduct::passengerTypes_data()
{
    QTest::addColumn<QByteArray>("type"); // one passenger type object
    QTest::addColumn<double>("discount");
    QTest::addColumn<bool>("isDefault");
    QTest::addColumn<bool>("active");
    QTest::newRow("number-discount") << QByteArray(R"({"id":3,"discount":12.5})") << 12.5 << false << false;
    QTest::newRow("text-discount") << QByteArray(R"({"id":3,"discount":"12.5"})") << 0.0 << false << false;
    QTest::newRow("flags-as-numbers") << QByteArray(R"({"id":3,"default":1,"active":2})") << 0.0 << true << true;
    QTest::newRow("flags-as-booleans") << QByteArray(R"({"id":3,"default":true,"active":true})") << 0.0 << false << false;
    QTest::newRow("flags-zero") << QByteArray(R"({"id":3,"default":0,"active":0.5})") << 0.0 << false << false;
}

void tst_FareProduct::passengerTypes()
{
    QFETCH(QByteArray, type);
    QFETCH(double, discount);
    QFETCH(bool, isDefault);
    QFETCH(bool, active);
    const FareProduct product(parse(R"({"fareProductId":5,"passengerTypes":[)" + type + "]}"));
    const FareProduct::PassengerType found = product.findPassengerType(3);
    QCOMPARE(found.id, 3);
    QCOMPARE(found.discount, discount);
    QCOMPARE(found.isDefault, isDefault);
    QCOMPARE(found.active, active);
}

void tst_FareProduct::codeMaps()
{
    const FareProduct product(parse(R"({"fareProductId":5,
        "ticketMaterial":[{"ticketMaterial":{"id":2,"code":"TM_CARD"}},{"ticketMaterial":{"id":2,"code":"TM_OTHER"}},
                          {"id":9,"code":"TM_FLAT"},{"ticketMaterial":{"id":1,"code":"TM_PAPER_TICKET"}}],
        "passengerTypes":[{"id":3,"code":"PT_ADULT","description":"Adult","ageFrom":18,"ageTo":64,"gracePeriod":"5","category":2},
                          {"id":3,"code":"PT_DUP","description":"Duplicate"},
                          {"id":1,"code":"PT_CHILD","description":"Child"}]})"));
    // Flat element: no inner object, so id 0 and an empty code; a repeated id keeps the first.
    const QMap<int, QString> materials{{0, QString()}, {1, "TM_PAPER_TICKET"}, {2, "TM_CARD"}};
    QCOMPARE(product.getTicketMaterials(), materials);

    const QMap<int, QString> names{{1, "Child"}, {3, "Adult"}};
    QCOMPARE(product.getPassengerTypes(), names);
    const FareProduct::PassengerType adult = product.findPassengerType(QStringLiteral("PT_ADULT"));
    QCOMPARE(adult.id, 3);
    QCOMPARE(adult.ageFrom, 18);
    QCOMPARE(adult.ageTo, 64);
    QCOMPARE(adult.gracePeriod, QStringLiteral("5"));
    QCOMPARE(adult.category, 2);
    QCOMPARE(product.findPassengerType(QStringLiteral("PT_DUP")).id, 0);
    QCOMPARE(product.findPassengerType(QStringLiteral("pt_adult")).id, 0);
    QCOMPARE(product.findPassengerType(7).id, 0);
    QCOMPARE(product.findPassengerType(7).description, QString());
}

void tst_FareProduct::type_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("axis-and-city") << QByteArray(R"({"isAxisFare":true,"isCityZoneFare":true})") << "AxisFare";
    QTest::newRow("zone-and-city") << QByteArray(R"({"isZoneFare":true,"isCityZoneFare":true})") << "SpecialOffer";
    QTest::newRow("city") << QByteArray(R"({"isCityZoneFare":true})") << "CityZoneFare";
    QTest::newRow("none") << QByteArray("{}") << "";
}

void tst_FareProduct::type()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);
    QCOMPARE(FareProduct(parse(json)).type(), expected);
}

void tst_FareProduct::defaultProduct()
{
    const FareProduct product;
    QCOMPARE(product.getId(), 0);
    QCOMPARE(product.getFromStopGroupId(), 0);
    QCOMPARE(product.getToStopGroupId(), 0);
    QVERIFY(!product.getFromAnywhere());
    QVERIFY(!product.getToAnywhere());
    QVERIFY(!product.getActive());
    QVERIFY(product.getPassengerTypes().isEmpty());
}

void tst_FareProduct::fromJsonAddsTypesAndZones()
{
    FareProduct product(parse(R"({"fareProductId":5,"validStopGroups":[2],"passengerTypes":[{"id":1,"description":"One"}],
        "ticketMaterial":[{"ticketMaterial":{"id":1,"code":"A"}}]})"));
    product.setActive(true);
    const FareProduct copy = product;
    product.fromJson(parse(R"({"fareProductId":6,"validStopGroups":[3],"passengerTypes":[{"id":1,"description":"Other"},{"id":2,"description":"Two"}],
        "ticketMaterial":[{"ticketMaterial":{"id":2,"code":"B"}}]})"));
    QCOMPARE(product.getId(), 6);
    QCOMPARE(product.getValidStopGroupIds(), (QVector<int>{2, 3}));
    QCOMPARE(product.getPassengerTypes(), (QMap<int, QString>{{1, "One"}, {2, "Two"}}));
    QCOMPARE(product.getTicketMaterials(), (QMap<int, QString>{{2, "B"}})); // replaced
    QVERIFY(product.getActive());
    // The copy kept its own state.
    QCOMPARE(copy.getId(), 5);
    QCOMPARE(copy.getValidStopGroupIds(), QVector<int>{2});
    QVERIFY(copy.getActive());
}

void tst_FareProduct::logLines()
{
    const FareProduct product(parse(R"({"fareProductId":5,"fareProductName":"Day","fromStopGroupId":2,"isZoneFare":true,
        "passengerTypes":[{"id":3,"description":"Adult"},{"id":1,"description":"Child"}]})"));
    QCOMPARE(product.toString(), QStringLiteral("(5) Day (SpecialOffer)"));
    LogCapture logs;
    product.log();
    QCOMPARE(logs.texts(), (QStringList{
        "[tarvik.fareProduct]     FareProduct 'Day' (id=5, fromSG=2, toSG=2147483647, type=SpecialOffer)",
        "[tarvik.fareProduct]         PassengerType 'Child' (mId=1)",
        "[tarvik.fareProduct]         PassengerType 'Adult' (mId=3)",
    }));
}

void tst_FareProduct::activeDecisionLog()
{
    FareProduct product(parse(R"({"fareProductId":5,"fareProductName":"Day","fromStopGroupId":2,"toStopGroupId":3})"));
    LogCapture logs;
    product.setActive(true);
    product.setActive(true); // logged again although nothing changes
    product.setActive(false);
    QCOMPARE(logs.texts(), (QStringList{
        "[tarvik.fareProduct] Enabling FareProduct 'Day' (id=5, fromSG=2, toSG=3, type=)",
        "[tarvik.fareProduct] Enabling FareProduct 'Day' (id=5, fromSG=2, toSG=3, type=)",
        "[tarvik.fareProduct] Disabling FareProduct 'Day' (id=5, fromSG=2, toSG=3, type=)",
    }));
    QCOMPARE(logs.entries().first().type, QtDebugMsg);
    QVERIFY(!product.getActive());

    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    logs.clear();
    product.setActive(true);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=true\nqt.*=false"));
    QVERIFY(logs.texts().isEmpty());
    QVERIFY(product.getActive());
}

QTEST_GUILESS_MAIN(tst_FareProduct)
#include "tst_fareproduct.moc"
