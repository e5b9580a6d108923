#include "tarvik/jsonread.h"

#include <QtTest>

using namespace tarvik::json;

class tst_JsonRead : public QObject
{
    Q_OBJECT
private slots:
    void readingRules_data();
    void readingRules();
    void dates();
    void localDateTimeInFormat_data();
    void localDateTimeInFormat();
};

void tst_JsonRead::readingRules_data()
{
    QTest::addColumn<QByteArray>("json"); // the value under "v"
    QTest::addColumn<int>("asInt");
    QTest::addColumn<int>("asIntFromDigits");
    QTest::addColumn<bool>("asBool");
    QTest::addColumn<bool>("asBoolOrInt");
    QTest::addColumn<QString>("asString");
    QTest::newRow("missing") << QByteArray() << 0 << 0 << false << false << QString();
    QTest::newRow("whole") << QByteArray("12") << 12 << 0 << false << true << QString();
    QTest::newRow("fraction") << QByteArray("12.5") << 0 << 0 << false << false << QString();
    QTest::newRow("int-max") << QByteArray("2147483647") << INT_MAX << 0 << false << true << QString();
    QTest::newRow("above-int") << QByteArray("2147483648") << 0 << 0 << false << true << QString();
    QTest::newRow("digits-text") << QByteArray("\"12\"") << 0 << 12 << false << false << QString("12");
    QTest::newRow("digits-letter") << QByteArray("\"17a\"") << 0 << 0 << false << false << QString("17a");
    QTest::newRow("huge-digits") << QByteArray("\"99999999999\"") << 0 << 0 << false << false
                                 << QString("99999999999");
    QTest::newRow("true") << QByteArray("true") << 0 << 0 << true << true << QString();
}

void tst_JsonRead::readingRules()
{
    QFETCH(QByteArray, json);
    QFETCH(int, asInt);
    QFETCH(int, asIntFromDigits);
    QFETCH(bool, asBool);
    QFETCH(bool, asBoolOrInt);
    QFETCH(QString, asString);
    const QJsonObject o = json.isEmpty() ? QJsonObject()
                                         : QJsonDocument::fromJson("{\"v\":" + json + "}").object();
    const QJsonValue v = o.value(QLatin1String("v"));
    QCOMPARE(readInt(o, QLatin1String("v")), asInt);
    QCOMPARE(toIntFromDigits(v), asIntFromDigits);
    QCOMPARE(readBool(o, QLatin1String("v")), asBool);
    QCOMPARE(toBoolOrInt(v), asBoolOrInt);
    QCOMPARE(readString(o, QLatin1String("v")), asString);
    QCOMPARE(readObject(o, QLatin1String("v")).isEmpty(), true);
}

// The named variants some keys use: flags that default to true, coordinates sent as text,
// epoch milliseconds converted the way a QVariant converts them.
void tst_JsonRead::dates()
{
    // Local time: the same wall-clock reading in any zone.
    const QDateTime local = toLocalDateTime(QJsonValue(QStringLiteral("31/12/2026 23:59:58")));
    QVERIFY(local.isValid());
    QCOMPARE(local.timeSpec(), Qt::LocalTime);
    QCOMPARE(local.toString(Qt::ISODate), QStringLiteral("2026-12-31T23:59:58"));
    QVERIFY(!toLocalDateTime(QJsonValue(QStringLiteral("2026-12-31 23:59:58"))).isValid());
    QVERIFY(!toLocalDateTime(QJsonValue(1.0)).isValid());

    // The OBU's trailing Z is a literal letter: the reading is local wall-clock time.
    const QDateTime obu = toLocalDateTimeZ(QJsonValue(QStringLiteral("2026-07-01T08:30:00Z")));
    QVERIFY(obu.isValid());
    QCOMPARE(obu.timeSpec(), Qt::LocalTime);
    QCOMPARE(obu.toString(Qt::ISODate), QStringLiteral("2026-07-01T08:30:00"));
    QCOMPARE(obu.toMSecsSinceEpoch(),
             QDateTime(QDate(2026, 7, 1), QTime(8, 30), Qt::LocalTime).toMSecsSinceEpoch());
    QVERIFY(!toLocalDateTimeZ(QJsonValue(QStringLiteral("2026-07-01T08:30:00"))).isValid());
    QVERIFY(!toLocalDateTimeZ(QJsonValue(QStringLiteral("2026-07-01 08:30:00Z"))).isValid());
    QVERIFY(!toLocalDateTimeZ(QJsonValue(QStringLiteral("2026-13-01T08:30:00Z"))).isValid());
    QVERIFY(!toLocalDateTimeZ(QJsonValue(1.0)).isValid());

    const QDateTime utc = toUtcFromEpochMs(QJsonValue(1000.0));
    QCOMPARE(utc.timeSpec(), Qt::UTC);
    QCOMPARE(utc.toMSecsSinceEpoch(), 1000);
    QVERIFY(!toUtcFromEpochMs(QJsonValue(QStringLiteral("1000"))).isValid());

    if (qgetenv("TZ") == "America/New_York") {
        QVERIFY(local.offsetFromUtc() == -5 * 3600);
        QCOMPARE(obu.toSecsSinceEpoch(), qint64(1782909000)); // 12:30 UTC, summer time
    } else {
        QCOMPARE(obu.toSecsSinceEpoch(), qint64(1782894600));
    }
}

void tst_JsonRead::localDateTimeInFormat_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected"); // ISO wall-clock time, empty when invalid
    const QString iso = QStringLiteral("2024-01-15T10:20:30");
    QTest::newRow("with-t") << QJsonValue(iso) << iso;
    QTest::newRow("blank-for-t") << QJsonValue(QStringLiteral("2024-01-15 10:20:30")) << QString();
    QTest::newRow("utc-suffix") << QJsonValue(QStringLiteral("2024-01-15T10:20:30Z")) << QString();
    QTest::newRow("no-seconds") << QJsonValue(QStringLiteral("2024-01-15T10:20")) << QString();
    QTest::newRow("number") << QJsonValue(1.0) << QString();
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << QString();
}

void tst_JsonRead::localDateTimeInFormat()
{
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);
    const QDateTime t = toLocalDateTime(value, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"));
    if (expected.isEmpty()) {
        QVERIFY(!t.isValid());
        return;
    }
    QCOMPARE(t.timeSpec(), Qt::LocalTime);
    QCOMPARE(t.toString(Qt::ISODate), expected);
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(t.offsetFromUtc(), -5 * 3600);
    else
        QCOMPARE(t.offsetFromUtc(), 0);
}

QTEST_GUILESS_MAIN(tst_JsonRead)
#include "tst_jsonread.moc"
