#include "inspection/rfidinspector.h"
#include "inspection/rfidinspectorfactory.h"
#include "inspection/zetodesinspector_v2.h"
#include "inspection/zetolucinspector.h"
#include "inspection/zetolucinspector_v2.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "rfid/rfidcard.h"
#include "rfid/rfidcardfactory.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetoluc/card.h"
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
    void inspectionReportsRideOrDenyReason_data();
    void inspectionReportsRideOrDenyReason();
    void standardiseTime();

private:
    void callOutsideInspection(RfidInspector &inspector, RfidCard *model, const QDateTime &now, const QJsonObject &row,
                               const QString &tag);

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

void tst_RfidInspector::inspectionReportsRideOrDenyReason_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QJsonObject>("row");
    for (const QString &layout : layouts().keys()) {
        for (const QJsonValue &row : layouts()[layout]["rows"].toArray())
            QTest::addRow("%s-%s", qPrintable(layout), qPrintable(row["row"].toString())) << layout << row.toObject();
    }
}

// The record of the row's card (by default the layout's). A failure that keeps the ride still
// reports the card's last ride; one that does not reports nothing of it. A "bare" row inspects
// through a gateway never initialised: no catalogues (no back-end link), so no names, and no
// device record unless the database service names the carrier ("device").
void tst_RfidInspector::inspectionReportsRideOrDenyReason()
{
    QFETCH(QString, layout);
    QFETCH(QJsonObject, row);
    const QJsonObject base = layouts()[layout].toObject();
    const auto value = [&](const char *key) { return row.contains(key) ? row[key] : base[key]; };
    QDateTime now = QDateTime::fromString(value("now").toString(), Qt::ISODate);
    if (row["localClock"].toBool())
        now = now.toLocalTime();
    Configuration().set("zub/period_pass_hourly", row["hourly"].toBool(true));
    manager::MqttClient bareClient;
    std::unique_ptr<DBManager> bare;
    std::unique_ptr<RfidInspector> bareInspector;
    if (row["bare"].toBool()) {
        bare = std::make_unique<DBManager>(&bareClient);
        bareInspector.reset(RfidInspectorFactory::create(layout, *bare, nullptr));
        if (row.contains("device"))
            setDevice(bareClient, row["device"].toInt());
    }
    RfidInspector &inspector = bare ? *bareInspector : *mInspectors[layout];
    inspector.setClock([now] { return now; });
    const std::unique_ptr<RfidCard> model = card(value("card").toString(), row["changes"].toObject());
    if (row.contains("call"))
        return callOutsideInspection(inspector, model.get(), now, row, base["tag"].toString());
    LogCapture capture;

    const int denyReason = row["deny"].toInt();
    const int transType = row["type"].toInt();
    const int fareProductId = row["product"].toInt();
    QCOMPARE(inspector.inspectCard(model.get()), denyReason == 0);
    const QJsonObject json = inspector.getResult().toJson();
    QCOMPARE((QJsonArray{json["denyReason"]["id"], json["result"], json["transType"], json["fareProductId"]}),
             (QJsonArray{denyReason, denyReason == 0, transType, fareProductId}));
    const bool named = !bare && QList<int>{301, 302, 410, 42, 9}.contains(fareProductId);
    QCOMPARE(json["fareProductName"].toString(), named ? QStringLiteral("Προϊόν %1").arg(fareProductId) : QString());
    const bool ride = denyReason == 0 || value("keepsRide").toBool();
    const bool catalogued = ride && !bare;
    const QJsonObject route{{"boardingStopId", ride ? 1402 : 0}, {"routeId", ride ? 12 : 0},
                            {"routeExecutionId", ride ? 99817 : 0}, {"axisName", catalogued ? "Γραμμή 12" : ""},
                            {"stopName", catalogued ? "Πλατεία" : ""}, {"zoneName", catalogued ? "Ζώνη Α" : ""}};
    QCOMPARE(json["route"].toObject(), route);
    QCOMPARE((QJsonArray{json["transTimestamp"], json["vehicleId"], json["deviceType"]}),
             (QJsonArray{ride ? "2024-04-08T19:30:00Z" : "", ride ? value("vehicleId").toInt() : 0, ride ? "VALIDATOR" : "Unknown"}));
    if (transType != 0)
        QCOMPARE(json[transType == 8 ? "periodPass" : "storedJourneys"], row["detail"]);
    QCOMPARE(json[transType == 8 ? "storedJourneys" : "periodPass"], QJsonValue(QJsonValue::Null));
    if (row.contains("log"))
        QVERIFY2(capture.contains(base["tag"].toString() + row["log"].toString()), qPrintable(row["log"].toString()));
    if (!row.contains("logFile"))
        return;
    if (QLocale::system().language() != QLocale::C && QLocale::system().language() != QLocale::English)
        QSKIP("The text form of a date-time names days and months in the system locale");
    QFile golden(TEST_DATA_DIR "/" + row["logFile"].toString());
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.errorString()));
    QCOMPARE(capture.texts().filter(base["tag"].toString()), QString::fromUtf8(golden.readAll()).split('\n', Qt::SkipEmptyParts));
}

// A row that names an operation no inspection calls: what it returns, as "expected", and every
// line it logs after the layout's tag, as "lines".
void tst_RfidInspector::callOutsideInspection(RfidInspector &inspector, RfidCard *model, const QDateTime &now,
                                              const QJsonObject &row, const QString &tag)
{
    const QString call = row["call"].toString();
    QJsonArray got;
    LogCapture log;
    for (const QJsonValue &reason : row["blockReasons"].toArray())
        got << int(ZetoLUCInspector_v2::mapBlockReasonToCardStatus(SCBlacklistEntry::BlockReason(reason.toInt())));
    const auto run = [&](auto &layoutInspector, auto *layoutCard, auto *pass, auto *journeys, const auto &print) {
        layoutInspector.mNow = now;
        auto transaction = layoutInspector.createTransaction(layoutCard);
        if (call == "passExpired")
            got << layoutInspector.checkPeriodPassExpired(pass);
        if (call == "journeysExpired")
            got << layoutInspector.checkStoredJourneysExpired(journeys, transaction) << int(transaction.denyReason);
        if (call == "print")
            print(layoutInspector);
    };
    if (auto *des = dynamic_cast<ZetoDes_v2::Card *>(model))
        run(static_cast<ZetoDesInspector_v2 &>(inspector), des, des->getPeriodPass0(), des->getStoredJourneys(),
            [des](auto &desInspector) { desInspector.printFareProducts(des); });
    if (auto *luc = dynamic_cast<ZetoLUC::Card *>(model))
        run(static_cast<ZetoLucInspector &>(inspector), luc, luc->getPeriodPass(), luc->getStoredJourneys(),
            [luc, flags = row["flags"].toArray()](auto &lucInspector) {
                lucInspector.printFareProducts(luc, {flags[0].toBool(), flags[1].toBool()});
            });
    QCOMPARE(got, row["expected"].toArray());
    QCOMPARE(log.texts().filter(tag).replaceInStrings(tag, QString()), row["lines"].toVariant().toStringList());
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
