#include "inspection/rfidinspector.h"
#include "inspection/rfidinspectorfactory.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "rfid/rfidcard.h"
#include "rfid/rfidcardfactory.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/harness.h"
#include "support/logcapture.h"

#include <QJsonArray>
#include <QLocale>
#include <QtTest>

#include <memory>

namespace {

const QJsonObject &layouts()
{
    static const QJsonObject all = JsonPath::readFile(TEST_DATA_DIR "/inspections.json").object();
    return all;
}

// data/<sample>.json with the changes, as the reader sends it.
std::unique_ptr<RfidCard> card(const QString &sample, const QJsonObject &changes = {})
{
    QJsonObject json = JsonPath::readFile(TEST_DATA_DIR "/" + sample + ".json").object();
    for (auto it = changes.begin(); it != changes.end(); ++it)
        json = JsonPath::withValue(json, it.key(), it.value());
    return std::unique_ptr<RfidCard>(RfidCardFactory::create(json.toVariantMap()));
}

// The database service's status message, fed straight through the client's received().
void setDevice(manager::MqttClient &client, int carrierId)
{
    emit client.received(R"({"service":true,"state":1,"device":{"carrierId":)" + QByteArray::number(carrierId) + "}}",
                         "zeto/db/status");
}

} // namespace

// Each layout's inspector on a data gateway whose catalogues come from the files of data/tarvik
// (axis 12, stop 1402 in zone 10, fare products 301, 302, 410, 42 and 9 named "Προϊόν <id>")
// and whose device record has carrier 3, with no broker and no back-end. The rows of
// data/inspections.json name their changes to the layout's base card (see data/README); one
// inspector a layout for every row, so that a row would show anything left of the one before.
class tst_RfidInspector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void inspects_data();
    void inspects();
    void withoutGatewayData_data();
    void withoutGatewayData();
    void dumps();
    void standardiseTime();

private:
    TestEnv mEnv;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
    QMap<QString, std::shared_ptr<RfidInspector>> mInspectors;
};

void tst_RfidInspector::initTestCase()
{
    QVERIFY2(Harness::zoneKnown(), "no time-zone data for America/New_York");
    QVERIFY(Harness::useSettings(mEnv, "[tarvik]\nurl=http://127.0.0.1:9/bo\nrouteDataSyncMin=0\nfareDataSyncMin=0\n"
                                       "actionListSyncMin=0\nstoragePath=" + mEnv.filePath("tarvik").toUtf8() + '\n'));
    // Nothing listens at the back-end's URL: the catalogues are the files only.
    for (const QString name : {"routes.json", "fares.json"})
        QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/" + name, JsonPath::readFile(TEST_DATA_DIR "/tarvik/" + name).toJson()));
    mDb = std::make_unique<DBManager>(&mClient);
    mDb->initialize();
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(9), 10000);
    QTRY_VERIFY(mDb->routeData()->findStop(1402) && mDb->routeData()->findStop(1402)->stopGroup());
    setDevice(mClient, 3);
    for (const QString &layout : layouts().keys())
        mInspectors[layout].reset(RfidInspectorFactory::create(layout, *mDb, nullptr));
}

void tst_RfidInspector::inspects_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QJsonObject>("row");
    for (const QString &layout : layouts().keys()) {
        for (const QJsonValue &row : layouts()[layout]["rows"].toArray())
            QTest::addRow("%s-%s", qPrintable(layout), qPrintable(row["row"].toString())) << layout << row.toObject();
    }
}

// The record of the row's card. A failure that keeps the ride still reports the card's last
// ride; one that does not reports nothing of it.
void tst_RfidInspector::inspects()
{
    QFETCH(QString, layout);
    QFETCH(QJsonObject, row);
    const QJsonObject base = layouts()[layout].toObject();
    const auto value = [&](const char *key) { return row.contains(key) ? row[key] : base[key]; };
    QDateTime now = QDateTime::fromString(value("now").toString(), Qt::ISODate);
    if (row["localClock"].toBool())
        now = now.toLocalTime();
    Configuration().set("zub/period_pass_hourly", row["hourly"].toBool(true));
    RfidInspector &inspector = *mInspectors[layout];
    inspector.setClock([now] { return now; });
    const std::unique_ptr<RfidCard> model = card(base["card"].toString(), row["changes"].toObject());
    LogCapture capture;

    const int denyReason = row["deny"].toInt();
    const int transType = row["type"].toInt();
    const int fareProductId = row["product"].toInt();
    QCOMPARE(inspector.inspectCard(model.get()), denyReason == 0);
    const QJsonObject json = inspector.getResult().toJson();
    QCOMPARE((QJsonArray{json["denyReason"]["id"], json["result"], json["transType"], json["fareProductId"]}),
             (QJsonArray{denyReason, denyReason == 0, transType, fareProductId}));
    const bool named = QList<int>{301, 302, 410, 42, 9}.contains(fareProductId);
    QCOMPARE(json["fareProductName"].toString(), named ? QStringLiteral("Προϊόν %1").arg(fareProductId) : QString());
    const bool ride = denyReason == 0 || value("keepsRide").toBool();
    const QJsonObject route{{"boardingStopId", ride ? 1402 : 0}, {"routeId", ride ? 12 : 0},
                            {"routeExecutionId", ride ? 99817 : 0}, {"axisName", ride ? "Γραμμή 12" : ""},
                            {"stopName", ride ? "Πλατεία" : ""}, {"zoneName", ride ? "Ζώνη Α" : ""}};
    QCOMPARE(json["route"].toObject(), route);
    QCOMPARE((QJsonArray{json["transTimestamp"], json["vehicleId"], json["deviceType"]}),
             (QJsonArray{ride ? "2024-04-08T19:30:00Z" : "", ride ? value("vehicleId").toInt() : 0, ride ? "VALIDATOR" : "Unknown"}));
    if (transType != 0)
        QCOMPARE(json[transType == 8 ? "periodPass" : "storedJourneys"], row["detail"]);
    QCOMPARE(json[transType == 8 ? "storedJourneys" : "periodPass"], QJsonValue(QJsonValue::Null));
    if (row.contains("log"))
        QVERIFY2(capture.contains(base["tag"].toString() + row["log"].toString()), qPrintable(row["log"].toString()));
}

void tst_RfidInspector::withoutGatewayData_data()
{
    QTest::addColumn<QString>("layout");
    for (const QString &layout : layouts().keys()) {
        if (layouts()[layout].toObject().contains("withoutGatewayData"))
            QTest::newRow(qPrintable(layout)) << layout;
    }
}

// Without a device record the carrier cannot match; without catalogues (no back-end link) the
// names are empty and the ids still reported; a card of another layout keeps nothing of the
// card before.
void tst_RfidInspector::withoutGatewayData()
{
    QFETCH(QString, layout);
    const QJsonValue expected = layouts()[layout]["withoutGatewayData"]; // product id, line for another layout
    const QString tag = layouts()[layout]["tag"].toString();
    const std::unique_ptr<RfidCard> model = card(layouts()[layout]["card"].toString());
    LogCapture log;
    manager::MqttClient client;
    DBManager bare(&client); // never initialised
    const std::unique_ptr<RfidInspector> inspector(RfidInspectorFactory::create(layout, bare, nullptr));
    QVERIFY(!inspector->inspectCard(model.get()));
    QCOMPARE(inspector->getResult().getDenyReason(), InspectorResult::CardInvalid);
    QVERIFY(log.contains(tag + "WARN: No device record from the database service yet: carrier id 3 cannot be matched"));
    setDevice(client, 3);
    QVERIFY(inspector->inspectCard(model.get()));
    const QJsonObject json = inspector->getResult().toJson();
    QCOMPARE(json["route"].toObject(), (QJsonObject{{"boardingStopId", 1402}, {"routeId", 12}, {"routeExecutionId", 99817},
                                                    {"axisName", ""}, {"stopName", ""}, {"zoneName", ""}}));
    QCOMPARE(json["fareProductId"], expected["product"]);
    QCOMPARE(json["fareProductName"].toString(), QString());

    InspectorResult invalid;
    invalid.reset();
    invalid.setDenyReason(InspectorResult::CardInvalid);
    QVERIFY(!inspector->inspectCard(nullptr));
    QCOMPARE(inspector->getResult().toJson(), invalid.toJson());
    QVERIFY(log.contains(tag + expected["notThisLayout"].toString()));
}

// Every line of one LUC v2 inspection, the card and transaction dumps among them.
void tst_RfidInspector::dumps()
{
    if (QLocale::system().language() != QLocale::C && QLocale::system().language() != QLocale::English)
        QSKIP("The text form of a date-time names days and months in the system locale");
    QFile golden(QStringLiteral(TEST_DATA_DIR "/lucv2-inspection.log"));
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.errorString()));
    const std::unique_ptr<RfidCard> model =
        card("lucv2", {{"data/usageLog/transactionType", 20}, {"data/usageLog/productId", 9}});
    Configuration().set("zub/period_pass_hourly", true);
    // an odd second: made even
    mInspectors["ZetoLUCv2"]->setClock([] { return QDateTime(QDate(2024, 4, 8), QTime(20, 0, 1, 500), Qt::UTC); });
    LogCapture log;
    QVERIFY(mInspectors["ZetoLUCv2"]->inspectCard(model.get()));
    QCOMPARE(log.texts().filter(QRegularExpression("^\\[inspector::ZetoLUCv2\\] ")),
             QString::fromUtf8(golden.readAll()).split('\n', Qt::SkipEmptyParts));
}

// Even to the second, counted toward zero from the epoch; milliseconds and zone kept.
void tst_RfidInspector::standardiseTime()
{
    const QDateTime odd(QDate(2025, 2, 6), QTime(12, 0, 1, 500));
    QCOMPARE(RfidInspector::standardiseTime(odd), QDateTime(QDate(2025, 2, 6), QTime(12, 0, 0, 500)));
    QCOMPARE(RfidInspector::standardiseTime(odd.addMSecs(1499)), odd.addMSecs(1499));
    const QDateTime beforeEpoch = QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC); // -1 s: odd
    QCOMPARE(RfidInspector::standardiseTime(beforeEpoch), QDateTime::fromMSecsSinceEpoch(-2500, Qt::UTC));
}

QTEST_GUILESS_MAIN(tst_RfidInspector)
#include "tst_rfidinspector.moc"
