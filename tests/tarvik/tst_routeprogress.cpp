#include "tarvik/routeprogress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using tarvik::RouteProgress;

class tst_RouteProgress : public QObject
{
    Q_OBJECT
private slots:
    void parsesMessage_data();
    void parsesMessage();
    void constructors();
    void eventTypeText();
};

void tst_RouteProgress::parsesMessage_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("event");
    QTest::addColumn<double>("progress");
    QTest::addColumn<bool>("gpsLock");
    QTest::addColumn<int>("axisId");
    QTest::addColumn<int>("stopId");
    QTest::addColumn<int>("sequence");
    QTest::newRow("arrived-no-fix") << QByteArray(R"({"event":"arrived","progress%":null,"routeId":12,"stopId":5,"stopSequence":3})")
                                    << 1 << 0.0 << false << 12 << 5 << 3;
    QTest::newRow("no-progress-key") << QByteArray(R"({"event":"leaving","routeId":12,"stopId":5})")
                                     << 2 << 0.0 << true << 12 << 5 << 0;
    QTest::newRow("progress-fraction") << QByteArray(R"({"event":"approaching","progress%":47.5})") << 0 << 0.0 << true << 0 << 0 << 0;
    QTest::newRow("progress-whole") << QByteArray(R"({"progress%":47})") << 0 << 47.0 << true << 0 << 0 << 0;
    QTest::newRow("progress-text") << QByteArray(R"({"progress%":"47"})") << 0 << 0.0 << true << 0 << 0 << 0;
    QTest::newRow("event-capital") << QByteArray(R"({"event":"Arrived"})") << 0 << 0.0 << true << 0 << 0 << 0;
    QTest::newRow("event-number") << QByteArray(R"({"event":1})") << 0 << 0.0 << true << 0 << 0 << 0;
    QTest::newRow("ids-as-text") << QByteArray(R"({"routeId":"12","stopId":5.5,"stopSequence":"3"})") << 0 << 0.0 << true << 0 << 0 << 0;
    QTest::newRow("empty") << QByteArray("{}") << 0 << 0.0 << true << 0 << 0 << 0;
}

void tst_RouteProgress::parsesMessage()
{
    QFETCH(QByteArray, json);
    QFETCH(int, event);
    QFETCH(double, progress);
    QFETCH(bool, gpsLock);
    QFETCH(int, axisId);
    QFETCH(int, stopId);
    QFETCH(int, sequence);
    const RouteProgress p(QJsonDocument::fromJson(json).object());
    QCOMPARE(p.getEventType(), event);
    QCOMPARE(p.getProgress(), progress);
    QCOMPARE(p.getHasGpsLock(), gpsLock);
    QCOMPARE(p.getAxisId(), axisId);
    QCOMPARE(p.getStopId(), stopId);
    QCOMPARE(p.getStopSequence(), sequence);
}

void tst_RouteProgress::constructors()
{
    const RouteProgress none;
    QCOMPARE(none.getAxisId(), 0);
    QVERIFY(!none.getHasGpsLock());
    const RouteProgress p(12, 21);
    QCOMPARE(p.getAxisId(), 12);
    QCOMPARE(p.getStopId(), 21);
    QCOMPARE(p.getEventType(), int(RouteProgress::Approaching));
    QCOMPARE(p.getStopSequence(), 0);
    QCOMPARE(p.getProgress(), 0.0);
    QVERIFY(!p.getHasGpsLock());
}

void tst_RouteProgress::eventTypeText()
{
    const auto text = [](const char *event) {
        return RouteProgress(QJsonDocument::fromJson(QByteArray(R"({"event":")") + event + "\"}").object()).getEventTypeStr();
    };
    QCOMPARE(text("approaching"), QStringLiteral("Approaching"));
    QCOMPARE(text("arrived"), QStringLiteral("Arrived"));
    QCOMPARE(text("leaving"), QStringLiteral("Leaving"));
}

QTEST_GUILESS_MAIN(tst_RouteProgress)
#include "tst_routeprogress.moc"
