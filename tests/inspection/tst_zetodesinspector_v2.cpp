#include "inspection/zetodesinspector_v2.h"
#include "rfid/zetodes_v2/card.h"

#include "inspectorfixture.h"

#include <climits>

namespace {

const QString kNotOnCard = QStringLiteral("UsageLog last entry productId not found in card products ===> Use usageLog last entry data");

} // namespace

// One instance for every row, so that a row would show anything left of the one before. Slot 0
// holds pass 301 for 30 days, slot 1 pass 302 for 60 days, activated together.
class tst_ZetoDesInspectorV2 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mFixture.setUp(); mInspector = std::make_unique<ZetoDesInspector_v2>(mFixture.db()); }
    void inspects_data();
    void inspects();

private:
    InspectorFixture mFixture;
    std::unique_ptr<ZetoDesInspector_v2> mInspector;
};

void tst_ZetoDesInspectorV2::inspects_data()
{
    using F = InspectorFixture;
    F::addColumns();
    const auto row = [](const char *name, const F::Changes &changes, int deny, int type, int product,
                        const QJsonValue &detail, const QDateTime &now = F::lastHour, bool hourly = true,
                        const QString &log = QString()) {
        QTest::newRow(name) << F::card("desv2", changes) << now << hourly << deny << type << product << detail << log;
    };
    const auto entry = [](int type, int product) {
        return F::Changes{{"data/usageLog/0/productType", type}, {"data/usageLog/0/productId", product}};
    };
    row("pass0-hourly-last-hour", {}, 0, 8, 301, F::days(1));
    row("pass0-midnight-last-hour", {}, 0, 8, 301, F::days(1), F::lastHour, false);
    row("pass0-hourly-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning);
    row("pass0-midnight-expiry-day", {}, 0, 8, 301, F::days(0), F::expiryMorning, false);
    row("pass0-local-clock", {}, 0, 8, 301, F::days(1), F::lastHour.toLocalTime());
    row("pass0-long-expired", {}, 0, 8, 301, F::days(0), F::lastHour.addDays(40));
    row("pass1-pays", entry(1, 302), 0, 8, 302, F::days(31));
    row("pass-for-journeys-entry", entry(3, 301), 0, 8, 301, F::days(1));
    row("journeys-on-card", entry(3, 410), 0, 5, 410, F::rides(7, 6));
    row("journeys-from-log", entry(3, 999), 0, 5, 999, F::rides(7, 6), F::lastHour, true, kNotOnCard);
    row("preallocated-pass-from-log", {{"data/periodPass/0/status", 16}}, 0, 8, 301, F::days(0), F::lastHour, true, kNotOnCard);
    row("days-in-64-bits", {{"data/periodPass/0/days", INT_MAX}}, 0, 8, 301, F::days(INT_MAX - 29));
    row("entry-type-0", entry(0, 301), 200, 0, 0, {}, F::lastHour, true, "No valid products found in card");
    row("empty-log", {{"data/usageLog", QJsonArray()}}, 200, 0, 0, {}, F::lastHour, true, "No valid products found in card");
    for (const int status : {1, 2, 6})
        row(qPrintable(QStringLiteral("status-%1").arg(status)), {{"data/state/status", status}}, 200, 0, 0, {});
    row("issuer-0", {{"data/info/issuerId", 0}}, 200, 0, 0, {});
    row("version-2", {{"data/info/version", 2}}, 200, 0, 0, {});
}

void tst_ZetoDesInspectorV2::inspects()
{
    QFETCH(QJsonObject, card);
    ZetoDes_v2::Card model(card);
    InspectorFixture::verify(*mInspector, model, "[inspector::ZetoDESv2] ", false, 0);
}

QTEST_GUILESS_MAIN(tst_ZetoDesInspectorV2)
#include "tst_zetodesinspector_v2.moc"
