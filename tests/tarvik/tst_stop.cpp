#include "tarvik/stop.h"

#include "support/logcapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <set>

using tarvik::Stop;

class tst_Stop : public QObject
{
    Q_OBJECT
private slots:
    void readsKeys_data();
    void readsKeys();
    void ordersByOrdinalOnly();
    void textForms();
};

static QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

void tst_Stop::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("publicId");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ordinal");
    QTest::newRow("full") << QByteArray(R"({"id":7,"latitude":45.1,"longitude":13.6,"name":"Riva","ordinal":3,"publicStopId":"17"})")
                          << 7 << 17 << "Riva" << 3;
    QTest::newRow("public-id-number") << QByteArray(R"({"id":7,"publicStopId":17})") << 7 << 0 << "" << 0;
    QTest::newRow("public-id-not-digits") << QByteArray(R"({"publicStopId":"17a"})") << 0 << 0 << "" << 0;
    QTest::newRow("id-as-text") << QByteArray(R"({"id":"7","ordinal":"3"})") << 0 << 0 << "" << 0;
    QTest::newRow("fraction") << QByteArray(R"({"id":7.5,"ordinal":2.0})") << 0 << 0 << "" << 2;
    QTest::newRow("name-number") << QByteArray(R"({"name":5})") << 0 << 0 << "" << 0;
    QTest::newRow("empty") << QByteArray("{}") << 0 << 0 << "" << 0;
}

void tst_Stop::readsKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(int, publicId);
    QFETCH(QString, name);
    QFETCH(int, ordinal);
    const Stop stop(parse(json));
    QCOMPARE(stop.getId(), id);
    QCOMPARE(stop.getPublicId(), publicId);
    QCOMPARE(stop.getName(), name);
    QCOMPARE(stop.getOrdinal(), ordinal);
}

void tst_Stop::ordersByOrdinalOnly()
{
    const Stop a(parse(R"({"id":9,"ordinal":1})"));
    const Stop b(parse(R"({"id":1,"ordinal":2})"));
    const Stop noOrdinal(parse(R"({"id":50})"));
    QVERIFY(a < b);
    QVERIFY(!(b < a));
    QVERIFY(noOrdinal < a);

    // Same ordinal: one element of a set, the first inserted stays.
    std::set<Stop> set{a};
    set.insert(Stop(parse(R"({"id":10,"ordinal":1})")));
    QCOMPARE(set.size(), size_t(1));
    QCOMPARE(set.begin()->getId(), 9);
}

void tst_Stop::textForms()
{
    const Stop stop(parse(R"({"id":7,"name":"Riva","ordinal":3,"publicStopId":"17"})"));
    QCOMPARE(stop.toString(), QStringLiteral("(7) Riva (pubId=17)"));
    QCOMPARE(Stop().toString(), QStringLiteral("(0)  (pubId=0)"));
    // A name that looks like a placeholder stays as it is.
    QCOMPARE(Stop(parse(R"({"name":"%1 %2"})")).toString(), QStringLiteral("(0) %1 %2 (pubId=0)"));

    LogCapture logs;
    stop.log();
    QCOMPARE(logs.texts(), QStringList{"[tarvik.stop]     Stop 'Riva' (id=7, ordinal=3)"});
    QCOMPARE(logs.entries().first().type, QtInfoMsg);
}

QTEST_GUILESS_MAIN(tst_Stop)
#include "tst_stop.moc"
