#include "tarvik/fareproducts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using tarvik::FareProduct;
using tarvik::FareProducts;

class tst_FareProducts : public QObject
{
    Q_OBJECT
private slots:
    void keepsEqualIdsInArrivalOrder();
    void emptySetIsCorrupted_data();
    void emptySetIsCorrupted();
};

static QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

void tst_FareProducts::keepsEqualIdsInArrivalOrder()
{
    const FareProducts set(parse(R"({"axisId":12,"products":[
        {"fareProductId":9,"fareProductName":"Nine"},
        {"fareProductId":5,"fareProductName":"First"},
        {"fareProductId":5,"fareProductName":"Second"},
        {"fareProductId":5,"fareProductName":"Third"},
        "garbage"]})"));
    QCOMPARE(set.getAxisId(), 12);
    QVERIFY(!set.isCorrupted());
    QStringList order;
    for (const auto &entry : set.getFareProducts())
        order << QString::number(entry.first) + ":" + entry.second.getName();
    QCOMPARE(order, (QStringList{"0:", "5:First", "5:Second", "5:Third", "9:Nine"}));
}

void tst_FareProducts::emptySetIsCorrupted_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("axisId");
    QTest::newRow("axis-only") << QByteArray(R"({"axisId":7})") << 7;
    QTest::newRow("empty-products") << QByteArray(R"({"axisId":7,"products":[]})") << 7;
    QTest::newRow("products-not-array") << QByteArray(R"({"products":{"fareProductId":1}})") << 0;
    QTest::newRow("empty") << QByteArray("{}") << 0;
}

void tst_FareProducts::emptySetIsCorrupted()
{
    QFETCH(QByteArray, json);
    QFETCH(int, axisId);
    const FareProducts set(parse(json));
    QVERIFY(set.isCorrupted());
    QCOMPARE(set.getAxisId(), axisId);
    QVERIFY(FareProducts().isCorrupted());
}

QTEST_GUILESS_MAIN(tst_FareProducts)
#include "tst_fareproducts.moc"
