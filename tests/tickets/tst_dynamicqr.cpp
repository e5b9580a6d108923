#include "tickets/dynamicqr.h"

#include "support/logcapture.h"

#include <QJsonDocument>
#include <QtTest>

namespace {

// 1700000000 is 2023-11-14T22:13:20Z; the validity starts an hour later.
QStringList sampleFields()
{
    return {QStringLiteral("DYNAMIC"), QStringLiteral("1234"), QStringLiteral("AB"),
            QStringLiteral("1700000000"), QStringLiteral("42"), QStringLiteral("41"),
            QStringLiteral("2"), QStringLiteral("1700003600"), QStringLiteral("7200"),
            QStringLiteral("7"), QStringLiteral("30"), QStringLiteral("120")};
}

QString sample() { return sampleFields().join(QLatin1Char('|')); }

QString withFields(const QMap<int, QString> &changes)
{
    QStringList f = sampleFields();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        f[it.key()] = it.value();
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

QString lengthWarning(int count)
{
    return QStringLiteral("[qr/DynamicQr] Ticket length (%1) is not valid.").arg(count);
}

// The JSON form of a ticket whose every field reads 0 or empty.
QJsonObject zeroJson()
{
    return QJsonObject{
        {"axisId", 0}, {"fareProductId", 0}, {"issuedTicketId", 0}, {"issuerDeviceId", ""},
        {"issuerId", 0}, {"lifeSpan", 0}, {"passengerTypeId", 0}, {"routeExecutionId", 0},
        {"template", "dynamicqr"}, {"type", ""}, {"carrierId", 0}, {"tickCount", 0},
        {"tickInterval", 0},
        {"issueDateTime", isWest() ? "1969/12/31 19:00:00" : "1970/01/01 00:00:00"},
        {"validityStartDate", QJsonValue::Null},
    };
}

} // namespace

class tst_DynamicQr : public QObject
{
    Q_OBJECT
private slots:
    void runsInExpectedZone();
    void fieldCount_data();
    void fieldCount();
    void scannedFields();
    void minusOneValidityStartEmptiesTicket();
    void validityStart_data();
    void validityStart();
    void onlyBars();
    void unsignedFields_data();
    void unsignedFields();
    void uid_data();
    void uid();
    void remainingSec_data();
    void remainingSec();
    void dump();
    void dumpKeepsPlaceholdersAsWritten();
    void toJsonFromText();
    void fromJson();
    void emptyJsonObject();
};

void tst_DynamicQr::runsInExpectedZone()
{
    // Without tzdata an unknown zone silently becomes UTC.
    const int offset = QDateTime::fromSecsSinceEpoch(0, Qt::LocalTime).offsetFromUtc();
    QCOMPARE(offset, isWest() ? -5 * 3600 : 0);
}

void tst_DynamicQr::fieldCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("serialized");
    QTest::newRow("empty-text") << QString() << true << QString() << QString();
    QTest::newRow("bar-only") << QStringLiteral("|") << true << lengthWarning(1) << QString();
    QTest::newRow("twelve") << sample() << false << QString() << sample();
    QTest::newRow("twelve-trailing-bar") << sample() + "|" << false << QString() << sample();
    QTest::newRow("twelve-two-bars") << sample() + "||" << true << lengthWarning(13) << sample() + "|";
    for (int n : {2, 11, 13, 16, 19}) {
        QStringList f;
        for (int i = 0; i < n; ++i)
            f << QString::number(i);
        QTest::addRow("count-%d", n) << f.join('|') << true << lengthWarning(n) << f.join('|');
    }
}

void tst_DynamicQr::fieldCount()
{
    QFETCH(QString, text);
    QFETCH(bool, empty);
    QFETCH(QString, warning);
    QFETCH(QString, serialized);
    LogCapture log;
    const DynamicQr t(text);
    QCOMPARE(t.isEmpty(), empty);
    QCOMPARE(t.getQrType(), QStringLiteral("DynamicQr"));
    QCOMPARE(t.toSerialized(), serialized);
    QCOMPARE(log.texts(), warning.isEmpty() ? QStringList() : QStringList{warning});
    if (empty) {
        QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
        QVERIFY(t.validityStartDateIsNull());
        QCOMPARE(t.remainingSec(), 0);
    }
}

void tst_DynamicQr::scannedFields()
{
    const DynamicQr t(sample());
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.ticketType(), QStringLiteral("DYNAMIC"));
    QCOMPARE(t.userId(), 1234);
    QCOMPARE(t.deviceUuid(), QStringLiteral("AB"));
    QCOMPARE(t.issueTimestamp(), 1700000000);
    QCOMPARE(t.issueDateTime(), QDateTime(QDate(2023, 11, 14), QTime(22, 13, 20), Qt::UTC));
    QCOMPARE(t.issueDateTime().timeSpec(), Qt::UTC);
    QCOMPARE(t.id(), 42);
    QCOMPARE(t.fareProductId(), 41);
    QCOMPARE(t.passengerTypeId(), 2);
    QVERIFY(!t.validityStartDateIsNull());
    QCOMPARE(t.validityStartDate().toSecsSinceEpoch(), 1700003600);
    QCOMPARE(t.validityStartDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(t.lifeSpan(), 7200);
    QCOMPARE(t.carrierId(), 7);
    QCOMPARE(t.tickInterval(), 30);
    QCOMPARE(t.tickCount(), 120);
    // The text has no field for these.
    QCOMPARE(t.axisId(), 0);
    QCOMPARE(t.routeExecutionId(), 0);
}

void tst_DynamicQr::minusOneValidityStartEmptiesTicket()
{
    LogCapture log;
    const DynamicQr t(withFields({{7, QStringLiteral("-1")}}));
    QVERIFY(t.isEmpty());
    QVERIFY(log.texts().isEmpty());
    QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
    QVERIFY(t.validityStartDateIsNull());
    QVERIFY(t.validityStartDate().isNull());
    QCOMPARE(t.remainingSec(), 0);
    QCOMPARE(t.uid(), QStringLiteral("000-000-00000000-000-0000000"));
    // Nothing else is stored.
    QCOMPARE(t.ticketType(), QString());
    QCOMPARE(t.userId(), 0);
    QCOMPARE(t.id(), 0);
    QCOMPARE(t.lifeSpan(), 0);
    QCOMPARE(t.tickCount(), 0);
    const QJsonObject actual = t.toJson();
    QVERIFY2(actual == zeroJson(), qPrintable(pretty(actual)));
}

void tst_DynamicQr::validityStart_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("startSecs");
    QTest::newRow("zero") << QStringLiteral("0") << qint64(0);
    // A -1 written as an unsigned number does not fit a signed field and reads 0.
    QTest::newRow("minus-one-unsigned") << QStringLiteral("4294967295") << qint64(0);
    QTest::newRow("letters") << QStringLiteral("abc") << qint64(0);
    QTest::newRow("minus-two") << QStringLiteral("-2") << qint64(4294967294);
    QTest::newRow("int-max") << QStringLiteral("2147483647") << qint64(INT_MAX);
}

void tst_DynamicQr::validityStart()
{
    QFETCH(QString, field);
    QFETCH(qint64, startSecs);
    const DynamicQr t(withFields({{7, field}}));
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.validityStartDate().toSecsSinceEpoch(), startSecs);
    QCOMPARE(t.validityStartDate().timeSpec(), Qt::LocalTime);
}

void tst_DynamicQr::onlyBars()
{
    const DynamicQr t(QString(12, QLatin1Char('|')));
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.toSerialized(), QString(11, QLatin1Char('|')));
    QCOMPARE(t.ticketType(), QString());
    QCOMPARE(t.deviceUuid(), QString());
    QCOMPARE(t.userId(), 0);
    QCOMPARE(t.id(), 0);
    QCOMPARE(t.lifeSpan(), 0);
    QCOMPARE(t.tickInterval(), 0);
    QCOMPARE(t.tickCount(), 0);
    QVERIFY(!t.validityStartDateIsNull());
    QCOMPARE(t.validityStartDate().toSecsSinceEpoch(), 0);
    QCOMPARE(t.remainingSec(), 0);
}

void tst_DynamicQr::unsignedFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("dumped");
    QTest::newRow("seven") << QStringLiteral("7") << 7 << QStringLiteral("7");
    QTest::newRow("minus-five") << QStringLiteral("-5") << 0 << QStringLiteral("0");
    QTest::newRow("minus-zero") << QStringLiteral("-0") << 0 << QStringLiteral("0");
    QTest::newRow("letters") << QStringLiteral("abc") << 0 << QStringLiteral("0");
    QTest::newRow("int-max") << QStringLiteral("2147483647") << INT_MAX << QStringLiteral("2147483647");
    // Beyond the getters' int the value holds at INT_MAX instead of wrapping negative.
    QTest::newRow("above-int-max") << QStringLiteral("2147483648") << INT_MAX << QStringLiteral("2147483648");
    QTest::newRow("uint-max") << QStringLiteral("4294967295") << INT_MAX << QStringLiteral("4294967295");
    QTest::newRow("above-uint-max") << QStringLiteral("4294967296") << 0 << QStringLiteral("0");
}

void tst_DynamicQr::unsignedFields()
{
    QFETCH(QString, field);
    QFETCH(int, expected);
    QFETCH(QString, dumped);
    const DynamicQr t(withFields({{10, field}, {11, field}}));
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.tickInterval(), expected);
    QCOMPARE(t.tickCount(), expected);
    QCOMPARE(t.toJson().value(QLatin1String("tickInterval")).toInt(), expected);
    const QString dump = t.toString();
    QVERIFY2(dump.contains("\nTick interval sec   : " + dumped + "\nTick count          : " + dumped + "\n"),
             qPrintable(dump));
}

void tst_DynamicQr::uid_data()
{
    QTest::addColumn<QString>("carrier");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("ticket");
    QTest::addColumn<QString>("expected");
    QTest::newRow("example") << "7" << "1234" << "AB" << "42" << "007-000-00001234-0AB-0000042";
    QTest::newRow("zeros") << "0" << "0" << "0" << "0" << "000-000-00000000-000-0000000";
    QTest::newRow("minus-one") << "-1" << "-1" << "-1" << "-1" << "-01-000--0000001-0-1--000001";
    QTest::newRow("int-min") << "-2147483648" << "-2147483648" << "X" << "-2147483648"
                             << "-2147483648-000--2147483648-00X--2147483648";
    QTest::newRow("int-max") << "2147483647" << "2147483647" << "X" << "2147483647"
                             << "2147483647-000-2147483647-00X-2147483647";
    QTest::newRow("unparsable") << "abc" << "" << "" << "1e3" << "000-000-00000000-000-0000000";
    QTest::newRow("long-device") << "7" << "1234" << "ABCDEFGHIJ" << "42" << "007-000-00001234-ABCDEFGHIJ-0000042";
    QTest::newRow("one-char-device") << "7" << "1234" << "7" << "42" << "007-000-00001234-007-0000042";
    QTest::newRow("placeholder-device") << "7" << "1234" << "X%5" << "42" << "007-000-00001234-X%5-0000042";
    QTest::newRow("all-placeholders") << "7" << "1234" << "%1%2%3%4%5" << "42"
                                      << "007-000-00001234-%1%2%3%4%5-0000042";
}

void tst_DynamicQr::uid()
{
    QFETCH(QString, carrier);
    QFETCH(QString, user);
    QFETCH(QString, device);
    QFETCH(QString, ticket);
    QFETCH(QString, expected);
    const DynamicQr t(withFields({{9, carrier}, {1, user}, {2, device}, {4, ticket}}));
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.uid(), expected);
    QVERIFY(t.toString().endsWith("\nTicket UUID         : " + expected + "\n"));
}

void tst_DynamicQr::remainingSec_data()
{
    // "now+N" / "now-N" are seconds from the current second, resolved when the row runs.
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("lifeSpan");
    QTest::addColumn<int>("atLeast");
    QTest::addColumn<int>("atMost");
    QTest::newRow("ahead-100-life-60") << "now+100" << "60" << 159 << 160;
    QTest::newRow("running") << "now-60" << "3600" << 3539 << 3540;
    QTest::newRow("ends-this-second") << "now-60" << "60" << 0 << 0;
    QTest::newRow("ended") << "now-100" << "60" << 0 << 0;
    QTest::newRow("epoch-start") << "0" << "60" << 0 << 0;
    QTest::newRow("life-zero-ahead") << "now+100" << "0" << 0 << 0;
    QTest::newRow("life-negative-ahead") << "now+100" << "-5" << 0 << 0;
    QTest::newRow("life-unparsable") << "now+100" << "abc" << 0 << 0;
    QTest::newRow("life-int-max") << "now" << "2147483647" << INT_MAX - 1 << INT_MAX;
    // The start reads unsigned: -2 is in 2106, further away than INT_MAX seconds.
    QTest::newRow("start-2106-life-int-max") << "-2" << "2147483647" << INT_MAX << INT_MAX;
    QTest::newRow("start-2106-life-one") << "-2" << "1" << INT_MAX << INT_MAX;
    QTest::newRow("start-int-max-life-int-max") << "2147483647" << "2147483647" << INT_MAX << INT_MAX;
}

void tst_DynamicQr::remainingSec()
{
    QFETCH(QString, start);
    QFETCH(QString, lifeSpan);
    QFETCH(int, atLeast);
    QFETCH(int, atMost);
    if (start.startsWith(QLatin1String("now"))) {
        const qint64 offset = start.mid(3).toLongLong();
        start = QString::number(QDateTime::currentSecsSinceEpoch() + offset);
    }
    const DynamicQr t(withFields({{7, start}, {8, lifeSpan}}));
    QVERIFY(!t.isEmpty());
    const int left = t.remainingSec();
    QVERIFY2(left >= atLeast && left <= atMost, qPrintable(QString::number(left)));
}

void tst_DynamicQr::dump()
{
    const QString expected = QStringLiteral(
        "\n"
        "Ticket type         : DYNAMIC\n"
        "User id             : 1234\n"
        "Device id           : AB\n"
        "Issue date time     : 2023-11-14T22:13:20Z\n"
        "Issued ticket id    : 42\n"
        "Fare product id     : 41\n"
        "Passenger type id   : 2\n"
        "Validity start date : %1\n"
        "Life span           : 7200\n"
        "Carrier id          : 7\n"
        "Tick interval sec   : 30\n"
        "Tick count          : 120\n"
        "Ticket UUID         : 007-000-00001234-0AB-0000042\n")
        .arg(isWest() ? QStringLiteral("2023-11-14T18:13:20") : QStringLiteral("2023-11-14T23:13:20"));
    QCOMPARE(DynamicQr(sample()).toString(), expected);
}

void tst_DynamicQr::dumpKeepsPlaceholdersAsWritten()
{
    // Filled place by place, "%13" in the first line would take the uid and "%9" the life span.
    const DynamicQr t(withFields({{0, QStringLiteral("%13")}, {2, QStringLiteral("%9%2")}}));
    const QString expected = QStringLiteral(
        "\n"
        "Ticket type         : %13\n"
        "User id             : 1234\n"
        "Device id           : %9%2\n"
        "Issue date time     : 2023-11-14T22:13:20Z\n"
        "Issued ticket id    : 42\n"
        "Fare product id     : 41\n"
        "Passenger type id   : 2\n"
        "Validity start date : ")
        + (isWest() ? QStringLiteral("2023-11-14T18:13:20") : QStringLiteral("2023-11-14T23:13:20"))
        + QStringLiteral(
            "\n"
            "Life span           : 7200\n"
            "Carrier id          : 7\n"
            "Tick interval sec   : 30\n"
            "Tick count          : 120\n"
            "Ticket UUID         : 007-000-00001234-%9%2-0000042\n");
    QCOMPARE(t.toString(), expected);
}

void tst_DynamicQr::toJsonFromText()
{
    const bool west = isWest();
    const QJsonObject expected{
        {"axisId", 0},
        {"fareProductId", 41},
        {"issuedTicketId", 42},
        {"issuerDeviceId", "AB"},
        {"issuerId", 1234},
        {"lifeSpan", 7200},
        {"passengerTypeId", 2},
        {"routeExecutionId", 0},
        {"template", "dynamicqr"},
        {"type", "DYNAMIC"},
        {"carrierId", 7},
        {"tickCount", 120},
        {"tickInterval", 30},
        {"issueDateTime", west ? "2023/11/14 17:13:20" : "2023/11/14 22:13:20"},
        {"validityStartDate", west ? "2023/11/14 18:13:20" : "2023/11/14 23:13:20"},
    };
    const QJsonObject actual = DynamicQr(sample()).toJson();
    QVERIFY2(actual == expected, qPrintable(pretty(actual) + "\nexpected:\n" + pretty(expected)));
    QCOMPARE(DynamicQr::MyTemplate, QStringLiteral("dynamicqr"));
}

void tst_DynamicQr::fromJson()
{
    const DynamicQr t(QJsonObject{{"ticketId", 42}});
    QVERIFY(!t.isEmpty());
    QCOMPARE(t.getQrType(), QStringLiteral("DynamicQr"));
    QCOMPARE(t.toSerialized(), QString());
    QCOMPARE(t.id(), 42);
    QVERIFY(t.validityStartDateIsNull());
    QCOMPARE(t.remainingSec(), 0);
    QCOMPARE(t.uid(), QStringLiteral("000-000-00000000-000-0000042"));
    // JSON numbers stand empty in the dump.
    const QString expected = QStringLiteral(
        "\n"
        "Ticket type         : \n"
        "User id             : \n"
        "Device id           : \n"
        "Issue date time     : 1970-01-01T00:00:00Z\n"
        "Issued ticket id    : \n"
        "Fare product id     : \n"
        "Passenger type id   : \n"
        "Validity start date : \n"
        "Life span           : \n"
        "Carrier id          : \n"
        "Tick interval sec   : \n"
        "Tick count          : \n"
        "Ticket UUID         : 000-000-00000000-000-0000042\n");
    QCOMPARE(t.toString(), expected);

    const DynamicQr all(QJsonObject{{"routeId", 4}, {"driverId", 8}, {"deviceUuid", "D"},
                                    {"ticketId", 9}, {"lifeSpan", 60}, {"carrierId", 3},
                                    {"validityStartDate", 0}, {"tickCount", 5}});
    QCOMPARE(all.axisId(), 4);
    QCOMPARE(all.userId(), 8);
    QCOMPARE(all.deviceUuid(), QStringLiteral("D"));
    QCOMPARE(all.lifeSpan(), 60);
    QCOMPARE(all.carrierId(), 3);
    QVERIFY(all.validityStartDateIsNull());
    QCOMPARE(all.remainingSec(), 0);
    QCOMPARE(all.tickCount(), 0);
    QCOMPARE(all.uid(), QStringLiteral("003-000-00000008-00D-0000009"));
}

void tst_DynamicQr::emptyJsonObject()
{
    const DynamicQr t{QJsonObject()};
    QVERIFY(t.isEmpty());
    QCOMPARE(t.toSerialized(), QString());
    QCOMPARE(t.toString(), QStringLiteral("Empty ticket."));
    const QJsonObject actual = t.toJson();
    QVERIFY2(actual == zeroJson(), qPrintable(pretty(actual)));
}

QTEST_GUILESS_MAIN(tst_DynamicQr)
#include "tst_dynamicqr.moc"
