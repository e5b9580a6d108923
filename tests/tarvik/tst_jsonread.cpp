#include "tarvik/jsonread.h"

#include <QtTest>

using namespace tarvik::json;

class tst_JsonRead : public QObject
{
    Q_OBJECT
private slots:
    void readingRules_data();
    void readingRules();
    void dates_data();
    void dates();
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
    const QJsonObject o = json.isEmpty() ? QJsonObject() : QJsonDocument::fromJson("{\"v\":" + json + "}").object();
    const QJsonValue v = o.value(QLatin1String("v"));
    QTEST(readInt(o, QLatin1String("v")), "asInt");
    QTEST(toIntFromDigits(v), "asIntFromDigits");
    QTEST(readBool(o, QLatin1String("v")), "asBool");
    QTEST(toBoolOrInt(v), "asBoolOrInt");
    QTEST(readString(o, QLatin1String("v")), "asString");
    QVERIFY(readObject(o, QLatin1String("v")).isEmpty());
}

// Local wall-clock readings stay the same in any zone; epoch milliseconds are an instant in UTC.
void tst_JsonRead::dates_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("expected"); // ISO text, empty when invalid
    QTest::addColumn<int>("westOffset");   // hours from UTC in the zone west of UTC
    const QJsonValue number(1.0);
    QTest::newRow("local") << "local" << QJsonValue("31/12/2026 23:59:58") << "2026-12-31T23:59:58" << -5;
    QTest::newRow("local-iso-form") << "local" << QJsonValue("2026-12-31 23:59:58") << "" << 0;
    QTest::newRow("local-number") << "local" << number << "" << 0;
    // The OBU's trailing Z is a literal letter: the reading is local wall-clock time.
    QTest::newRow("obu-z-is-local") << "obu" << QJsonValue("2026-07-01T08:30:00Z") << "2026-07-01T08:30:00" << -4;
    QTest::newRow("obu-without-z") << "obu" << QJsonValue("2026-07-01T08:30:00") << "" << 0;
    QTest::newRow("obu-blank-for-t") << "obu" << QJsonValue("2026-07-01 08:30:00Z") << "" << 0;
    QTest::newRow("obu-month-13") << "obu" << QJsonValue("2026-13-01T08:30:00Z") << "" << 0;
    QTest::newRow("obu-number") << "obu" << number << "" << 0;
    QTest::newRow("epoch-ms") << "epoch" << QJsonValue(1000.0) << "1970-01-01T00:00:01Z" << 0;
    QTest::newRow("epoch-text") << "epoch" << QJsonValue("1000") << "" << 0;
    QTest::newRow("format") << "format" << QJsonValue("2024-01-15T10:20:30") << "2024-01-15T10:20:30" << -5;
    QTest::newRow("format-blank-for-t") << "format" << QJsonValue("2024-01-15 10:20:30") << "" << 0;
    QTest::newRow("format-utc-suffix") << "format" << QJsonValue("2024-01-15T10:20:30Z") << "" << 0;
    QTest::newRow("format-no-seconds") << "format" << QJsonValue("2024-01-15T10:20") << "" << 0;
    QTest::newRow("format-number") << "format" << number << "" << 0;
    QTest::newRow("format-null") << "format" << QJsonValue(QJsonValue::Null) << "" << 0;
}

void tst_JsonRead::dates()
{
    QFETCH(QString, reader);
    QFETCH(QJsonValue, value);
    QFETCH(QString, expected);
    QFETCH(int, westOffset);
    const QDateTime t = reader == "local" ? toLocalDateTime(value)
                        : reader == "obu" ? toLocalDateTimeZ(value)
                        : reader == "epoch" ? toUtcFromEpochMs(value)
                                            : toLocalDateTime(value, QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"));
    QCOMPARE(t.isValid(), !expected.isEmpty());
    if (t.isValid()) {
        QCOMPARE(t.toString(Qt::ISODate), expected);
        QCOMPARE(t.offsetFromUtc(), qgetenv("TZ") == "America/New_York" ? westOffset * 3600 : 0);
    }
}

QTEST_GUILESS_MAIN(tst_JsonRead)
#include "tst_jsonread.moc"
