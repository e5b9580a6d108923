#include "tarvik/basefare.h"

#include <QtTest>

using namespace tarvik;

namespace {
QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

bool westOfUtc()
{
    return qgetenv("TZ") == "America/New_York";
}
} // namespace

class tst_BaseFare : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void kind_data();
    void kind();
    void activationDate_data();
    void activationDate();
    void setActivationDateWritesLocalText();
    void lists_data();
    void lists();
    void listSettersWriteNumbers();
    void onlyTheSateSpellingIsRead();
    void logText();
};

void tst_BaseFare::initTestCase()
{
    // Without tzdata an unknown zone silently becomes UTC; the dates below would prove nothing.
    if (westOfUtc())
        QCOMPARE(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_BaseFare::kind_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("none") << QByteArray("{}") << "<unknown>";
    QTest::newRow("axis") << QByteArray(R"({"isAxisFare": true})") << "AxisFare";
    QTest::newRow("zone") << QByteArray(R"({"isZoneFare": true, "isAxisFare": true})") << "ZoneFare";
    QTest::newRow("city-zone") << QByteArray(R"({"isCityZoneFare": true, "isZoneFare": true})") << "CityZoneFare";
    QTest::newRow("km-first") << QByteArray(R"({"isKmFare": true, "isZoneFare": true})") << "KmFare";
    QTest::newRow("flag-as-number") << QByteArray(R"({"isAxisFare": 1})") << "<unknown>";
}

void tst_BaseFare::kind()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);
    QCOMPARE(BaseFare(parse(json)).type(), expected);
}

void tst_BaseFare::activationDate_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expectedUtc"); // empty: invalid
    const bool west = westOfUtc();
    QTest::newRow("local-morning") << QByteArray(R"({"activationDate": "01/03/2024 08:00:00"})")
                                   << (west ? "2024-03-01T13:00:00Z" : "2024-03-01T08:00:00Z");
    QTest::newRow("local-summer") << QByteArray(R"({"activationDate": "15/07/2024 23:30:00"})")
                                  << (west ? "2024-07-16T03:30:00Z" : "2024-07-15T23:30:00Z");
    QTest::newRow("iso-text") << QByteArray(R"({"activationDate": "2024-03-01"})") << "";
    QTest::newRow("no-seconds") << QByteArray(R"({"activationDate": "01/03/2024 08:00"})") << "";
    QTest::newRow("epoch-ms") << QByteArray(R"({"activationDate": 1709280000000})") << "";
    QTest::newRow("absent") << QByteArray("{}") << "";
}

void tst_BaseFare::activationDate()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expectedUtc);
    const QDateTime date = BaseFare(parse(json)).activationDate();
    if (expectedUtc.isEmpty()) {
        QVERIFY(!date.isValid());
        return;
    }
    QCOMPARE(date.timeSpec(), Qt::UTC);
    QCOMPARE(date.toString(Qt::ISODate), expectedUtc);
}

void tst_BaseFare::setActivationDateWritesLocalText()
{
    BaseFare fare;
    const QDateTime utc(QDate(2024, 3, 1), QTime(13, 0), Qt::UTC);
    fare.setActivationDate(utc);
    QCOMPARE(fare.toJson().value("activationDate").toString(),
             westOfUtc() ? QStringLiteral("01/03/2024 08:00:00") : QStringLiteral("01/03/2024 13:00:00"));
    QCOMPARE(fare.activationDate(), utc);
}

void tst_BaseFare::lists_data()
{
    QTest::addColumn<QByteArray>("json"); // the array under all three keys
    QTest::addColumn<QList<int>>("expectedInts");
    QTest::addColumn<QList<double>>("expectedDoubles");
    QTest::newRow("absent") << QByteArray() << QList<int>() << QList<double>();
    QTest::newRow("not-array") << QByteArray("3") << QList<int>() << QList<double>();
    QTest::newRow("numbers") << QByteArray("[3, 5]") << QList<int>{3, 5} << QList<double>{3, 5};
    QTest::newRow("word-in-between") << QByteArray(R"([3, "x", 5])") << QList<int>{3, 0, 5}
                                     << QList<double>{3, 0, 5};
    QTest::newRow("digit-text-converts") << QByteArray(R"(["7", null, {}])") << QList<int>{7, 0, 0}
                                         << QList<double>{7, 0, 0};
    QTest::newRow("fraction") << QByteArray("[1.5]") << QList<int>{2} << QList<double>{1.5};
}

void tst_BaseFare::lists()
{
    QFETCH(QByteArray, json);
    QFETCH(QList<int>, expectedInts);
    QFETCH(QList<double>, expectedDoubles);
    const QJsonObject o = json.isEmpty() ? QJsonObject()
                                         : parse("{\"cityZoneFareStopGroups\": " + json
                                                 + ", \"baseFareAxisRoutes\": " + json
                                                 + ", \"baseFareExtraCharges\": " + json + "}");
    const BaseFare fare(o);
    QCOMPARE(fare.cityZoneFareStopGroupIds(), expectedInts);
    QCOMPARE(fare.baseFareAxisRoutes(), expectedInts);
    QCOMPARE(fare.baseFareExtraCharges(), expectedDoubles);
}

void tst_BaseFare::listSettersWriteNumbers()
{
    BaseFare fare;
    fare.setCityZoneFareStopGroupIds({3, 5});
    fare.setBaseFareExtraCharges({0.5});
    QCOMPARE(fare.toJson().value("cityZoneFareStopGroups"), QJsonValue(QJsonArray{3, 5}));
    QCOMPARE(fare.toJson().value("baseFareExtraCharges"), QJsonValue(QJsonArray{0.5}));
    fare.setCode(QStringLiteral("BF1"));
    QCOMPARE(fare.code(), QStringLiteral("BF1"));
}

void tst_BaseFare::onlyTheSateSpellingIsRead()
{
    QCOMPARE(BaseFare(parse(R"({"sameStateFareAmount": 2.5})")).sameStateFareAmount(), 0.0);
    QCOMPARE(BaseFare(parse(R"({"sameSateFareAmount": 2.5})")).sameStateFareAmount(), 2.5);
}

void tst_BaseFare::logText()
{
    const BaseFare fare(parse(R"({"id": 4, "code": "Z1-Z2", "isZoneFare": true,
        "multiLanguageFieldsMap": {"name": {"en": "Zone 1 to 2", "el": "Zoni 1-2"}}})"));
    QCOMPARE(fare.toString(), QStringLiteral("[4] Z1-Z2/Zone 1 to 2/Zoni 1-2 (ZoneFare)"));
}

QTEST_GUILESS_MAIN(tst_BaseFare)
#include "tst_basefare.moc"
