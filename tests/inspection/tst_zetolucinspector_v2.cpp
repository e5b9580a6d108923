#include "inspection/zetolucinspector_v2.h"

#include "inspectorfixture.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

// The pass (42, 30 days) ends 2024-04-09 at 00:00 or 10:00 UTC: 240 or 840 minutes after now.
const QDateTime kNow(QDate(2024, 4, 8), QTime(20, 0), Qt::UTC);

InspectorFixture::Changes ride(int transactionType, int productId)
{
    return {{"data/usageLog/transactionType", transactionType}, {"data/usageLog/productId", productId}};
}

InspectorFixture::Changes slot(int index, int productId, int status, int type, int days = 30)
{
    const QString key = QStringLiteral("data/product%1/").arg(index);
    return {{key + "productId", productId}, {key + "status", status}, {key + "productType", type}, {key + "initialValue", days}};
}

} // namespace

// One instance for every row, so that a row would show anything left of the one before.
class tst_ZetoLUCInspectorV2 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); mInspector = std::make_unique<ZetoLUCInspector_v2>(mFixture.db()); }
    void inspects_data();
    void inspects();
    void withoutGatewayData();
    void dumps();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoLUCInspector_v2> mInspector;
};

void tst_ZetoLUCInspectorV2::inspects_data()
{
    using F = InspectorFixture;
    F::addColumns();
    const auto row = [](const char *name, const F::Changes &changes, int deny, int type, int product,
                        const QJsonValue &detail, const QString &log = QString(), const QDateTime &now = kNow,
                        bool hourly = true) {
        QTest::newRow(name) << F::card("lucv2", changes) << now << hourly << deny << type << product << detail << log;
    };
    row("pass-hourly-840-min", {}, 0, 8, 42, F::days(1));
    row("pass-midnight-240-min", {}, 0, 8, 42, F::days(0), {}, kNow, false);
    row("pending-pass", slot(0, 42, 33, 1), 0, 8, 42, F::days(30));
    row("expired-before-active", slot(1, 42, 12, 1), 0, 8, 42, F::days(0), "  [1] (42/PeriodPass/EXPIRED)");
    row("equal-status-slot-order", slot(1, 42, 15, 1, 60), 0, 8, 42, F::days(1));
    row("pass-from-log", ride(21, 77), 0, 8, 77, F::days(0));
    row("pass-ride-on-journeys", ride(21, 9), 0, 5, 9, F::rides(8, 7));
    row("journeys", ride(22, 9), 0, 5, 9, F::rides(8, 7));
    row("transfer", ride(20, 9), 0, 12, 9, F::rides(7, 7, "2024-04-08T19:00:00Z"), "Last transaction was transfer");
    row("unallocated-from-log", ride(22, 9) + slot(1, 9, 0, 2), 0, 5, 9, F::rides(1, 0));
    row("epurse-no-candidate", ride(22, 9) + slot(0, 9, 15, 0) + slot(1, 9, 0, 2), 0, 5, 9, F::rides(1, 0));
    row("never-used", ride(0, 0), 202, 8, 42, F::days(1),
        "Card does not contain any mathcing products with usage log last entry productId");
    row("not-issued", {{"data/state/status", 1}}, 200, 8, 42, F::days(1), "Card state is 'Not Issued' : 1");
    row("blocked-status-not-read", {{"data/state/status", 2}}, 0, 8, 42, F::days(1));
    row("issuer-0", {{"data/info/issuerId", 0}}, 200, 8, 42, F::days(1), "Card issuer is invalid : 0");
    row("version-1", {{"data/info/version", 1}}, 200, 8, 42, F::days(1), "Card version not supported : 1");
    row("other-carrier", {{"data/info/carrierId", 7}}, 200, 8, 42, F::days(1), "Card carried Id is invalid : 7");
    row("preset-journeys-on-failure", slot(0, 9, 15, 2) + slot(1, 9, 0, 2) + F::Changes{{"data/state/status", 1}},
        200, 5, 9, F::rides(0, 0));
}

void tst_ZetoLUCInspectorV2::inspects()
{
    QFETCH(QJsonObject, card);
    ZetoLUCv2::Card model(card);
    InspectorFixture::verify(*mInspector, model, "[inspector::ZetoLUCv2] ", true, 1234);
}

// Without a device record the carrier cannot match; without catalogues the names are empty
// and the ids still reported; another layout keeps nothing of the card before.
void tst_ZetoLUCInspectorV2::withoutGatewayData()
{
    manager::MqttClient client;
    DBManager bare(&client); // never initialised
    ZetoLUCInspector_v2 inspector(bare);
    ZetoLUCv2::Card card(InspectorFixture::card("lucv2"));
    LogCapture log;
    QVERIFY(!inspector.inspectCard(&card));
    QCOMPARE(inspector.getResult().getDenyReason(), InspectorResult::CardInvalid);
    QVERIFY(log.contains("[inspector::ZetoLUCv2] WARN: No device record from the database service yet: carrier id 3 "
                         "cannot be matched"));
    InspectorFixture::setDevice(client, 3);
    QVERIFY(inspector.inspectCard(&card));
    const QJsonObject json = inspector.getResult().toJson();
    QCOMPARE(json["fareProductId"].toInt(), 42);
    QCOMPARE(json["route"].toObject(), (QJsonObject{{"boardingStopId", 1402}, {"routeId", 12}, {"routeExecutionId", 99817},
                                                    {"axisName", ""}, {"stopName", ""}, {"zoneName", ""}}));

    QVERIFY(!inspector.inspectCard(nullptr));
    QCOMPARE(inspector.getResult().getDenyReason(), InspectorResult::CardInvalid);
    QCOMPARE(inspector.getResult().toJson().value("route")["boardingStopId"].toInt(), 0);
    QVERIFY(log.contains("[inspector::ZetoLUCv2] Not an ZetoLUCv2 card"));
}

// Every line of one inspection, the card and transaction dumps among them.
void tst_ZetoLUCInspectorV2::dumps()
{
    if (QLocale::system().language() != QLocale::C && QLocale::system().language() != QLocale::English)
        QSKIP("The text form of a date-time names days and months in the system locale");
    QFile golden(QStringLiteral(TEST_DATA_DIR "/lucv2-inspection.log"));
    QVERIFY2(golden.open(QIODevice::ReadOnly), qPrintable(golden.errorString()));
    ZetoLUCv2::Card card(InspectorFixture::card("lucv2", ride(20, 9)));
    Configuration().set("zub/period_pass_hourly", true);
    mInspector->setClock([] { return kNow.addMSecs(1500); }); // an odd second: made even
    LogCapture log;
    QVERIFY(mInspector->inspectCard(&card));
    QCOMPARE(log.texts().filter(QRegularExpression("^\\[inspector::ZetoLUCv2\\] ")),
             QString::fromUtf8(golden.readAll()).split('\n', Qt::SkipEmptyParts));
}

QTEST_GUILESS_MAIN(tst_ZetoLUCInspectorV2)
#include "tst_zetolucinspector_v2.moc"
