#include "tarvik/cappingrule.h"

#include "core/base64.h"

#include <QtTest>

using namespace tarvik;

namespace {
QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

StopGroup2::Ptr group(int id, const QString &enName)
{
    QJsonObject names{{"en", enName}};
    return StopGroup2::Ptr(new StopGroup2(QJsonObject{
        {"id", id}, {"multiLanguageFieldsMap", QJsonObject{{"name", names}}}}));
}

QString base64(const QByteArray &bytes)
{
    return QString::fromStdString(Base64::encode(bytes.toStdString()));
}
} // namespace

class tst_CappingRule : public QObject
{
    Q_OBJECT
private slots:
    void active_data();
    void active();
    void validIn_data();
    void validIn();
    void snapshotRoundTrip();
    void badSnapshotGivesEmptyRule_data();
    void badSnapshotGivesEmptyRule();
    void datesStayLocal();
    void logText();
};

void tst_CappingRule::active_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("expected");
    QTest::newRow("absent") << QByteArray("{}") << true;
    QTest::newRow("true") << QByteArray(R"({"active": true})") << true;
    QTest::newRow("false") << QByteArray(R"({"active": false})") << false;
    QTest::newRow("text-true") << QByteArray(R"({"active": "true"})") << false;
    QTest::newRow("one") << QByteArray(R"({"active": 1})") << false;
    QTest::newRow("null") << QByteArray(R"({"active": null})") << false;
}

void tst_CappingRule::active()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, expected);
    QCOMPARE(CappingRule::fromJson(parse(json))->active(), expected);
}

void tst_CappingRule::validIn_data()
{
    QTest::addColumn<QList<int>>("stopGroupIds");
    QTest::addColumn<int>("asked");
    QTest::addColumn<bool>("expected");
    QTest::newRow("linked") << QList<int>{3, 7} << 7 << true;
    QTest::newRow("not-linked") << QList<int>{3, 7} << 5 << false;
    QTest::newRow("no-groups") << QList<int>() << 0 << false;
}

void tst_CappingRule::validIn()
{
    QFETCH(QList<int>, stopGroupIds);
    QFETCH(int, asked);
    QFETCH(bool, expected);
    // The rule's own JSON does not count, nor does its active flag.
    const CappingRule::Ptr rule = CappingRule::fromJson(parse(R"({"active": false, "stopGroupId": 5})"));
    StopGroup2::List groups;
    for (int id : qAsConst(stopGroupIds))
        groups << group(id, QString());
    rule->setStopGroups(groups);
    QCOMPARE(rule->validIn(asked), expected);
}

void tst_CappingRule::snapshotRoundTrip()
{
    const QJsonObject json = parse(R"({"id": 4, "productType": "E_PURSE", "thresholdAmount": 500,
        "extra": [1, {"a": null}]})");
    const CappingRule::Ptr rule = CappingRule::fromJson(json);
    rule->setStopGroups({group(3, "A")});
    const CappingRule::Ptr copy = CappingRule::fromSnapshot(rule->snapshot());
    QCOMPARE(copy->toJson(), json);
    QVERIFY(copy->stopGroups().isEmpty());
    // Base64 of the indented document.
    QCOMPARE(QByteArray::fromBase64(rule->snapshot().toLatin1()), QJsonDocument(json).toJson(QJsonDocument::Indented));
}

void tst_CappingRule::badSnapshotGivesEmptyRule_data()
{
    QTest::addColumn<QString>("snapshot");
    QTest::newRow("empty") << QString();
    QTest::newRow("not-base64") << QStringLiteral("not base64 at all!");
    QTest::newRow("non-ascii") << QStringLiteral("\u00e9\u00e9\u00e9\u00e9");
    QTest::newRow("not-json") << base64("hello");
    QTest::newRow("json-array") << base64("[1, 2]");
    QTest::newRow("truncated-json") << base64(R"({"id": 4, "active": fal)");
}

void tst_CappingRule::badSnapshotGivesEmptyRule()
{
    QFETCH(QString, snapshot);
    CappingRule::Ptr rule;
    try {
        rule = CappingRule::fromSnapshot(snapshot);
    } catch (...) {
        QFAIL("fromSnapshot let an exception escape");
    }
    QVERIFY(rule);
    QVERIFY(rule->toJson().isEmpty());
    QCOMPARE(rule->id(), 0);
    QCOMPARE(rule->active(), true);
    QCOMPARE(rule->thresholdAmount(), 0);
    QCOMPARE(rule->productType(), QString());
    QVERIFY(!rule->logDate().isValid());
}

void tst_CappingRule::datesStayLocal()
{
    const CappingRule::Ptr rule = CappingRule::fromJson(
        parse(R"({"logDate": "02/01/2024 10:15:00", "lastEdited": "2024-01-02T10:15:00"})"));
    QCOMPARE(rule->logDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(rule->logDate().toString(Qt::ISODate), QStringLiteral("2024-01-02T10:15:00"));
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(rule->logDate().offsetFromUtc(), -5 * 3600);
    QVERIFY(!rule->lastEdited().isValid());
}

void tst_CappingRule::logText()
{
    const CappingRule::Ptr rule = CappingRule::fromJson(
        parse(R"({"id": 9, "type": "DAILY", "productType": "E_PURSE", "thresholdAmount": 450})"));
    QCOMPARE(rule->toString(), QStringLiteral("(9) DAILY/E_PURSE (amount=450, zones=)"));
    rule->setStopGroups({group(1, "A"), group(2, "B")});
    QCOMPARE(rule->toString(), QStringLiteral("(9) DAILY/E_PURSE (amount=450, zones=A,B)"));
}

QTEST_GUILESS_MAIN(tst_CappingRule)
#include "tst_cappingrule.moc"
