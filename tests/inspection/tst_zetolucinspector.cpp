#include "inspection/zetolucinspector.h"
#include "rfid/zetoluc/card.h"

#include "inspectorfixture.h"

// One instance for every row, so that a row would show anything left of the one before.
class tst_ZetoLucInspector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); mInspector = std::make_unique<ZetoLucInspector>(mFixture.db()); }
    void inspects_data();
    void inspects();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoLucInspector> mInspector;
};

void tst_ZetoLucInspector::inspects_data()
{
    using F = InspectorFixture;
    F::addColumns();
    QTest::addColumn<int>("vehicleId");
    const auto row = [](const char *name, const F::Changes &changes, int deny, int type, int product,
                        const QJsonValue &detail, const QDateTime &now = F::lastHour, bool hourly = true,
                        const QString &log = QString(), int vehicle = 1234) {
        QTest::newRow(name) << F::card("luc", changes) << now << hourly << deny << type << product << detail << log << vehicle;
    };
    const auto entry = [](int type, int product, const char *vehicle = "1234") {
        return F::Changes{{"data/usageLog/productType", type}, {"data/usageLog/productId", product},
                          {"data/usageLog/vehicleId", vehicle}, {"data/storedJourneys/productId", 301}};
    };
    row("pass-hourly-last-hour", {}, 0, 8, 301, F::days(1));
    row("pass-midnight-last-hour", {}, 0, 8, 301, F::days(1), F::lastHour, false);
    row("pass-hourly-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning);
    row("pass-midnight-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning, false);
    row("both-match-pass-pays", entry(2, 301), 0, 8, 301, F::days(1));
    row("journeys-pay", entry(2, 301) + F::Changes{{"data/periodPass/status", 16}}, 0, 5, 301, F::rides(7, 6),
        F::lastHour, true, "storedJourneys status 15");
    row("journeys-from-entry", entry(2, 999, "0x10"), 0, 5, 999, F::rides(7, 6), F::lastHour, true,
        "UsageLog last entry productId not found in card products ===> Use usageLog last entry data", 0);
    row("pass-from-entry", entry(1, 999, ""), 0, 8, 999, F::days(0), F::lastHour, true, QString(), 0);
    row("entry-type-0", entry(0, 301), 200, 0, 0, {}, F::lastHour, true, "Card does not contain any valid products.");
    row("blocked-searched-first", {{"data/state/status", 3}}, 200, 0, 0, {}, F::lastHour, true, "periodPass status 15");
    row("issuer-0", {{"data/info/issuerId", 0}}, 200, 0, 0, {});
    row("version-2", {{"data/info/version", 2}}, 200, 0, 0, {});
}

void tst_ZetoLucInspector::inspects()
{
    QFETCH(QJsonObject, card);
    QFETCH(int, vehicleId); // base 10 only
    ZetoLUC::Card model(card);
    InspectorFixture::verify(*mInspector, model, "[inspector::ZetoLUC] ", false, vehicleId);
}

QTEST_GUILESS_MAIN(tst_ZetoLucInspector)
#include "tst_zetolucinspector.moc"
