#include "tarvik/stop2.h"
#include "tarvik/stopgroup2.h"
#include "tarvik/stopgroupstops.h"

#include <QtTest>

using namespace tarvik;

namespace {
QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}
} // namespace

class tst_Stop2 : public QObject
{
    Q_OBJECT
private slots:
    void coordinates_data();
    void coordinates();
    void logTextShowsLinkedGroup();
    void droppedGraphIsFreed();
    void linkLapsesWithTheGroup();
};

void tst_Stop2::coordinates_data()
{
    QTest::addColumn<QByteArray>("json"); // the value under "latitude" and "longitude"
    QTest::addColumn<double>("expected");
    QTest::newRow("number") << QByteArray("37.9838") << 37.9838;
    QTest::newRow("text") << QByteArray("\"37.9838\"") << 37.9838;
    QTest::newRow("text-blanks") << QByteArray("\" 23.7275 \"") << 23.7275;
    QTest::newRow("negative-text") << QByteArray("\"-8.5\"") << -8.5;
    QTest::newRow("word") << QByteArray("\"north\"") << 0.0;
    QTest::newRow("comma-decimal") << QByteArray("\"37,98\"") << 0.0;
    QTest::newRow("empty-text") << QByteArray("\"\"") << 0.0;
    QTest::newRow("null") << QByteArray("null") << 0.0;
    QTest::newRow("bool") << QByteArray("true") << 0.0;
    QTest::newRow("array") << QByteArray("[1]") << 0.0;
}

void tst_Stop2::coordinates()
{
    QFETCH(QByteArray, json);
    QFETCH(double, expected);
    const QJsonObject o = parse("{\"latitude\": " + json + ", \"longitude\": " + json + "}");
    const Stop2 stop(o);
    QCOMPARE(stop.latitude(), expected);
    QCOMPARE(stop.longitude(), expected);
    const StopGroupStops row(o);
    QCOMPARE(row.latitude(), expected);
    QCOMPARE(row.longitude(), expected);
}

void tst_Stop2::logTextShowsLinkedGroup()
{
    const Stop2::Ptr stop(new Stop2(parse(R"({"id": 4, "name": "Agora", "userIdentifier": "S4"})")));
    QCOMPARE(stop->toString(), QStringLiteral("[4] Agora (<none>)"));
    const StopGroup2::Ptr group(new StopGroup2(parse(R"({"id": 2, "userIdentifier": "Z2"})")));
    stop->setStopGroup(group);
    QCOMPARE(stop->stopGroup(), group);
    QCOMPARE(stop->toString(), QStringLiteral("[4] Agora (Z2)"));
    stop->setStopGroup(StopGroup2::Ptr());
    QVERIFY(stop->stopGroup().isNull());
    QCOMPARE(stop->toString(), QStringLiteral("[4] Agora (<none>)"));
}

// The route manager replaces its records at every sync; a linked stop and its group must
// not keep each other alive once the maps drop them.
void tst_Stop2::droppedGraphIsFreed()
{
    QList<QWeakPointer<Stop2>> stops;
    QList<QWeakPointer<StopGroup2>> groups;
    {
        Stop2::Map stopMap;
        StopGroup2::Map groupMap;
        for (int g = 1; g <= 3; ++g) {
            const StopGroup2::Ptr group(new StopGroup2(parse(QByteArray("{\"id\": ") + QByteArray::number(g) + "}")));
            Stop2::List members;
            for (int s = 0; s < 4; ++s) {
                const Stop2::Ptr stop(new Stop2(QJsonObject{{"id", g * 10 + s}}));
                stop->setStopGroup(group);
                members << stop;
                stopMap.insert(stop->id(), stop);
                stops << stop;
            }
            group->setStops(members);
            groupMap.insert(group->id(), group);
            groups << group;
        }
        QCOMPARE(stopMap.value(21)->stopGroup()->id(), 2);
        QVERIFY(groupMap.value(3)->contains(32));
    }
    for (const auto &stop : qAsConst(stops))
        QVERIFY(stop.isNull());
    for (const auto &group : qAsConst(groups))
        QVERIFY(group.isNull());
}

void tst_Stop2::linkLapsesWithTheGroup()
{
    const Stop2::Ptr stop(new Stop2);
    {
        const StopGroup2::Ptr group(new StopGroup2);
        stop->setStopGroup(group);
        QVERIFY(stop->stopGroup());
    }
    QVERIFY(stop->stopGroup().isNull());
    QCOMPARE(stop->toString(), QStringLiteral("[0]  (<none>)"));
}

QTEST_GUILESS_MAIN(tst_Stop2)
#include "tst_stop2.moc"
