#pragma once

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "inspection/rfidinspector.h"
#include "rfid/rfidcard.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

// What the card inspectors' tests share: a data gateway whose catalogues come from files (axis
// 12, stop 1402 in zone 10, named fare products) and whose device record has carrier 3, with
// no broker and no back-end; the columns of an inspection table and the checks of one row.
class InspectorFixture
{
public:
    static const QList<int> &namedProducts()
    {
        static const QList<int> ids{301, 302, 410, 42, 9};
        return ids;
    }

    static QJsonObject named(int id, const QString &greek)
    {
        return {{"id", id}, {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"el", greek}}}}}};
    }

    // The database service's status message, fed straight through the client's received().
    static void setDevice(manager::MqttClient &client, int carrierId)
    {
        emit client.received(R"({"service":true,"state":1,"device":{"carrierId":)" + QByteArray::number(carrierId)
                                 + "}}",
                             "zeto/db/status");
    }

    // From initTestCase.
    void setUp()
    {
        if (qgetenv("TZ") == "America/New_York")
            QCOMPARE(QDateTime(QDate(2024, 1, 10), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
        QVERIFY(mEnv.writeFile("zub.conf", QByteArray()));
        manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.settingsFile()));
        Configuration config;
        config.set("tarvik/url", "http://127.0.0.1:9/bo"); // nothing listens: the files only
        config.set("tarvik/storagePath", mEnv.filePath("tarvik"));
        for (const char *key : {"tarvik/routeDataSyncMin", "tarvik/fareDataSyncMin", "tarvik/actionListSyncMin"})
            config.set(key, 0);
        const QJsonObject routes{
            {"Axis", QJsonArray{named(12, "Γραμμή 12")}}, {"Stops", QJsonArray{named(1402, "Πλατεία")}},
            {"StopGroups", QJsonArray{named(10, "Ζώνη Α")}},
            {"StopGroupStops", QJsonArray{QJsonObject{{"id", 1}, {"stopGroupId", 10}, {"stopId", 1402}}}}};
        QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/routes.json", QJsonDocument(routes).toJson()));
        QJsonArray products;
        for (int id : namedProducts())
            products.append(named(id, productName(id)));
        QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/fares.json",
                               QJsonDocument(QJsonObject{{"FareProducts", products}}).toJson()));
        mDb = std::make_unique<DBManager>(&mClient);
        mDb->initialize();
        QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(9), 10000);
        QTRY_VERIFY(mDb->routeData()->findStop(1402) && mDb->routeData()->findStop(1402)->stopGroup());
        setDevice(mClient, 3);
    }

    DBManager &db() { return *mDb; }

    static QJsonValue days(int n) { return QJsonObject{{"remainingDays", n}}; }
    static QJsonValue rides(int before, int after, const char *boarding = "")
    {
        return QJsonObject{{"before", before}, {"after", after}, {"boardingTime", boarding}};
    }

    static void addColumns()
    {
        QTest::addColumn<QJsonObject>("card");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("hourly"); // "zub/period_pass_hourly"
        QTest::addColumn<int>("denyReason");
        QTest::addColumn<int>("transType"); // 0: neither "periodPass" nor "storedJourneys"
        QTest::addColumn<int>("fareProductId");
        QTest::addColumn<QJsonValue>("detail"); // "periodPass" or "storedJourneys" of the JSON
        QTest::addColumn<QString>("log");       // a line after the tag, or empty
    }

    // Inspects the row's card and checks the record. A failure that keeps the ride still
    // reports the route of the card's last ride; one that does not reports nothing of it.
    static void verify(RfidInspector &inspector, RfidCard &card, const QString &tag, bool failureKeepsRide,
                       QJsonObject &out)
    {
        QFETCH(QDateTime, now);
        QFETCH(bool, hourly);
        QFETCH(int, denyReason);
        QFETCH(int, transType);
        QFETCH(int, fareProductId);
        QFETCH(QString, log);
        Configuration().set("zub/period_pass_hourly", hourly);
        inspector.setClock([now] { return now; });
        LogCapture capture;

        QCOMPARE(inspector.inspectCard(&card), denyReason == 0);
        const QJsonObject json = out = inspector.getResult().toJson();
        QCOMPARE(json["denyReason"]["id"].toInt(), denyReason);
        QCOMPARE(json["result"].toBool(), denyReason == 0);
        QCOMPARE(json["transType"].toInt(), transType);
        QCOMPARE(json["fareProductId"].toInt(), fareProductId);
        QCOMPARE(json["fareProductName"].toString(),
                 namedProducts().contains(fareProductId) ? productName(fareProductId) : QString());
        const bool ride = denyReason == 0 || failureKeepsRide;
        const QJsonObject route{{"boardingStopId", ride ? 1402 : 0}, {"routeId", ride ? 12 : 0},
                                {"routeExecutionId", ride ? 99817 : 0}, {"axisName", ride ? "Γραμμή 12" : ""},
                                {"stopName", ride ? "Πλατεία" : ""}, {"zoneName", ride ? "Ζώνη Α" : ""}};
        QCOMPARE(json["route"].toObject(), route);
        QCOMPARE(json["transTimestamp"].toString(), QString(ride ? "2024-04-08T19:30:00Z" : ""));
        if (transType != 0)
            QTEST(json[transType == 8 ? "periodPass" : "storedJourneys"], "detail");
        QCOMPARE(json[transType == 8 ? "storedJourneys" : "periodPass"], QJsonValue(QJsonValue::Null));
        if (!log.isEmpty())
            QVERIFY2(capture.contains(tag + log), qPrintable(log));
    }

private:
    static QString productName(int id) { return QStringLiteral("Προϊόν %1").arg(id); }

    TestEnv mEnv;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
};
