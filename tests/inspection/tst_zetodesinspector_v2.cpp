#include "inspection/zetodesinspector_v2.h"
#include "rfid/zetodes_v2/card.h"

#include "inspectorfixture.h"

#include <climits>

namespace {

// Passes activated 2024-03-10 10:00 UTC end on 2024-04-09 (at 00:00 or 10:00 UTC).
const QDateTime kLastHour(QDate(2024, 4, 8), QTime(23, 0), Qt::UTC);
const QDateTime kExpiryMorning(QDate(2024, 4, 9), QTime(8, 0), Qt::UTC);

QJsonObject pass(int id, int status, int days = 30)
{
    return {{"productId", id}, {"status", status}, {"days", days}, {"issueTimestamp", "2024-03-01T08:00:00Z"},
            {"activationTimestamp", "2024-03-10T10:00:00Z"}};
}

QJsonObject ride(int productType, int productId)
{
    return {{"balanceAfter", 0}, {"balanceBefore", 0}, {"deviceId", 3114}, {"deviceType", 6}, {"fromStopId", 1402},
            {"journeysAfter", 6}, {"journeysBefore", 7}, {"productId", productId}, {"productType", productType},
            {"routeExecutionId", 99817}, {"routeId", 12}, {"toStopId", 0}, {"transactionCounter", 87},
            {"timestamp", "2024-04-08T19:30:00Z"}};
}

struct CardData
{
    QJsonArray passes{pass(301, 15), pass(302, 15, 60)}; // slot 0, slot 1, both present
    QJsonObject journeys{{"productId", 410}, {"status", 15}, {"journeys", 10}, {"issueTimestamp", "2024-01-05T10:00:00Z"},
                         {"activationTimestamp", "2024-01-06T06:45:00Z"}};
    QJsonArray usageLog{ride(1, 301)};
    int status = 0, issuer = 5, version = 1;

    QJsonObject json() const
    {
        const QJsonObject flags{{"personalized", false}, {"hasPeriodPass0", true}, {"hasPeriodPass1", true},
                                {"hasStoredJourneys", true}, {"hasEPurse", false}};
        const QJsonObject data{
            {"state", QJsonObject{{"status", status}, {"statusDeviceId", 77}, {"statusDeviceType", 1}, {"passengerType", 3},
                                  {"cardType", flags}, {"statusTimestamp", "2021-11-02T09:30:00Z"}}},
            {"info", QJsonObject{{"version", version}, {"issuerId", issuer}, {"passengerId", 3321},
                                 {"passengerTypeExpiryDate", "2029-08-31"}, {"expiryDate", "2031-12-31"},
                                 {"issueTimestamp", "2021-11-02T09:30:00Z"}}},
            {"periodPass", passes}, {"storedJourneys", journeys}, {"remainingJourneys", 6},
            {"transactionCounter", 88}, {"usageLog", usageLog}};
        return {{"uid", "0422AB19CD"}, {"type", 256}, {"template", "ZetoDESv2"}, {"data", data}};
    }
};

} // namespace

// The DES v2 inspector, one instance for every row, so that no row sees the one before.
class tst_ZetoDesInspectorV2 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); }
    void inspects_data();
    void inspects();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoDesInspector_v2> mInspector;
};

void tst_ZetoDesInspectorV2::inspects_data()
{
    InspectorFixture::addColumns();
    using F = InspectorFixture;
    CardData s;
    const auto row = [&s](const char *name, int deny, int type, int product, const QJsonValue &detail,
                          const QDateTime &now = kLastHour, bool hourly = true, const QString &log = QString()) {
        QTest::newRow(name) << s.json() << now << hourly << deny << type << product << detail << log;
    };
    row("pass0-hourly-last-hour", 0, 8, 301, F::days(1));
    row("pass0-midnight-last-hour", 0, 8, 301, F::days(1), kLastHour, false);
    row("pass0-hourly-expiry-day", 0, 8, 301, F::days(0), kExpiryMorning);
    row("pass0-midnight-expiry-day", 0, 8, 301, F::days(0), kExpiryMorning, false);
    row("pass0-local-clock", 0, 8, 301, F::days(1), kLastHour.toLocalTime());
    row("pass0-long-expired", 0, 8, 301, F::days(0), kLastHour.addDays(40));
    s.usageLog = {ride(1, 302)};
    row("pass1-pays", 0, 8, 302, F::days(31));
    s.usageLog = {ride(3, 410)};
    row("journeys-on-card", 0, 5, 410, F::rides(7, 6));
    s.usageLog = {ride(3, 999)};
    row("journeys-from-log", 0, 5, 999, F::rides(7, 6), kLastHour, true,
        "UsageLog last entry productId not found in card products ===> Use usageLog last entry data");
    s.usageLog = {ride(0, 301)};
    row("entry-type-0", 200, 0, 0, QJsonValue(), kLastHour, true, "No valid products found in card");
    s.usageLog = {};
    row("empty-log", 200, 0, 0, QJsonValue(), kLastHour, true, "No valid products found in card");
    s.usageLog = {ride(3, 301)};
    row("pass-before-journeys-of-entry", 0, 8, 301, F::days(1));
    s.passes = {pass(301, 16), pass(302, 15, INT_MAX)};
    s.usageLog = {ride(1, 301)};
    row("preallocated-pass-from-log", 0, 8, 301, F::days(0));
    s.usageLog = {ride(2, 302)};
    row("days-in-64-bits", 0, 8, 302, F::days(INT_MAX - 29));
    for (const int status : {1, 2, 6}) {
        s.status = status;
        row(qPrintable(QStringLiteral("status-%1").arg(status)), 200, 0, 0, QJsonValue());
    }
    s.status = 0;
    s.issuer = 0;
    row("issuer-0", 200, 0, 0, QJsonValue());
    s.issuer = 5;
    s.version = 2;
    row("version-2", 200, 0, 0, QJsonValue());
}

void tst_ZetoDesInspectorV2::inspects()
{
    QFETCH(QJsonObject, card);
    if (!mInspector)
        mInspector = std::make_unique<ZetoDesInspector_v2>(mFixture.db());
    ZetoDes_v2::Card model(card);
    QJsonObject json;
    InspectorFixture::verify(*mInspector, model, "[inspector::ZetoDESv2] ", false, json);
    QCOMPARE(json["vehicleId"].toInt(), 0); // the layout records no vehicle
}

QTEST_GUILESS_MAIN(tst_ZetoDesInspectorV2)
#include "tst_zetodesinspector_v2.moc"
