#include "tickets/urbanmelva_v1.h"

#include "support/logcapture.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

const QString kWarning = QStringLiteral("[qr/UrbanMelva_v1]  Ticket does not have  19  or 16 fields");

// 1700000000 is 2023-11-14T22:13:20Z; the expiry 1700006400 falls on the 15th in UTC but
// on the 14th in New York, the validity start 1700003600 an hour after the issue.
QStringList sampleFields()
{
    return {QStringLiteral("101"), QStringLiteral("2002"), QStringLiteral("DEV 7"),
            QStringLiteral("RC-12"), QStringLiteral("3"), QStringLiteral("9"),
            QStringLiteral("1700000000"), QStringLiteral("555"), QStringLiteral("77"),
            QStringLiteral("12"), QStringLiteral("true"), QStringLiteral("PASSENGER"),
            QStringLiteral("0"), QStringLiteral("41"), QStringLiteral("2"),
            QStringLiteral("1700006400"), QStringLiteral("1700003600"), QStringLiteral("7200"),
            QStringLiteral("5")};
}

QString sample16() { return sampleFields().mid(0, 16).join(QLatin1Char('|')); }
QString sample19() { return sampleFields().join(QLatin1Char('|')); }

QString withField(int position, const QString &value, int count = 19)
{
    QStringList f = sampleFields().mid(0, count);
    f[position] = value;
    return f.join(QLatin1Char('|'));
}

bool isWest()
{
    return qgetenv("TZ") == "America/New_York";
}

QString pretty(const QJsonObject &o)
{
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
}

} // namespace

class tst_UrbanMelva_v1 : public QObject
{
    Q_OBJECT
private slots:
    void runsInExpectedZone();
    void fieldCount_data();
    void fieldCount();
    void sixteenFieldDefaults();
    void nineteenFields();
    void validityStart_data();
    void validityStart();
    void openTicket_data();
    void openTicket();
    void integerFields_data();
    void integerFields();
    void textFieldsAsWritten();
    void expiry_data();
    void expiry();
    void dump();
    void dumpKeepsPlaceholdersAsWritten();
    void toJsonFromText();
    void fromJson_data();
    void fromJson();
    void fromJsonDump();
    void emptyJsonObject();
};

void tst_UrbanMelva_v1::runsInExpectedZone()
{
    // Without tzdata an unknown zone silently becomes UTC.
    const int offset = QDateTime::fromSecsSinceEpoch(0, Qt::LocalTime).offsetFromUtc();
    QCOMPARE(offset, isWest() ? -5 * 3600 : 0);
}

void tst_UrbanMelva_v1::fieldCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("warned");
    QTest::addColumn<QString>("serialized");
    QTest::newRow("empty-text") << QString() << true << false << QString();
    QTest::newRow("bar-only") << QStringLiteral("|") << true << true << QString();
    QTest::newRow("sixteen") << sample16() << false << false << sample16();
    QTest::newRow("sixteen-trailing-bar") << sample16() + "|" << false << false << sample16();
    QTest::newRow("sixteen-two-bars") << sample16() + "||" << true << true << sample16() + "|";
    QTest::newRow("nineteen") << sample19() << false << false << sample19();
    QTest::newRow("nineteen-trailing-bar") << sample19() + "|" << false << false << sample19();
    for (int n : {1, 12, 15, 17, 18, 20}) {
        QStringList f;
        for (int i = 0; i < n; ++i)
            f << QString::number(i);
        QTest::addRow("count-%d", n) << f.join('|') << true << true << f.join('|');
    }
}

void tst_UrbanMelva_v1::fieldCount()
{
    QFETCH(QString, text);
    QFETCH(bool, empty);
    QFETCH(bool, warned);
    QFETCH(QString, serialized);
    LogCapture log;
    const UrbanMelva_v1 t(text);
    QCOMPARE(t.isEmpty(), empty);
    QCOMPARE(t.toSerialized(), serialized);
    QCOMPARE(t.getQrType(), QStringLiteral("UrbanMelva_v1"));
    QCOMPARE(log.texts(), warned ? QStringList{kWarning} : QStringList());
    if (empty)
        QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
}

void tst_UrbanMelva_v1::sixteenFieldDefaults()
{
    const UrbanMelva_v1 t(sample16());
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.axisId(), 101);
    QCOMPARE(t.expiryDate(), QDate(2023, 11, isWest() ? 14 : 15));
    QVERIFY(t.validityStartDateIsNull());
    QVERIFY(t.validityStartDate().isNull());
    QCOMPARE(t.lifeSpan(), -1);
    QCOMPARE(t.carrierId(), -1);
    QCOMPARE(t.toJson().value(QLatin1String("validityStartDate")), QJsonValue(QJsonValue::Null));
    QCOMPARE(t.toJson().value(QLatin1String("lifeSpan")), QJsonValue(-1));
    QVERIFY(t.toString().endsWith(QStringLiteral("\nValidity start date : \n"
                                                 "Life span           : -1\n"
                                                 "Carrier id          : -1\n")));
}

void tst_UrbanMelva_v1::nineteenFields()
{
    const UrbanMelva_v1 t(sample19());
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.axisId(), 101);
    QCOMPARE(t.userId(), 2002);
    QCOMPARE(t.deviceUuid(), QStringLiteral("DEV 7"));
    QCOMPARE(t.reservationCode(), QStringLiteral("RC-12"));
    QCOMPARE(t.fromStopGroupId(), 3);
    QCOMPARE(t.toStopGroupId(), 9);
    QCOMPARE(t.issueTimestamp(), 1700000000);
    QCOMPARE(t.issueDateTime(), QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20), Qt::UTC));
    QCOMPARE(t.issueDateTime().timeSpec(), Qt::UTC);
    QCOMPARE(t.id(), 555);
    QCOMPARE(t.routeExecutionId(), 77);
    QCOMPARE(t.seatNumber(), 12);
    QVERIFY(t.openTicket());
    QCOMPARE(t.ticketType(), QStringLiteral("PASSENGER"));
    QCOMPARE(t.parcelId(), 0);
    QCOMPARE(t.fareProductId(), 41);
    QCOMPARE(t.passengerTypeId(), 2);
    QVERIFY(!t.validityStartDateIsNull());
    QCOMPARE(t.validityStartDate().toSecsSinceEpoch(), 1700003600);
    QCOMPARE(t.validityStartDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(t.lifeSpan(), 7200);
    QCOMPARE(t.carrierId(), 5);
}

void tst_UrbanMelva_v1::validityStart_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<qint64>("startSecs");
    QTest::newRow("minus-one") << QStringLiteral("-1") << true << qint64(-1);
    QTest::newRow("zero") << QStringLiteral("0") << false << qint64(0);
    // A -1 written as an unsigned number does not fit a signed field and reads 0.
    QTest::newRow("minus-one-unsigned") << QStringLiteral("4294967295") << false << qint64(0);
    QTest::newRow("letters") << QStringLiteral("abc") << false << qint64(0);
    QTest::newRow("minus-two") << QStringLiteral("-2") << false << qint64(4294967294);
}

void tst_UrbanMelva_v1::validityStart()
{
    QFETCH(QString, field);
    QFETCH(bool, empty);
    QFETCH(qint64, startSecs);
    LogCapture log;
    const UrbanMelva_v1 t(withField(16, field));
    QCOMPARE(t.isEmpty(), empty);
    QVERIFY(log.texts().isEmpty());
    if (empty) {
        QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
        QCOMPARE(t.lifeSpan(), 0);
        QCOMPARE(t.carrierId(), 0);
        QVERIFY(t.validityStartDateIsNull());
        QCOMPARE(t.axisId(), 101); // the first sixteen fields are already read
        return;
    }
    QCOMPARE(t.validityStartDate().toSecsSinceEpoch(), startSecs);
    QCOMPARE(t.validityStartDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(t.lifeSpan(), 7200);
    QCOMPARE(t.carrierId(), 5);
}

void tst_UrbanMelva_v1::openTicket_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("expected");
    QTest::newRow("true") << QStringLiteral("true") << true;
    QTest::newRow("capital") << QStringLiteral("True") << false;
    QTest::newRow("upper") << QStringLiteral("TRUE") << false;
    QTest::newRow("one") << QStringLiteral("1") << false;
    QTest::newRow("padded") << QStringLiteral(" true") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("false") << QStringLiteral("false") << false;
}

void tst_UrbanMelva_v1::openTicket()
{
    QFETCH(QString, field);
    QFETCH(bool, expected);
    for (int count : {16, 19}) {
        const UrbanMelva_v1 t(withField(10, field, count));
        QCOMPARE(t.openTicket(), expected);
        QCOMPARE(t.toJson().value(QLatin1String("isOpenTicket")).toBool(), expected);
        QVERIFY(t.toString().contains(expected ? QLatin1String("Open ticket         : true\n")
                                               : QLatin1String("Open ticket         : false\n")));
    }
}

void tst_UrbanMelva_v1::integerFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("expected");
    QTest::newRow("letters") << QStringLiteral("abc") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("digits-then-letters") << QStringLiteral("12abc") << 0;
    QTest::newRow("fraction") << QStringLiteral("1.5") << 0;
    QTest::newRow("hex") << QStringLiteral("0x10") << 0;
    QTest::newRow("int-max") << QStringLiteral("2147483647") << INT_MAX;
    QTest::newRow("above-int-max") << QStringLiteral("2147483648") << 0;
    QTest::newRow("int-min") << QStringLiteral("-2147483648") << INT_MIN;
    QTest::newRow("below-int-min") << QStringLiteral("-2147483649") << 0;
    QTest::newRow("uint-max") << QStringLiteral("4294967295") << 0;
    QTest::newRow("negative") << QStringLiteral("-7") << -7;
}

void tst_UrbanMelva_v1::integerFields()
{
    QFETCH(QString, field);
    QFETCH(int, expected);
    QStringList f = sampleFields();
    // Every integer position but the validity start, whose -1 has its own meaning, and the
    // last, where an empty field would read as the trailing "|".
    for (int i : {0, 1, 4, 5, 6, 7, 8, 9, 12, 13, 14, 15, 17})
        f[i] = field;
    const UrbanMelva_v1 t(f.join('|'));
    QVERIFY(!t.isEmpty());
    const QList<int> read = {t.axisId(), t.userId(), t.fromStopGroupId(), t.toStopGroupId(),
                             t.issueTimestamp(), t.id(), t.routeExecutionId(), t.seatNumber(),
                             t.parcelId(), t.fareProductId(), t.passengerTypeId(), t.lifeSpan()};
    for (int value : read)
        QCOMPARE(value, expected);
    QCOMPARE(t.toJson().value(QLatin1String("issuerId")).toInt(), expected);
}

void tst_UrbanMelva_v1::textFieldsAsWritten()
{
    QStringList f = sampleFields();
    f[2] = QStringLiteral("  dev ice  ");
    f[3] = QString();
    f[11] = QStringLiteral("parcel");
    const UrbanMelva_v1 t(f.join('|'));
    QCOMPARE(t.deviceUuid(), QStringLiteral("  dev ice  "));
    QCOMPARE(t.reservationCode(), QString());
    QCOMPARE(t.ticketType(), QStringLiteral("parcel"));
    QCOMPARE(t.toJson().value(QLatin1String("issuerDeviceId")).toString(), QStringLiteral("  dev ice  "));
}

void tst_UrbanMelva_v1::expiry_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("hasExpiry");
    QTest::addColumn<QDate>("utcDate");
    QTest::addColumn<QDate>("westDate");
    QTest::newRow("none") << QStringLiteral("0") << false << QDate(1970, 1, 1) << QDate(1969, 12, 31);
    QTest::newRow("letters") << QStringLiteral("abc") << false << QDate(1970, 1, 1) << QDate(1969, 12, 31);
    QTest::newRow("sample") << QStringLiteral("1700006400") << true << QDate(2023, 11, 15)
                            << QDate(2023, 11, 14);
    // Read as unsigned: -1 is the last second of 2106-02-07 UTC.
    QTest::newRow("minus-one") << QStringLiteral("-1") << true << QDate(2106, 2, 7) << QDate(2106, 2, 7);
}

void tst_UrbanMelva_v1::expiry()
{
    QFETCH(QString, field);
    QFETCH(bool, hasExpiry);
    QFETCH(QDate, utcDate);
    QFETCH(QDate, westDate);
    for (int count : {16, 19}) {
        const UrbanMelva_v1 t(withField(15, field, count));
        QCOMPARE(t.hasExpiryDate(), hasExpiry);
        const QDate expected = isWest() ? westDate : utcDate;
        QCOMPARE(t.expiryDate(), expected);
        QCOMPARE(t.toJson().value(QLatin1String("expiryDate")).toString(),
                 expected.toString(QStringLiteral("yyyy/MM/dd")));
    }
}

void tst_UrbanMelva_v1::dump()
{
    const UrbanMelva_v1 t(sample19());
    const QString expected = QStringLiteral(
        "\n"
        "Axis id             : 101\n"
        "User id             : 2002\n"
        "Device id           : DEV 7\n"
        "Reservation code    : RC-12\n"
        "From stop group id  : 3\n"
        "To stop group id    : 9\n"
        "Issue date time     : 2023-11-14T22:13:20Z\n"
        "Issued ticket id    : 555\n"
        "Route execution id  : 77\n"
        "Selected seat       : 12\n"
        "Open ticket         : true\n"
        "Ticket type         : PASSENGER\n"
        "Parcel              : 0\n"
        "Fare product id     : 41\n"
        "Passenger type id   : 2\n"
        "Expiry date         : %1\n"
        "Validity start date : %2\n"
        "Life span           : 7200\n"
        "Carrier id          : 5\n")
        .arg(isWest() ? QStringLiteral("2023-11-14") : QStringLiteral("2023-11-15"),
             isWest() ? QStringLiteral("2023-11-14T18:13:20") : QStringLiteral("2023-11-14T23:13:20"));
    QCOMPARE(t.toString(), expected);
}

void tst_UrbanMelva_v1::dumpKeepsPlaceholdersAsWritten()
{
    QStringList f = sampleFields();
    f[2] = QStringLiteral("%9");
    f[3] = QStringLiteral("%5%19");
    f[11] = QStringLiteral("%1 %12 %99");
    const UrbanMelva_v1 t(f.join('|'));
    const QString dump = t.toString();
    QVERIFY2(dump.contains(QLatin1String("\nDevice id           : %9\n")), qPrintable(dump));
    QVERIFY2(dump.contains(QLatin1String("\nReservation code    : %5%19\n")), qPrintable(dump));
    QVERIFY2(dump.contains(QLatin1String("\nTicket type         : %1 %12 %99\n")), qPrintable(dump));
    QCOMPARE(dump.count(QLatin1Char('\n')), 20);
}

void tst_UrbanMelva_v1::toJsonFromText()
{
    const bool west = isWest();
    const QJsonObject expected{
        {"axisId", 101},
        {"fareProductId", 41},
        {"fromStopGroupId", 3},
        {"toStopGroupId", 9},
        {"isOpenTicket", true},
        {"issuedTicketId", 555},
        {"issuerDeviceId", "DEV 7"},
        {"issuerId", 2002},
        {"lifeSpan", 7200},
        {"parcelId", 0},
        {"passengerTypeId", 2},
        {"reservationCode", "RC-12"},
        {"routeExecutionId", 77},
        {"seatNumber", 12},
        {"template", "urban_melva_v1"},
        {"type", "PASSENGER"},
        {"carrierId", 5},
        {"issueDateTime", west ? "2023/11/14 17:13:20" : "2023/11/14 22:13:20"},
        {"expiryDate", west ? "2023/11/14" : "2023/11/15"},
        {"validityStartDate", west ? "2023/11/14 18:13:20" : "2023/11/14 23:13:20"},
    };
    const QJsonObject actual = UrbanMelva_v1(sample19()).toJson();
    QVERIFY2(actual == expected, qPrintable(pretty(actual) + "\nexpected:\n" + pretty(expected)));
    QCOMPARE(UrbanMelva_v1::MyTemplate, QStringLiteral("urban_melva_v1"));
}

void tst_UrbanMelva_v1::fromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("axisId");
    QTest::addColumn<int>("userId");
    QTest::addColumn<QString>("deviceUuid");
    QTest::addColumn<int>("ticketId");
    QTest::addColumn<int>("lifeSpan");
    QTest::addColumn<int>("carrierId");
    QTest::newRow("all-keys")
        << QByteArray(R"({"routeId":4,"driverId":8,"deviceUuid":"D-1","ticketId":42,)"
                      R"("lifeSpan":3600,"carrierId":3,"fromStopGroupId":9,"expiryDate":5})")
        << 4 << 8 << QStringLiteral("D-1") << 42 << 3600 << 3;
    QTest::newRow("ticket-id-only") << QByteArray(R"({"ticketId":42})") << 0 << 0 << QString() << 42 << 0 << 0;
    QTest::newRow("unknown-key-only") << QByteArray(R"({"other":1})") << 0 << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("mistyped")
        << QByteArray(R"({"routeId":"4","driverId":8.5,"deviceUuid":7,"ticketId":true,)"
                      R"("lifeSpan":2147483648,"carrierId":null})")
        << 0 << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("negatives") << QByteArray(R"({"ticketId":-42,"lifeSpan":-1,"carrierId":-2147483648})")
                               << 0 << 0 << QString() << -42 << -1 << INT_MIN;
}

void tst_UrbanMelva_v1::fromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(int, axisId);
    QFETCH(int, userId);
    QFETCH(QString, deviceUuid);
    QFETCH(int, ticketId);
    QFETCH(int, lifeSpan);
    QFETCH(int, carrierId);
    const UrbanMelva_v1 t(QJsonDocument::fromJson(json).object());
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.getQrType(), QStringLiteral("UrbanMelva_v1"));
    QCOMPARE(t.toSerialized(), QString());
    QCOMPARE(t.axisId(), axisId);
    QCOMPARE(t.userId(), userId);
    QCOMPARE(t.deviceUuid(), deviceUuid);
    QCOMPARE(t.id(), ticketId);
    QCOMPARE(t.lifeSpan(), lifeSpan);
    QCOMPARE(t.carrierId(), carrierId);
    // Only the six mapped keys are read.
    QCOMPARE(t.fromStopGroupId(), 0);
    QCOMPARE(t.issueTimestamp(), 0);
    QVERIFY(!t.hasExpiryDate());
    QVERIFY(!t.openTicket());
    QCOMPARE(t.ticketType(), QString());
    QVERIFY(t.validityStartDateIsNull());

    const bool west = isWest();
    const QJsonObject expected{
        {"axisId", axisId},
        {"fareProductId", 0},
        {"fromStopGroupId", 0},
        {"toStopGroupId", 0},
        {"isOpenTicket", false},
        {"issuedTicketId", ticketId},
        {"issuerDeviceId", deviceUuid},
        {"issuerId", userId},
        {"lifeSpan", lifeSpan},
        {"parcelId", 0},
        {"passengerTypeId", 0},
        {"reservationCode", ""},
        {"routeExecutionId", 0},
        {"seatNumber", 0},
        {"template", "urban_melva_v1"},
        {"type", ""},
        {"carrierId", carrierId},
        {"issueDateTime", west ? "1969/12/31 19:00:00" : "1970/01/01 00:00:00"},
        {"expiryDate", west ? "1969/12/31" : "1970/01/01"},
        {"validityStartDate", QJsonValue::Null},
    };
    const QJsonObject actual = t.toJson();
    QVERIFY2(actual == expected, qPrintable(pretty(actual) + "\nexpected:\n" + pretty(expected)));
}

void tst_UrbanMelva_v1::fromJsonDump()
{
    // JSON numbers stand empty in the dump; JSON strings as written.
    const UrbanMelva_v1 t(QJsonObject{{"ticketId", 42}, {"deviceUuid", "D-1"}});
    const QString expected = QStringLiteral(
        "\n"
        "Axis id             : \n"
        "User id             : \n"
        "Device id           : D-1\n"
        "Reservation code    : \n"
        "From stop group id  : \n"
        "To stop group id    : \n"
        "Issue date time     : 1970-01-01T00:00:00Z\n"
        "Issued ticket id    : \n"
        "Route execution id  : \n"
        "Selected seat       : \n"
        "Open ticket         : false\n"
        "Ticket type         : \n"
        "Parcel              : \n"
        "Fare product id     : \n"
        "Passenger type id   : \n"
        "Expiry date         : %1\n"
        "Validity start date : \n"
        "Life span           : \n"
        "Carrier id          : \n")
        .arg(isWest() ? QStringLiteral("1969-12-31") : QStringLiteral("1970-01-01"));
    QCOMPARE(t.toString(), expected);
}

void tst_UrbanMelva_v1::emptyJsonObject()
{
    const UrbanMelva_v1 t{QJsonObject()};
    QVERIFY(t.isEmpty());
    QCOMPARE(t.toSerialized(), QString());
    QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
    QCOMPARE(t.id(), 0);
}

QTEST_GUILESS_MAIN(tst_UrbanMelva_v1)
#include "tst_urbanmelva_v1.moc"
