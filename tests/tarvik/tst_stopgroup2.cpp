#include "tarvik/stopgroup2.h"

#include <QtTest>

using namespace tarvik;

namespace {
Stop2::Ptr stopWithId(int id)
{
    return Stop2::Ptr(new Stop2(QJsonObject{{"id", id}}));
}
} // namespace

class tst_StopGroup2 : public QObject
{
    Q_OBJECT
private slots:
    void contains_data();
    void contains();
    void setStopsWithOwnList();
    void logText_data();
    void logText();
};

void tst_StopGroup2::contains_data()
{
    QTest::addColumn<QList<int>>("stopIds");
    QTest::addColumn<int>("asked");
    QTest::addColumn<bool>("expected");
    QTest::newRow("no-stops") << QList<int>() << 0 << false;
    QTest::newRow("first") << QList<int>{5, 9} << 5 << true;
    QTest::newRow("last") << QList<int>{5, 9} << 9 << true;
    QTest::newRow("absent") << QList<int>{5, 9} << 7 << false;
    QTest::newRow("stop-id-zero") << QList<int>{0} << 0 << true;
}

void tst_StopGroup2::contains()
{
    QFETCH(QList<int>, stopIds);
    QFETCH(int, asked);
    QFETCH(bool, expected);
    StopGroup2 group;
    Stop2::List stops;
    for (int id : qAsConst(stopIds))
        stops << stopWithId(id);
    group.setStops(stops);
    QCOMPARE(group.contains(asked), expected);
}

void tst_StopGroup2::setStopsWithOwnList()
{
    StopGroup2 group;
    const Stop2::Ptr a = stopWithId(1);
    const Stop2::Ptr b = stopWithId(2);
    group.setStops({a, b});
    group.setStops(group.stops());
    QCOMPARE(group.stops(), (Stop2::List{a, b}));
    QCOMPARE(group.toString(), QStringLiteral("[0] // (2 Stops)"));
}

void tst_StopGroup2::logText_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("stopCount");
    QTest::addColumn<QString>("expected");
    QTest::newRow("named") << QByteArray(R"({"id": 3, "userIdentifier": "Z3", "multiLanguageFieldsMap":
        {"name": {"en": "Centre", "el": "Kentro"}}})") << 2 << "[3] Z3/Centre/Kentro (2 Stops)";
    QTest::newRow("no-multi-language-map") << QByteArray(R"({"id": 3, "userIdentifier": "Z3"})") << 0
                                           << "[3] Z3// (0 Stops)";
}

void tst_StopGroup2::logText()
{
    QFETCH(QByteArray, json);
    QFETCH(int, stopCount);
    QFETCH(QString, expected);
    StopGroup2 group(QJsonDocument::fromJson(json).object());
    Stop2::List stops;
    for (int i = 0; i < stopCount; ++i)
        stops << stopWithId(i);
    group.setStops(stops);
    QCOMPARE(group.toString(), expected);
}

QTEST_GUILESS_MAIN(tst_StopGroup2)
#include "tst_stopgroup2.moc"
