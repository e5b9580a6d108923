#include "tarvik/cappingrulestopgroup.h"

#include <QtTest>

using namespace tarvik;

class tst_CappingRuleStopGroup : public QObject
{
    Q_OBJECT
private slots:
    void readsRow();
    void logText_data();
    void logText();
    void snapshot();
};

void tst_CappingRuleStopGroup::readsRow()
{
    const auto row = CappingRuleStopGroup::fromJson(
        QJsonDocument::fromJson(R"({"id": 1, "ruleId": 9, "stopGroupId": "3"})").object());
    QCOMPARE(row->id(), 1);
    QCOMPARE(row->ruleId(), 9);
    QCOMPARE(row->stopGroupId(), 0);
    CappingRuleStopGroup::MultiMap byRule;
    byRule.insert(row->ruleId(), row);
    QCOMPARE(byRule.values(9).size(), 1);
}

void tst_CappingRuleStopGroup::logText_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QByteArray("{}")
                           << "--- Capping Rule Stop Group --------------\n"
                              "ID        : 0\n"
                              "Rule ID   : 0\n"
                              "Zone ID   : 0\n"
                              "Created   : \n"
                              "Last Edit : \n"
                              "------------------------------------------";
    QTest::newRow("dated") << QByteArray(R"({"id": 5, "ruleId": 9, "stopGroupId": 3,
        "logDate": "02/01/2024 10:15:00", "lastEdited": "31/12/2024 23:59:59"})")
                           << "--- Capping Rule Stop Group --------------\n"
                              "ID        : 5\n"
                              "Rule ID   : 9\n"
                              "Zone ID   : 3\n"
                              "Created   : 02/01/2024 10:15:00\n"
                              "Last Edit : 31/12/2024 23:59:59\n"
                              "------------------------------------------";
}

void tst_CappingRuleStopGroup::logText()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, expected);
    const CappingRuleStopGroup row(QJsonDocument::fromJson(json).object());
    QCOMPARE(row.toString(), expected);
}

void tst_CappingRuleStopGroup::snapshot()
{
    const QJsonObject json{{"id", 5}, {"ruleId", 9}};
    QCOMPARE(CappingRuleStopGroup::fromSnapshot(CappingRuleStopGroup(json).snapshot())->toJson(), json);
    QVERIFY(CappingRuleStopGroup::fromSnapshot(QStringLiteral("%%%"))->toJson().isEmpty());
}

QTEST_GUILESS_MAIN(tst_CappingRuleStopGroup)
#include "tst_cappingrulestopgroup.moc"
