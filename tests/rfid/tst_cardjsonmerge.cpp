#include "rfid/cardjsonmerge.h"

#include "support/jsonpath.h"

#include <QJsonArray>
#include <QtTest>

namespace {

QJsonObject object(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

} // namespace

class tst_CardJsonMerge : public QObject
{
    Q_OBJECT
private slots:
    void merged_data();
    void merged();
    void putRecord_data();
    void putRecord();
    void recordOf_data();
    void recordOf();
};

void tst_CardJsonMerge::merged_data()
{
    QTest::addColumn<QJsonObject>("read");
    QTest::addColumn<QJsonObject>("asRead");
    QTest::addColumn<QJsonObject>("model");
    QTest::addColumn<QJsonObject>("expected");

    QTest::newRow("unchanged-keeps-unknown")
        << object(R"({"a": 1, "x": "kept"})") << object(R"({"a": 1})") << object(R"({"a": 1})")
        << object(R"({"a": 1, "x": "kept"})");
    QTest::newRow("changed-value")
        << object(R"({"a": 1, "x": "kept"})") << object(R"({"a": 1})") << object(R"({"a": 2})")
        << object(R"({"a": 2, "x": "kept"})");
    QTest::newRow("unchanged-text-number-stays-text")
        << object(R"({"a": "7", "b": 1})") << object(R"({"a": 0, "b": 1})") << object(R"({"a": 0, "b": 2})")
        << object(R"({"a": "7", "b": 2})");
    QTest::newRow("unchanged-unparsed-time-stays")
        << object(R"({"t": "31/12/2023"})") << object(R"({"t": "1990-01-01T00:00:00Z"})")
        << object(R"({"t": "1990-01-01T00:00:00Z"})") << object(R"({"t": "31/12/2023"})");
    QTest::newRow("missing-key-added")
        << object(R"({"x": 1})") << object(R"({"a": 0})") << object(R"({"a": 0})")
        << object(R"({"x": 1, "a": 0})");
    QTest::newRow("not-read-writes-every-key")
        << object(R"({"a": 5, "b": 6, "x": 1})") << QJsonObject() << object(R"({"a": 0, "b": 6})")
        << object(R"({"a": 0, "b": 6, "x": 1})");
    QTest::newRow("nested-keeps-unknown")
        << object(R"({"f": {"p": true, "q": false, "extra": 3}})") << object(R"({"f": {"p": true, "q": false}})")
        << object(R"({"f": {"p": true, "q": true}})") << object(R"({"f": {"p": true, "q": true, "extra": 3}})");
    QTest::newRow("nested-read-not-object")
        << object(R"({"f": 4})") << object(R"({"f": {"p": false}})") << object(R"({"f": {"p": true}})")
        << object(R"({"f": {"p": true}})");
}

void tst_CardJsonMerge::merged()
{
    QFETCH(QJsonObject, read);
    QFETCH(QJsonObject, asRead);
    QFETCH(QJsonObject, model);
    QFETCH(QJsonObject, expected);
    const QJsonObject actual = CardJsonMerge::merged(read, asRead, model);
    QVERIFY2(actual == expected, JsonPath::describeMismatch(actual, expected).constData());
}

void tst_CardJsonMerge::putRecord_data()
{
    QTest::addColumn<QJsonObject>("data");
    QTest::addColumn<QJsonObject>("model");
    QTest::addColumn<QJsonObject>("asRead");
    QTest::addColumn<QJsonObject>("expected");

    const QJsonObject zero = object(R"({"a": 0})");
    const QJsonObject one = object(R"({"a": 1})");

    QTest::newRow("object-unchanged") << object(R"({"r": {"a": 0, "x": 1}})") << zero << zero
                                      << object(R"({"r": {"a": 0, "x": 1}})");
    QTest::newRow("object-changed") << object(R"({"r": {"a": 0, "x": 1}})") << one << zero
                                    << object(R"({"r": {"a": 1, "x": 1}})");
    QTest::newRow("array-changed-keeps-shape-and-rest")
        << object(R"({"r": [{"a": 0, "x": 1}, {"a": 9}]})") << one << zero
        << object(R"({"r": [{"a": 1, "x": 1}, {"a": 9}]})");
    QTest::newRow("empty-array-unchanged") << object(R"({"r": []})") << zero << zero << object(R"({"r": []})");
    QTest::newRow("empty-array-changed") << object(R"({"r": []})") << one << zero << object(R"({"r": [{"a": 1}]})");
    QTest::newRow("array-of-other-changed") << object(R"({"r": [5, 6]})") << one << zero
                                            << object(R"({"r": [{"a": 1}, 6]})");
    QTest::newRow("absent-unchanged-stays-absent") << object(R"({"o": 1})") << zero << zero << object(R"({"o": 1})");
    QTest::newRow("absent-changed-added") << object(R"({"o": 1})") << one << zero << object(R"({"o": 1, "r": {"a": 1}})");
    QTest::newRow("null-unchanged-stays-null") << object(R"({"r": null})") << zero << zero << object(R"({"r": null})");
    QTest::newRow("null-changed-replaced") << object(R"({"r": null})") << one << zero << object(R"({"r": {"a": 1}})");
    QTest::newRow("not-read-blank-stays") << object(R"({"r": {"a": 7}})") << zero << QJsonObject()
                                          << object(R"({"r": {"a": 7}})");
    QTest::newRow("not-read-set-overwrites") << object(R"({"r": {"a": 7, "x": 2}})") << one << QJsonObject()
                                             << object(R"({"r": {"a": 1, "x": 2}})");
}

void tst_CardJsonMerge::putRecord()
{
    QFETCH(QJsonObject, data);
    QFETCH(QJsonObject, model);
    QFETCH(QJsonObject, asRead);
    QFETCH(QJsonObject, expected);
    CardJsonMerge::putRecord(data, QLatin1String("r"), model, asRead, object(R"({"a": 0})"));
    QVERIFY2(data == expected, JsonPath::describeMismatch(data, expected).constData());
}

void tst_CardJsonMerge::recordOf_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<bool>("expectedHas");
    QTest::addColumn<QJsonObject>("expected");

    QTest::newRow("object") << QJsonValue(object(R"({"a": 1})")) << true << object(R"({"a": 1})");
    QTest::newRow("array-first") << QJsonValue(QJsonArray{object(R"({"a": 1})"), object(R"({"a": 2})")}) << true
                                 << object(R"({"a": 1})");
    QTest::newRow("empty-array") << QJsonValue(QJsonArray()) << false << QJsonObject();
    QTest::newRow("array-of-number") << QJsonValue(QJsonArray{3}) << false << QJsonObject();
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << false << QJsonObject();
    QTest::newRow("absent") << QJsonValue(QJsonValue::Undefined) << false << QJsonObject();
    QTest::newRow("text") << QJsonValue(QStringLiteral("{}")) << false << QJsonObject();
}

void tst_CardJsonMerge::recordOf()
{
    QFETCH(QJsonValue, value);
    QFETCH(bool, expectedHas);
    QFETCH(QJsonObject, expected);
    QCOMPARE(CardJsonMerge::hasRecord(value), expectedHas);
    QCOMPARE(CardJsonMerge::recordOf(value), expected);
}

QTEST_GUILESS_MAIN(tst_CardJsonMerge)
#include "tst_cardjsonmerge.moc"
