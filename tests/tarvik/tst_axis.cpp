#include "tarvik/axis.h"

#include <QtTest>

using namespace tarvik;

namespace {
QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// Stops linked to their groups, as the route manager links them.
struct Network
{
    StopGroup2::Map groups;
    Stop2::Map stops;

    StopGroup2::Ptr group(int id, const QString &userIdentifier)
    {
        StopGroup2::Ptr g(new StopGroup2(QJsonObject{{"id", id}, {"userIdentifier", userIdentifier}}));
        groups.insert(id, g);
        return g;
    }
    Stop2::Ptr stop(int id, const QString &name, const StopGroup2::Ptr &group)
    {
        Stop2::Ptr s(new Stop2(QJsonObject{{"id", id}, {"name", name}}));
        if (group) {
            s->setStopGroup(group);
            group->setStops(group->stops() << s);
        }
        stops.insert(id, s);
        return s;
    }
};

AxisStop::Ptr axisStop(int ordinal, const Stop2::Ptr &stop)
{
    AxisStop::Ptr a(new AxisStop(QJsonObject{{"id", 100 + ordinal}, {"axisId", 1}, {"ordinal", ordinal}}));
    a->setStop(stop);
    return a;
}
} // namespace

class tst_Axis : public QObject
{
    Q_OBJECT
private slots:
    void axisStopList_data();
    void axisStopList();
    void flags_data();
    void flags();
    void kilometreKeysAreSpelledSate();
    void stopGroupsPerVisit();
    void unlinkedStopsArePassedOver();
    void logText();
    void axisStopLogText();
    void droppedAxesAreFreed();
};

void tst_Axis::axisStopList_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QList<int>>("expectedIds");
    QTest::newRow("absent") << QByteArray("{}") << QList<int>();
    QTest::newRow("not-array") << QByteArray(R"({"axisStopList": {"stopId": 5}})") << QList<int>();
    QTest::newRow("objects") << QByteArray(R"({"axisStopList": [{"stopId": 5, "ordinal": 1}, {"stopId": 9}]})")
                             << QList<int>{5, 9};
    QTest::newRow("bare-ids") << QByteArray(R"({"axisStopList": [5, 9]})") << QList<int>{5, 9};
    QTest::newRow("object-without-stop-id") << QByteArray(R"({"axisStopList": [{"ordinal": 1}]})")
                                            << QList<int>{0};
    QTest::newRow("text-stop-id") << QByteArray(R"({"axisStopList": [{"stopId": "5"}]})") << QList<int>{0};
    QTest::newRow("other-elements") << QByteArray(R"({"axisStopList": ["5", null, 2.5, true, [5]]})")
                                    << QList<int>{0, 0, 0, 0, 0};
}

void tst_Axis::axisStopList()
{
    QFETCH(QByteArray, json);
    QFETCH(QList<int>, expectedIds);
    const Axis axis(parse(json));
    QCOMPARE(axis.axisStopIds(), expectedIds);

    QJsonArray expectedList;
    for (int id : qAsConst(expectedIds))
        expectedList.append(id);
    QCOMPARE(axis.toJson().value("axisStopList"), QJsonValue(expectedList));

    // "routes.json" holds what toJson() wrote and is read back through the same constructor.
    const Axis reread(axis.toJson());
    QCOMPARE(reread.axisStopIds(), expectedIds);
    QCOMPARE(reread.toJson(), axis.toJson());
}

void tst_Axis::flags_data()
{
    QTest::addColumn<QByteArray>("json"); // the value of every flag
    QTest::addColumn<bool>("expectedIntFlag"); // syncTriangle, circularRoute, useAxisProducts
    QTest::addColumn<bool>("expectedStatus");
    QTest::newRow("absent") << QByteArray() << false << true;
    QTest::newRow("true") << QByteArray("true") << true << true;
    QTest::newRow("false") << QByteArray("false") << false << false;
    QTest::newRow("one") << QByteArray("1") << true << false;
    QTest::newRow("two") << QByteArray("2") << true << false;
    QTest::newRow("zero") << QByteArray("0") << false << false;
    QTest::newRow("fraction") << QByteArray("0.5") << false << false;
    QTest::newRow("text-one") << QByteArray("\"1\"") << false << false;
    QTest::newRow("text-active") << QByteArray("\"active\"") << false << false;
    QTest::newRow("null") << QByteArray("null") << false << false;
}

void tst_Axis::flags()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, expectedIntFlag);
    QFETCH(bool, expectedStatus);
    QJsonObject o;
    if (!json.isEmpty()) {
        o = parse("{\"syncTriangle\": " + json + ", \"circularRoute\": " + json + ", \"useAxisProducts\": "
                  + json + ", \"status\": " + json + "}");
    }
    const Axis axis(o);
    QCOMPARE(axis.syncTriangle(), expectedIntFlag);
    QCOMPARE(axis.circularRoute(), expectedIntFlag);
    QCOMPARE(axis.useAxisProducts(), expectedIntFlag);
    QCOMPARE(axis.status(), expectedStatus);
}

void tst_Axis::kilometreKeysAreSpelledSate()
{
    const AxisStop sate(parse(R"({"sameSateKm": 3.5, "acrossSateKm": 1.25})"));
    QCOMPARE(sate.sameStateKm(), 3.5);
    QCOMPARE(sate.acrossStateKm(), 1.25);
    const AxisStop state(parse(R"({"sameStateKm": 3.5, "acrossStateKm": 1.25})"));
    QCOMPARE(state.sameStateKm(), 0.0);
    QCOMPARE(state.acrossStateKm(), 0.0);
}

// Stops in groups A, A, B, A along the axis: A is entered twice and comes twice, each time
// with all three A stops in axis order.
void tst_Axis::stopGroupsPerVisit()
{
    Network net;
    const StopGroup2::Ptr a = net.group(1, "A");
    const StopGroup2::Ptr b = net.group(2, "B");
    const Stop2::Ptr a1 = net.stop(11, "a1", a);
    const Stop2::Ptr a2 = net.stop(12, "a2", a);
    const Stop2::Ptr b1 = net.stop(21, "b1", b);
    const Stop2::Ptr a3 = net.stop(13, "a3", a);
    Axis axis;
    axis.setAxisStops({axisStop(1, a1), axisStop(2, a2), axisStop(3, b1), axisStop(4, a3)});

    const StopGroup2::List groups = axis.stopGroups();
    QCOMPARE(groups.size(), 3);
    QCOMPARE(groups.at(0)->id(), 1);
    QCOMPARE(groups.at(1)->id(), 2);
    QCOMPARE(groups.at(2)->id(), 1);
    QCOMPARE(groups.at(0)->stops(), (Stop2::List{a1, a2, a3}));
    QCOMPARE(groups.at(1)->stops(), (Stop2::List{b1}));
    QCOMPARE(groups.at(2)->stops(), (Stop2::List{a1, a2, a3}));

    // Fresh records: the linked groups and their stops' links stay as they were.
    QVERIFY(groups.at(0) != a && groups.at(2) != a && groups.at(0) != groups.at(2));
    QCOMPARE(groups.at(0)->toJson(), a->toJson());
    QCOMPARE(a1->stopGroup(), a);
    QCOMPARE(axis.stopsInStopGroup(1), (Stop2::List{a1, a2, a3}));
    QCOMPARE(axis.stopsInStopGroup(3), Stop2::List());
}

void tst_Axis::unlinkedStopsArePassedOver()
{
    Network net;
    const StopGroup2::Ptr a = net.group(1, "A");
    const Stop2::Ptr a1 = net.stop(11, "a1", a);
    const Stop2::Ptr loose = net.stop(30, "loose", StopGroup2::Ptr());
    const Stop2::Ptr a2 = net.stop(12, "a2", a);
    Axis axis;
    // An unlinked axis stop and a stop without a group between two stops of A: one visit.
    axis.setAxisStops({axisStop(1, a1), axisStop(2, Stop2::Ptr()), axisStop(3, loose), axisStop(4, a2)});
    QCOMPARE(axis.stops(), (Stop2::List{a1, Stop2::Ptr(), loose, a2}));
    const StopGroup2::List groups = axis.stopGroups();
    QCOMPARE(groups.size(), 1);
    QCOMPARE(groups.at(0)->stops(), (Stop2::List{a1, a2}));
    QCOMPARE(Axis().stopGroups(), StopGroup2::List());
}

void tst_Axis::logText()
{
    Network net;
    const StopGroup2::Ptr a = net.group(1, "A");
    const Stop2::Ptr a1 = net.stop(11, "Agora", a);
    Axis::Ptr axis(new Axis(parse(R"({"id": 7, "userIdentifier": "L7", "name": "Line 7",
        "oppositeAxisId": 8, "carriersId": 2, "consortiumId": 4, "circularRoute": 1,
        "jointOperationCode": "JX"})")));
    axis->setAxisStops({axisStop(1, a1), axisStop(2, Stop2::Ptr())});

    const QString expectedUnlinked = QStringLiteral(
        "--- Axis ----------------------------------------\n"
        "ID               : [7] L7/Line 7\n"
        "Opposite Axis    : [8] <none>;/<none>;\n"
        "Carrier ID       : 2\n"
        "Status           : active\n"
        "Consortium ID    : 4\n"
        "Circular Route   : yes\n"
        "Use Axis FP      : no\n"
        "Sync Triangle    : no\n"
        "Joint Op Code    : JX\n"
        "Stop Groups      : 1\n"
        "  [1] A// (1 Stops)\n"
        "Stops            : 2\n"
        "  [11] Agora (A)\n"
        "-------------------------------------------------");
    QCOMPARE(axis->toString(), expectedUnlinked);

    const Axis::Ptr opposite(new Axis(parse(R"({"id": 8, "userIdentifier": "L7R", "name": "Line 7 back"})")));
    axis->setOppositeAxis(opposite);
    QVERIFY(axis->toString().contains(QStringLiteral("\nOpposite Axis    : [8] L7R/Line 7 back\n")));
}

void tst_Axis::axisStopLogText()
{
    AxisStop unlinked(parse(R"({"id": 17, "axisId": 4, "ordinal": 3})"));
    QCOMPARE(unlinked.toString(), QStringLiteral("(3) [17] 4 --> <none>"));
    unlinked.setStop(Stop2::Ptr(new Stop2(parse(R"({"id": 5, "name": "Port"})"))));
    QCOMPARE(unlinked.toString(), QStringLiteral("(3) [17] 4 --> [5] Port (<none>)"));
}

// Two opposite axes, their axis stops, stops and groups: nothing survives the maps.
void tst_Axis::droppedAxesAreFreed()
{
    QWeakPointer<Axis> outbound;
    QWeakPointer<Axis> inbound;
    QWeakPointer<Stop2> stop;
    QWeakPointer<StopGroup2> group;
    QWeakPointer<AxisStop> firstAxisStop;
    {
        Network net;
        const StopGroup2::Ptr g = net.group(1, "A");
        const Stop2::Ptr s = net.stop(11, "a1", g);
        Axis::Map axes;
        axes.insert(1, Axis::Ptr(new Axis(parse(R"({"id": 1, "oppositeAxisId": 2})"))));
        axes.insert(2, Axis::Ptr(new Axis(parse(R"({"id": 2, "oppositeAxisId": 1})"))));
        for (const Axis::Ptr &axis : qAsConst(axes)) {
            axis->setOppositeAxis(axes.value(axis->oppositeAxisId()));
            axis->setAxisStops({axisStop(1, s)});
        }
        QCOMPARE(axes.value(1)->oppositeAxis(), axes.value(2));
        QCOMPARE(axes.value(2)->oppositeAxis(), axes.value(1));
        QCOMPARE(axes.value(1)->stopGroups().size(), 1);
        outbound = axes.value(1);
        inbound = axes.value(2);
        stop = s;
        group = g;
        firstAxisStop = axes.value(1)->axisStops().first();
    }
    QVERIFY(outbound.isNull());
    QVERIFY(inbound.isNull());
    QVERIFY(stop.isNull());
    QVERIFY(group.isNull());
    QVERIFY(firstAxisStop.isNull());
}

QTEST_GUILESS_MAIN(tst_Axis)
#include "tst_axis.moc"
