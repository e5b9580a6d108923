#pragma once

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "inspection/rfidinspector.h"
#include "rfid/rfidcard.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonDocument>
#include <QtTest>

#include <memory>

// What the card inspectors' tests share: a data gateway whose catalogues come from the files of
// data/tarvik (axis 12, stop 1402 in zone 10, fare products 301, 302, 410, 42 and 9 named
// "Προϊόν <id>") and whose device record has carrier 3, with no broker and no back-end; the
// rows of an inspection table, from the cards of data/, and the checks of one row.
class InspectorFixture
{
public:
    using Changes = QList<QPair<QString, QJsonValue>>; // JSON path and value

    // The calendar days of a pass activated 2024-03-10 10:00 UTC for 30 days: it ends on
    // 2024-04-09, at 00:00 or 10:00 UTC.
    static inline const QDateTime lastHour{QDate(2024, 4, 8), QTime(23, 0), Qt::UTC};
    static inline const QDateTime expiryMorning{QDate(2024, 4, 9), QTime(8, 0), Qt::UTC};

    // The database service's status message, fed straight through the client's received().
    static void setDevice(manager::MqttClient &client, int carrierId)
    {
        const QByteArray status = R"({"service":true,"state":1,"device":{"carrierId":)" + QByteArray::number(carrierId);
        emit client.received(status + "}}", "zeto/db/status");
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
        for (const QString name : {"routes.json", "fares.json"}) {
            const QJsonDocument catalogue = JsonPath::readFile(TEST_DATA_DIR "/tarvik/" + name);
            QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/" + name, catalogue.toJson()));
        }
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

    // data/<sample>.json with the changes.
    static QJsonObject card(const QString &sample, const Changes &changes = {})
    {
        QJsonObject json = JsonPath::readFile(TEST_DATA_DIR "/" + sample + ".json").object();
        for (const auto &change : changes)
            json = JsonPath::withValue(json, change.first, change.second);
        return json;
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
    // reports the card's last ride; one that does not reports nothing of it.
    static void verify(RfidInspector &inspector, RfidCard &card, const QString &tag, bool failureKeepsRide, int vehicleId)
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
        const QJsonObject json = inspector.getResult().toJson();
        QCOMPARE(json["denyReason"]["id"].toInt(), denyReason);
        QCOMPARE(json["result"].toBool(), denyReason == 0);
        QCOMPARE(json["transType"].toInt(), transType);
        QCOMPARE(json["fareProductId"].toInt(), fareProductId);
        const bool named = QList<int>{301, 302, 410, 42, 9}.contains(fareProductId);
        QCOMPARE(json["fareProductName"].toString(), named ? QStringLiteral("Προϊόν %1").arg(fareProductId) : QString());
        const bool ride = denyReason == 0 || failureKeepsRide;
        const QJsonObject route{{"boardingStopId", ride ? 1402 : 0}, {"routeId", ride ? 12 : 0},
                                {"routeExecutionId", ride ? 99817 : 0}, {"axisName", ride ? "Γραμμή 12" : ""},
                                {"stopName", ride ? "Πλατεία" : ""}, {"zoneName", ride ? "Ζώνη Α" : ""}};
        QCOMPARE(json["route"].toObject(), route);
        QCOMPARE(json["transTimestamp"].toString(), QString(ride ? "2024-04-08T19:30:00Z" : ""));
        QCOMPARE(json["vehicleId"].toInt(), ride ? vehicleId : 0);
        if (transType != 0)
            QTEST(json[transType == 8 ? "periodPass" : "storedJourneys"], "detail");
        QCOMPARE(json[transType == 8 ? "storedJourneys" : "periodPass"], QJsonValue(QJsonValue::Null));
        if (!log.isEmpty())
            QVERIFY2(capture.contains(tag + log), qPrintable(log));
    }

private:
    TestEnv mEnv;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
};
