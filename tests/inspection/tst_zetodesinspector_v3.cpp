#include "inspection/zetodesinspector_v3.h"
#include "rfid/zetodes_v3/card.h"

#include "inspectorfixture.h"

#include <climits>

namespace {

const QString kTag = QStringLiteral("[inspector::ZetoDESv3] ");
const QString kNotOnCard = QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data");

} // namespace

// One instance for every row, so that a row would show anything left of the one before. Slot 0
// holds pass 301 for 30 days, slot 1 stored journeys 410 with 6 left; the last ride used 301.
class tst_ZetoDesInspectorV3 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); mInspector = std::make_unique<ZetoDesInspector_v3>(mFixture.db()); }
    void inspects_data();
    void inspects();
    void missingData();
    void standardiseTime();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoDesInspector_v3> mInspector;
};

void tst_ZetoDesInspectorV3::inspects_data()
{
    using F = InspectorFixture;
    F::addColumns();
    const auto row = [](const char *name, const F::Changes &changes, int deny, int type, int product,
                        const QJsonValue &detail, const QDateTime &now = F::lastHour, bool hourly = true,
                        const QString &log = QString()) {
        QTest::newRow(name) << F::card("desv3", changes) << now << hourly << deny << type << product << detail << log;
    };
    const auto entry = [](int type, int product) {
        return F::Changes{{"data/usageLog/0/transType", type}, {"data/usageLog/0/productId", product}};
    };
    row("pass-hourly-last-hour", {}, 0, 8, 301, F::days(1), F::lastHour, true, "  [0] (301/PeriodPass/ACTIVE)");
    row("pass-midnight-last-hour", {}, 0, 8, 301, F::days(1), F::lastHour, false);
    row("pass-hourly-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning);
    row("pass-midnight-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning, false);
    row("local-clock", {}, 0, 8, 301, F::days(1), F::lastHour.toLocalTime());
    row("pass-not-yet-active", {{"data/product0/activationTimestamp", "2024-04-10T00:00:00Z"}}, 0, 8, 301, F::days(30));
    row("pass-pending", {{"data/product0/status", 33}, {"data/product0/initialValue", INT_MAX}}, 0, 8, 301, F::days(INT_MAX));
    row("expired-pass-sorted-first", {{"data/product1/productType", 1}, {"data/product1/productId", 301}, {"data/product1/status", 12}},
        0, 8, 301, F::days(0));
    row("pass-before-journeys-slot", {{"data/product0/productType", 2}, {"data/product1/productType", 1}, {"data/product1/productId", 301}},
        0, 8, 301, F::days(1));
    row("journeys-on-card", entry(22, 410), 0, 5, 410, F::rides(7, 6));
    row("transfer-on-card", entry(20, 410), 0, 12, 410, F::rides(6, 6, "2024-04-08T19:00:00Z"), F::lastHour, true,
        "Last transaction was transfer");
    row("journeys-clamped", entry(22, 410) + F::Changes{{"data/product1/remainingValue", INT_MAX}}, 0, 5, 410,
        F::rides(INT_MAX, INT_MAX));
    row("transfer-paid-by-pass", entry(20, 301), 0, 8, 301, F::days(1));
    row("transfer-from-log", entry(20, 999), 0, 12, 999, F::rides(0, 0, "2024-04-08T19:00:00Z"), F::lastHour, true, kNotOnCard);
    row("journeys-from-log", entry(22, 999), 0, 5, 999, F::rides(1, 0));
    row("pass-from-log", entry(21, 999), 0, 8, 999, F::days(0));
    row("epurse-ride", entry(23, 999), 202, 8, 0, F::days(0), F::lastHour, true,
        "Usage log last entry does not contain any supported for inpection transactions ===> Return CardNotAllowed error");
    row("empty-log", {{"data/usageLog", QJsonArray()}}, 202, 8, 0, F::days(0), F::lastHour, true,
        "Usage log last entry does not contain any transactions ===> Return CardNotAllowed error");
    for (const auto &status : QList<QPair<int, int>>{{6, 0}, {7, 0}, {8, 0}, {1, 200}, {2, 251}, {3, 250}, {4, 252},
                                                    {5, 255}, {9, 253}, {13, 254}, {10, 200}}) {
        row(qPrintable(QStringLiteral("status-%1").arg(status.first)), {{"data/state/status", status.first}},
            status.second, 8, status.second ? 0 : 301, F::days(status.second ? 0 : 1));
    }
    row("counter-0-before-not-issued", {{"data/state/status", 1}, {"data/transactionCounter", 0}}, 206, 8, 0, F::days(0));
    row("other-carrier", {{"data/info/carrierId", 8}}, 200, 8, 0, F::days(0), F::lastHour, true, "Card has invalid carrier id.");
    row("employee-before-counter", {{"data/state/flags/employee", true}, {"data/transactionCounter", 0}}, 200, 8, 0,
        F::days(0), F::lastHour, true, "Employee Card can not be inspected ===> Return CardInvalid");
}

void tst_ZetoDesInspectorV3::inspects()
{
    QFETCH(QJsonObject, card);
    ZetoDes_v3::Card model(card);
    // A failure still reports the last ride, when there is one.
    const bool ride = !JsonPath::value(card, "data/usageLog").toArray().isEmpty();
    InspectorFixture::verify(*mInspector, model, kTag, ride, 305);
}

// Without catalogues (no back-end link) and without a device record the ids are still reported;
// a card of another layout keeps nothing of the card before.
void tst_ZetoDesInspectorV3::missingData()
{
    ZetoDes_v3::Card card(InspectorFixture::card("desv3"));
    LogCapture log;
    manager::MqttClient client;
    DBManager bare(&client); // never initialised: no catalogues, no device record yet
    ZetoDesInspector_v3 alone(bare);
    QVERIFY(!alone.inspectCard(&card));
    QCOMPARE(alone.getResult().getDenyReason(), InspectorResult::CardInvalid);
    QVERIFY(log.containsPart(kTag + "WARN: No device record"));
    InspectorFixture::setDevice(client, 3);
    QVERIFY(alone.inspectCard(&card));
    const QJsonObject route{{"boardingStopId", 1402}, {"routeId", 12}, {"routeExecutionId", 99817},
                            {"axisName", ""}, {"stopName", ""}, {"zoneName", ""}};
    QCOMPARE(alone.getResult().toJson()["route"].toObject(), route);
    QCOMPARE(alone.getResult().toJson()["fareProductId"].toInt(), 301);
    QCOMPARE(alone.getResult().toJson()["deviceType"].toString(), QStringLiteral("VALIDATOR"));

    InspectorResult invalid;
    invalid.reset();
    invalid.setDenyReason(InspectorResult::CardInvalid);
    QVERIFY(!alone.inspectCard(nullptr));
    QCOMPARE(alone.getResult().toJson(), invalid.toJson());
    QVERIFY(log.contains(kTag + "Card object creation failed"));
}

// Even to the second, counted toward zero from the epoch; milliseconds and zone kept.
void tst_ZetoDesInspectorV3::standardiseTime()
{
    const QDateTime odd(QDate(2025, 2, 6), QTime(12, 0, 1, 500));
    QCOMPARE(RfidInspector::standardiseTime(odd), QDateTime(QDate(2025, 2, 6), QTime(12, 0, 0, 500)));
    QCOMPARE(RfidInspector::standardiseTime(odd.addMSecs(1499)), odd.addMSecs(1499));
    const QDateTime beforeEpoch = QDateTime::fromMSecsSinceEpoch(-1500, Qt::UTC); // -1 s: odd
    QCOMPARE(RfidInspector::standardiseTime(beforeEpoch), QDateTime::fromMSecsSinceEpoch(-2500, Qt::UTC));
}

QTEST_GUILESS_MAIN(tst_ZetoDesInspectorV3)
#include "tst_zetodesinspector_v3.moc"
