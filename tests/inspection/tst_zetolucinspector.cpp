#include "inspection/zetolucinspector.h"
#include "rfid/zetoluc/card.h"

#include "inspectorfixture.h"

namespace {

// The pass, activated 2024-03-10 10:00 UTC for 30 days, ends on 2024-04-09 (at 00:00 or 10:00 UTC).
const QDateTime kLastHour(QDate(2024, 4, 8), QTime(23, 0), Qt::UTC);
const QDateTime kExpiryMorning(QDate(2024, 4, 9), QTime(8, 0), Qt::UTC);

struct CardData
{
    int passId = 301, passStatus = 15, journeysId = 410, journeysStatus = 15;
    int entryType = 1, entryProduct = 301, status = 0, issuer = 5, version = 1;
    QString vehicle = QStringLiteral("1234");

    QJsonObject json() const
    {
        const QJsonObject data{
            {"state", QJsonObject{{"status", status}, {"statusDeviceId", 12}, {"statusDeviceType", 1}, {"passengerType", 2},
                                  {"cardType", QJsonObject{{"hasPeriodPass", true}, {"hasStoredJourneys", true}}},
                                  {"statusTimestamp", "2023-09-01T08:00:00Z"}}},
            {"info", QJsonObject{{"version", version}, {"issuerId", issuer}}},
            {"periodPass", QJsonObject{{"productId", passId}, {"status", passStatus}, {"days", 30},
                                       {"activationTimestamp", "2024-03-10T10:00:00Z"}}},
            {"storedJourneys", QJsonObject{{"productId", journeysId}, {"status", journeysStatus}, {"remainingJourneys", 6}}},
            {"usageLog", QJsonObject{{"productType", entryType}, {"productId", entryProduct},
                                     {"timestamp", "2024-04-08T19:30:00Z"}, {"vehicleId", vehicle}, {"deviceId", 3114},
                                     {"deviceType", 6}, {"routeId", 12}, {"routeExecutionId", 99817},
                                     {"fromStopId", 1402}, {"journeysBefore", 7}, {"journeysAfter", 6}}}};
        return {{"uid", "04A1B2C3D4"}, {"type", 4}, {"template", "ZetoLUC"}, {"data", data}};
    }
};

} // namespace

// The LUC inspector, one instance for every row, so that no row sees the one before.
class tst_ZetoLucInspector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); }
    void inspects_data();
    void inspects();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoLucInspector> mInspector;
};

void tst_ZetoLucInspector::inspects_data()
{
    InspectorFixture::addColumns();
    QTest::addColumn<int>("vehicleId");
    using F = InspectorFixture;
    CardData s;
    const auto row = [&s](const char *name, int deny, int type, int product, const QJsonValue &detail,
                          const QDateTime &now = kLastHour, bool hourly = true, const QString &log = QString()) {
        const int vehicle = deny == 0 && s.vehicle == QLatin1String("1234") ? 1234 : 0; // base 10 only
        QTest::newRow(name) << s.json() << now << hourly << deny << type << product << detail << log << vehicle;
    };
    row("pass-hourly-last-hour", 0, 8, 301, F::days(1));
    row("pass-midnight-last-hour", 0, 8, 301, F::days(1), kLastHour, false);
    row("pass-hourly-expiry-day", 0, 8, 301, F::days(0), kExpiryMorning);
    row("pass-midnight-expiry-day", 0, 8, 301, F::days(0), kExpiryMorning, false);
    row("pass-local-clock", 0, 8, 301, F::days(1), kLastHour.toLocalTime());
    s.journeysId = 301;
    s.entryType = 2;
    row("both-match-pass-pays", 0, 8, 301, F::days(1));
    s.passStatus = 16;
    row("journeys-pay", 0, 5, 301, F::rides(7, 6), kLastHour, true, "storedJourneys status 15");
    s.entryProduct = 999;
    s.vehicle = QStringLiteral("0x10");
    row("journeys-from-entry", 0, 5, 999, F::rides(7, 6), kLastHour, true,
        "UsageLog last entry productId not found in card products ===> Use usageLog last entry data");
    s.entryType = 1;
    s.vehicle.clear();
    row("pass-from-entry", 0, 8, 999, F::days(0));
    s = CardData();
    s.entryType = 0;
    row("entry-type-0", 200, 0, 0, QJsonValue(), kLastHour, true, "Card does not contain any valid products.");
    s.entryType = 1;
    s.status = 3;
    row("blocked-searched-first", 200, 0, 0, QJsonValue(), kLastHour, true, "periodPass status 15");
    s.status = 0;
    s.issuer = 0;
    row("issuer-0", 200, 0, 0, QJsonValue());
    s.issuer = 5;
    s.version = 2;
    row("version-2", 200, 0, 0, QJsonValue());
}

void tst_ZetoLucInspector::inspects()
{
    QFETCH(QJsonObject, card);
    if (!mInspector)
        mInspector = std::make_unique<ZetoLucInspector>(mFixture.db());
    ZetoLUC::Card model(card);
    QJsonObject json;
    InspectorFixture::verify(*mInspector, model, "[inspector::ZetoLUC] ", false, json);
    QTEST(json["vehicleId"].toInt(), "vehicleId");
}

QTEST_GUILESS_MAIN(tst_ZetoLucInspector)
#include "tst_zetolucinspector.moc"
