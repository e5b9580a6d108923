#include "db/scblacklistentry.h"

#include <QMetaEnum>
#include <QtTest>

namespace {

QJsonObject element(const QByteArray &json)
{
    return QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject();
}

bool westOfUtc()
{
    return qgetenv("TZ") == "America/New_York";
}

} // namespace

class tst_SCBlacklistEntry : public QObject
{
    Q_OBJECT
private slots:
    void readsKeys_data();
    void readsKeys();
    void keepsBlockReasonAsItComes_data();
    void keepsBlockReasonAsItComes();
    void readsLogDateInLocalTime_data();
    void readsLogDateInLocalTime();
    void dumpsEntry();
    void toJsonKeepsUnknownKeys();
};

void tst_SCBlacklistEntry::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("uid");
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<int>("cardStatus");
    QTest::addColumn<int>("userId");

    QTest::newRow("empty") << QByteArray("{}") << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("element-number") << QByteArray("1") << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("element-text") << QByteArray("\"x\"") << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("element-null") << QByteArray("null") << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("all-null")
        << QByteArray(R"({"id":null,"smartCardBlacklistUid":null,"logDate":null,"deviceId":null,)"
                      R"("status":null,"reason":null,"userId":null})")
        << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("full")
        << QByteArray(R"({"id":8,"smartCardBlacklistUid":"04A1B2","deviceId":33,"status":2,"userId":5})")
        << 8 << QString("04A1B2") << 33 << 2 << 5;
    QTest::newRow("ints-as-text") << QByteArray(R"({"id":"8","deviceId":"33","status":"2","userId":"5"})")
                                  << 0 << QString() << 0 << 0 << 0;
    QTest::newRow("uid-number") << QByteArray(R"({"smartCardBlacklistUid":1234})") << 0 << QString() << 0 << 0
                                << 0;
}

void tst_SCBlacklistEntry::readsKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(QString, uid);
    QFETCH(int, deviceId);
    QFETCH(int, cardStatus);
    QFETCH(int, userId);

    const SCBlacklistEntry e(element(json));
    QCOMPARE(e.id(), id);
    QCOMPARE(e.uid(), uid);
    QCOMPARE(e.deviceId(), deviceId);
    QCOMPARE(e.cardStatus(), cardStatus);
    QCOMPARE(e.userId(), userId);
}

void tst_SCBlacklistEntry::keepsBlockReasonAsItComes_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("key"); // enumerator name, empty for a code outside the list

    QTest::newRow("stolen") << QByteArray(R"({"reason":2})") << 2 << QByteArray("Stolen");
    QTest::newRow("monitored") << QByteArray(R"({"reason":6})") << 6 << QByteArray("Monitored");
    QTest::newRow("damaged") << QByteArray(R"({"reason":13})") << 13 << QByteArray("Damaged");
    QTest::newRow("unlisted-7") << QByteArray(R"({"reason":7})") << 7 << QByteArray();
    QTest::newRow("negative") << QByteArray(R"({"reason":-4})") << -4 << QByteArray();
    QTest::newRow("int-max") << QByteArray(R"({"reason":2147483647})") << INT_MAX << QByteArray();
    QTest::newRow("absent") << QByteArray("{}") << 0 << QByteArray();
    QTest::newRow("text") << QByteArray(R"({"reason":"3"})") << 0 << QByteArray();
    QTest::newRow("fraction") << QByteArray(R"({"reason":3.5})") << 0 << QByteArray();
}

void tst_SCBlacklistEntry::keepsBlockReasonAsItComes()
{
    QFETCH(QByteArray, json);
    QFETCH(int, expected);
    QFETCH(QByteArray, key);

    const SCBlacklistEntry e(element(json));
    QCOMPARE(static_cast<int>(e.blockReason()), expected);
    const char *name = QMetaEnum::fromType<SCBlacklistEntry::BlockReason>().valueToKey(e.blockReason());
    QCOMPARE(QByteArray(name), key);
    QCOMPARE(e.toString().split(QLatin1Char('\n')).at(4),
             QStringLiteral("| Block Reason : ") + QString::number(expected));
}

void tst_SCBlacklistEntry::readsLogDateInLocalTime_data()
{
    QTest::addColumn<QJsonValue>("logDate");
    QTest::addColumn<QString>("dumped"); // the dump's date, empty when the date is invalid

    QTest::newRow("with-t") << QJsonValue(QStringLiteral("2024-01-15T10:20:30"))
                            << QStringLiteral("2024-01-15 10:20:30");
    QTest::newRow("with-blank") << QJsonValue(QStringLiteral("2024-01-15 10:20:30")) << QString();
    QTest::newRow("other-format") << QJsonValue(QStringLiteral("15/01/2024 10:20:30")) << QString();
    QTest::newRow("utc-suffix") << QJsonValue(QStringLiteral("2024-01-15T10:20:30Z")) << QString();
    QTest::newRow("bad-month") << QJsonValue(QStringLiteral("2024-13-15T10:20:30")) << QString();
    QTest::newRow("number") << QJsonValue(1705314030.0) << QString();
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QString();
}

void tst_SCBlacklistEntry::readsLogDateInLocalTime()
{
    QFETCH(QJsonValue, logDate);
    QFETCH(QString, dumped);

    const SCBlacklistEntry e(QJsonObject{{QStringLiteral("logDate"), logDate}});
    QCOMPARE(e.toString().split(QLatin1Char('\n')).at(5), QStringLiteral("| Block Date   : ") + dumped);
    if (dumped.isEmpty()) {
        QVERIFY(!e.timestamp().isValid());
        return;
    }
    QCOMPARE(e.timestamp().timeSpec(), Qt::LocalTime);
    // Local time: the same wall clock in every zone, a different instant west of UTC.
    const QDateTime utc(QDate(2024, 1, 15), QTime(10, 20, 30), Qt::UTC);
    QCOMPARE(e.timestamp().toMSecsSinceEpoch() - utc.toMSecsSinceEpoch(), westOfUtc() ? 5 * 3600 * 1000 : 0);
}

void tst_SCBlacklistEntry::dumpsEntry()
{
    const SCBlacklistEntry e(element(R"({"id":8,"smartCardBlacklistUid":"04A1B2","status":3,"reason":3,)"
                                     R"("logDate":"2023-07-01T23:59:59","deviceId":33,"userId":5})"));
    QCOMPARE(e.toString(), QStringLiteral("+--- BLACKLIST ENTRY --------------------\n"
                                          "| Entry ID     : 8\n"
                                          "| Card UID     : 04A1B2\n"
                                          "| Card Status  : 3\n"
                                          "| Block Reason : 3\n"
                                          "| Block Date   : 2023-07-01 23:59:59\n"
                                          "| Block Device : 33\n"
                                          "| Block User   : 5\n"
                                          "+-----------------------------------------"));
    QCOMPARE(e.blockReason(), SCBlacklistEntry::Lost);
}

void tst_SCBlacklistEntry::toJsonKeepsUnknownKeys()
{
    const QJsonObject received = element(R"({"id":8,"comment":"found on bus 12","reason":99})");
    SCBlacklistEntry e(received);
    QCOMPARE(e.toJson(), received);
    QVERIFY(SCBlacklistEntry().toJson().isEmpty());
    e.fromJson(element(R"({"reason":9})"));
    QCOMPARE(e.blockReason(), SCBlacklistEntry::Misuse);
}

QTEST_GUILESS_MAIN(tst_SCBlacklistEntry)
#include "tst_scblacklistentry.moc"
