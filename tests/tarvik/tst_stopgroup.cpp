#include "tarvik/stopgroup.h"

#include "support/logcapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <stdexcept>

using tarvik::Stop;
using tarvik::StopGroup;

class tst_StopGroup : public QObject
{
    Q_OBJECT
private slots:
    void parsesZone_data();
    void parsesZone();
    void throwsWithoutStops_data();
    void throwsWithoutStops();
    void mergesStopsAndOrdinals();
    void defaultZone();
    void textForms();
};

static QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

void tst_StopGroup::parsesZone_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("publicId");
    QTest::addColumn<QList<int>>("stopIds");   // ascending ordinal
    QTest::addColumn<QList<int>>("ordinals");
    QTest::newRow("plain") << QByteArray(R"({"id":2,"name":"A","publicStopGroupId":"20","ordinal":3,
        "stops":[{"id":22,"ordinal":2},{"id":21,"ordinal":1}]})")
                           << 2 << 20 << QList<int>{21, 22} << QList<int>{3};
    QTest::newRow("duplicate-ordinal-first-kept") << QByteArray(R"({"id":2,"stops":[{"id":41,"ordinal":4},{"id":42,"ordinal":4}]})")
                                                  << 2 << 0 << QList<int>{41} << QList<int>{0};
    QTest::newRow("public-id-number") << QByteArray(R"({"id":2,"publicStopGroupId":20,"stops":[{"id":1,"ordinal":1}]})")
                                      << 2 << 0 << QList<int>{1} << QList<int>{0};
    QTest::newRow("stop-without-ordinal-first") << QByteArray(R"({"id":2,"ordinal":1,"stops":[{"id":5,"ordinal":1},{"id":6}]})")
                                                << 2 << 0 << QList<int>{6, 5} << QList<int>{1};
    QTest::newRow("non-object-stop-counts") << QByteArray(R"({"id":2,"stops":[7]})") << 2 << 0 << QList<int>{0} << QList<int>{0};
}

void tst_StopGroup::parsesZone()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(int, publicId);
    QFETCH(QList<int>, stopIds);
    QFETCH(QList<int>, ordinals);
    const StopGroup zone(parse(json));
    QCOMPARE(zone.getId(), id);
    QCOMPARE(zone.getPublicId(), publicId);
    QList<int> ids;
    for (const Stop &stop : zone.getStops())
        ids.append(stop.getId());
    QCOMPARE(ids, stopIds);
    const std::vector<int> got = zone.getOrdinals();
    QCOMPARE(QList<int>(got.begin(), got.end()), ordinals);
    for (const int stopId : stopIds)
        QVERIFY(zone.containsStopId(stopId));
    QVERIFY(!zone.containsStopId(999));
}

void tst_StopGroup::throwsWithoutStops_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("empty-array") << QByteArray(R"({"id":2,"stops":[]})");
    QTest::newRow("missing") << QByteArray(R"({"id":2})");
    QTest::newRow("not-an-array") << QByteArray(R"({"id":2,"stops":{"id":1}})");
}

void tst_StopGroup::throwsWithoutStops()
{
    QFETCH(QByteArray, json);
    try {
        StopGroup zone(parse(json));
        QFAIL("no exception");
    } catch (const std::runtime_error &e) {
        QCOMPARE(QString::fromLatin1(e.what()), QStringLiteral("No Stop received"));
    }
}

void tst_StopGroup::mergesStopsAndOrdinals()
{
    StopGroup zone(parse(R"({"id":2,"ordinal":3,"stops":[{"id":1,"ordinal":1},{"id":2,"ordinal":2}]})"));
    const StopGroup other(parse(R"({"id":2,"ordinal":1,"stops":[{"id":9,"ordinal":2},{"id":3,"ordinal":3}]})"));
    const StopGroup copy = zone;
    zone.insertStops(other.getStops());
    zone.insertOrdinals(other.getOrdinals());
    zone.insertOrdinals({3});
    QCOMPARE(zone.getOrdinals(), (std::vector<int>{3, 1, 3}));
    QVERIFY(zone.containsStopId(3));
    QVERIFY(!zone.containsStopId(9)); // ordinal 2 was already there
    QCOMPARE(zone.getStops().size(), size_t(3));
    QCOMPARE(copy.getStops().size(), size_t(2)); // copies are independent
    QCOMPARE(copy.getOrdinals(), std::vector<int>{3});
}

void tst_StopGroup::defaultZone()
{
    const StopGroup zone;
    QCOMPARE(zone.getId(), 0);
    QVERIFY(zone.getOrdinals().empty());
    QVERIFY(zone.getStops().empty());
    QVERIFY(!zone.containsStopId(0));
}

void tst_StopGroup::textForms()
{
    const StopGroup zone(parse(R"({"id":2,"name":"Centre","publicStopGroupId":"20","ordinal":3,
        "stops":[{"id":22,"name":"B","ordinal":2},{"id":21,"name":"A","ordinal":1}]})"));
    QCOMPARE(zone.toString(), QStringLiteral("(2) Centre (pubId=20)"));

    StopGroup merged = zone;
    merged.insertOrdinals({1});
    LogCapture logs;
    merged.log();
    QCOMPARE(logs.texts(), (QStringList{
        "[tarvik.stopgroup] Stop Group 'Centre' (id=2, ordinals=std::vector(3, 1))",
        "[tarvik.stop]     Stop 'A' (id=21, ordinal=1)",
        "[tarvik.stop]     Stop 'B' (id=22, ordinal=2)",
    }));
}

QTEST_GUILESS_MAIN(tst_StopGroup)
#include "tst_stopgroup.moc"
