#include "qr/qrvalidator.h"
#include "qr/qrvalidatorfactory.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "tarvik/faremanager.h"
#include "tarvik/fareproducts.h"
#include "tarvik/route.h"
#include "tickets/qrticketfactory.h"

#include "support/brokerfixture.h"
#include "support/dbservicepeer.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QString secs(qint64 offset) { return QString::number(kNow.toSecsSinceEpoch() + offset); }
QString iso(qint64 offset) { return kNow.addSecs(offset).toLocalTime().toString(Qt::ISODate); }

// `base` with fields replaced by position, cut to `count` fields.
QString ticket(const QString &base, const QList<QPair<int, QString>> &changes, int count = -1)
{
    QStringList f = base.split('|');
    for (const auto &change : changes)
        f[change.first] = change.second;
    return f.mid(0, count).join('|');
}

// Axis 6, user 1234, device A1, zones 2 to 3, ticket 99, product 5, passenger type 1, no
// expiry, valid from 10 minutes ago for an hour, carrier 7.
QString urban(const QList<QPair<int, QString>> &changes = {}, int count = 19)
{
    return ticket(QStringLiteral("6|1234|A1|R1|2|3|%1|99|0|0|false|PASSENGER|0|5|1|0|%2|3600|7").arg(secs(-3600), secs(-600)),
                  changes, count);
}

// The same, valid from 95 s ago, a tick every 30 s: tick 3 now.
QString dynamic(const QList<QPair<int, QString>> &changes = {})
{
    return ticket(QStringLiteral("DYNAMIC|1234|A1|%1|99|5|1|%2|3600|7|30|3").arg(secs(-3600), secs(-95)), changes);
}

// The fields a check may have set before it denied.
QString fields(const ValidatorResult &r)
{
    return QStringLiteral("pt=%1 issued=%2 fp=%3 name=%4 min=%5 expiry=%6")
        .arg(r.getPassengerType().first).arg(r.getIssueTimestamp().isValid() ? "y" : "n").arg(r.getFareProductId())
        .arg(r.getFareProductName()).arg(r.getTransferDuration()).arg(r.getExpiry());
}

void add(const char *name, const QString &text, int reason, const QString &fields, const QString &logLine)
{
    QTest::newRow(name) << text << reason << fields << logLine;
}

struct OtherTicket : QrTicket {
    explicit OtherTicket(const char *type) : QrTicket(type) {}
};

} // namespace

// Both formats on the route of data/route.json, at stop 21 (public 210) of zone 2; the back-end
// files of data/tarvik name the zones and product 4. Rows "<format>-passback-<answer>" script the
// database service's answer to the pass-back look-up.
class tst_QrValidator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void validates_data();
    void validates();
    void withoutBackendLinkNamesNothing();
    void factoryPicksByExactTypeName_data();
    void factoryPicksByExactTypeName();

private:
    ValidatorResult validate(const QString &text, DBManager &db, int *emitted = nullptr);

    BrokerFixture mBroker;
    TestEnv mEnv;
    std::unique_ptr<LogCapture> mLog;
    DbServicePeer mPeer;
    manager::MqttClient mClient;
    std::unique_ptr<DBManager> mDb;
    std::shared_ptr<tarvik::Route> mRoute;
};

void tst_QrValidator::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QVERIFY2(QDateTime::currentDateTime().offsetFromUtc() < 0, "no time-zone data for America/New_York");
    // The back-end link reads its files only: nobody listens at its URL, and it never syncs.
    const QByteArray settings = "[zub]\nlcd_language=en\n[tarvik]\nurl=http://127.0.0.1:9/bo\nstoragePath="
        + mEnv.filePath("tarvik").toUtf8() + "\nrouteDataSyncMin=0\nfareDataSyncMin=0\nactionListSyncMin=0\n";
    QVERIFY(mEnv.writeFile("zub.conf", settings));
    manager::Settings::instance()->setDefaultLocation(QFileInfo(mEnv.settingsFile()));
    // Known to every build that links the validators.
    QCOMPARE(Configuration::defaults().value("validator/qr_passback"), QVariant(true));
    QCOMPARE(Configuration::defaults().value("zub/lcd_language"), QVariant("el"));
    for (const QString name : {"routes.json", "fares.json"})
        QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/" + name, JsonPath::readFile(TEST_DATA_DIR "/tarvik/" + name).toJson()));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mLog = std::make_unique<LogCapture>();
    QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()));
    mClient.setHostname(mBroker.host());
    mClient.setPort(mBroker.port());
    mDb = std::make_unique<DBManager>(&mClient);
    QSignalSpy connected(&mClient, &manager::MqttClient::connected);
    mClient.connect();
    QVERIFY(connected.wait(10000));
    mDb->initialize();
    // The request topic is the gateway's last subscription: once the UI's request gets through,
    // the answers to the gateway's own do too.
    QSignalSpy ready(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
    QVERIFY(QTest::qWaitFor([&] { return mPeer.publishUiRequest("issueSingleTicket", 0), ready.wait(20); }, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(4), 10000);

    const QJsonObject route = JsonPath::readFile(TEST_DATA_DIR "/route.json").object();
    mRoute = std::make_shared<tarvik::Route>(route["route"].toObject());
    mRoute->setCarrierId(route["carrierId"].toInt());
    mRoute->setFareProducts(tarvik::FareProducts(route["fareProducts"].toObject()));
    QVERIFY(mRoute->acceptRouteProgress(tarvik::RouteProgress(6, 21)));
}

void tst_QrValidator::validates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("logLine");
    const QString valid = "pt=1 issued=y fp=5 name= min=0 expiry=";
    const QString checked = "pt=1 issued=y fp=0 name= min=0 expiry=";
    const QString notFound = "DBManager did not return a ticket with id=7-1234-A1-99";
    add("urban-valid", urban(), 0, valid, "Storing ticket with id '7-1234-A1-99'");
    // The uid takes the route's carrier; no carrier, no validity start, any axis.
    add("urban-short-form", urban({{0, "0"}}, 16), 0, valid, "Ticket does not have validity start date ");
    add("urban-empty", urban({{16, "-1"}}), 500, "pt=0 issued=n fp=0 name= min=0 expiry=", "Ticket is empty");
    add("urban-other-carrier", urban({{18, "8"}}), 100, "pt=0 issued=n fp=0 name= min=0 expiry=",
        "FareProduct(5) has carrierId = 8 which does not agree with Route (axisId = 6) carrierId = 7");
    add("urban-product-not-on-route", urban({{13, "4"}}), 102, checked, "FareProduct(4) is not a part of Route with axisId = 6");
    add("urban-passenger-type-not-admitted", urban({{14, "9"}}), 102, "pt=0 issued=y fp=0 name= min=0 expiry=",
        "FareProduct(5) does not contain PassengerType(9)");
    add("urban-passback-hit", urban(), 103, checked, "Ticket(99) already validated");
    add("urban-passback-empty", urban(), 0, valid, notFound);
    add("urban-passback-timeout", urban(), 0, valid, notFound);
    add("urban-expired-yesterday", urban({{15, secs(-86400)}}), 101, checked + "2026/03/09", "Ticket expired");
    add("urban-expires-today", urban({{15, secs(0)}}), 0, valid, "ExpiryDate: 2026/03/10");
    add("urban-not-yet-active", urban({{16, secs(1)}}), 104, checked, "Ticket not valid yet. Valid start date " + iso(1));
    add("urban-starts-now", urban({{16, secs(0)}}), 0, valid, "Ticket validity start date " + iso(0));
    add("urban-life-ends-now", urban({{17, "600"}}), 0, valid, "Ticket lifespan until " + iso(0));
    add("urban-life-ended", urban({{17, "599"}}), 101, checked + "2026/03/10",
        "Ticket expired. Valid since" + iso(-600) + " with life span 599s until " + iso(-1));
    add("urban-no-life-span", urban({{17, "-1"}}), 0, valid, "Ticket does not have lifespan value");
    add("urban-other-axis", urban({{0, "5"}}), 102, checked, "Ticket invalid on Route(6). It is issued for Route(5)");
    add("urban-product-not-active", urban({{13, "8"}}), 102, checked, "FareProduct(8) is not enabled.");
    add("urban-parcel", urban({{11, "PARCEL"}}), 102, valid, "TicketType(PARCEL) is not allowed");

    const QString pays = "pt=1 issued=y fp=5 name=Product 5 min=58 expiry=";
    const QString atStart = "pt=1 issued=y fp=5 name=Product 5 min=60 expiry=";
    const QString tickOff = "Tick Count calculated : 3 , does not match Qr tick count : ";
    add("dynamic-valid", dynamic(), 0, pays, "Storing ticket with id '007-000-00001234-0A1-0000099'");
    add("dynamic-tick-behind", dynamic({{11, "2"}}), 0, pays, "Ticket tickCount difference is : 1");
    add("dynamic-tick-ahead", dynamic({{11, "4"}}), 0, pays, "Ticket tickCount difference is : -1");
    add("dynamic-two-ticks-behind", dynamic({{11, "1"}}), 110, pays, tickOff + "1");
    add("dynamic-two-ticks-ahead", dynamic({{11, "5"}}), 110, pays, tickOff + "5");
    add("dynamic-tick-beyond-16-bits", dynamic({{11, "65539"}}), 110, pays, tickOff + "65539");
    add("dynamic-tick-interval-0", dynamic({{10, "0"}}), 110, pays, "WARN: Tick interval is 0: the tick count cannot be checked");
    add("dynamic-scanned-at-start", dynamic({{7, secs(0)}, {11, "1"}}), 0, atStart,
        "Ticket was scanned 0 sec(s) after the validity start date.");
    add("dynamic-empty", dynamic({{7, "-1"}}), 100, "pt=0 issued=n fp=0 name= min=0 expiry=", "Ticket is empty");
    add("dynamic-catalogue-product-not-on-route", dynamic({{5, "4"}}), 102,
        "pt=1 issued=y fp=4 name=Catalogue four min=58 expiry=", "FareProduct(4) is not a part of this route.Route with axisId = 6");
    add("dynamic-passenger-type-not-admitted", dynamic({{6, "9"}}), 107, "pt=0 issued=y fp=5 name=Product 5 min=58 expiry=",
        "FareProduct(5) does not contain PassengerType(9)");
    add("dynamic-passback-hit", dynamic(), 103, pays, "Ticket(99) already validated");
    add("dynamic-not-yet-active", dynamic({{7, secs(1)}}), 104, atStart, "Ticket not valid yet. Valid start date " + iso(1));
    add("dynamic-life-ended", dynamic({{8, "94"}}), 101, "pt=1 issued=y fp=5 name=Product 5 min=0 expiry=2026/03/10",
        "Ticket expired. Valid since" + iso(-95) + " with life span 94s until " + iso(-1));
    add("dynamic-passenger-ticket", dynamic({{0, "PASSENGER"}}), 100, pays, "TicketType(PASSENGER) is not allowed");
}

ValidatorResult tst_QrValidator::validate(const QString &text, DBManager &db, int *emitted)
{
    const std::shared_ptr<QrTicket> ticket = QrTicketFactory().create(text);
    const std::shared_ptr<QrValidator> validator(QrValidatorFactory().create(ticket, nullptr, db));
    validator->setClock([] { return kNow; });
    QSignalSpy validated(validator.get(), &QrValidator::validated);
    validator->validate(mRoute, ticket);
    if (emitted)
        *emitted = validated.count();
    return validator->getResult();
}

void tst_QrValidator::validates()
{
    QFETCH(QString, text);
    QFETCH(int, reason);
    QFETCH(QString, fields);
    QFETCH(QString, logLine);
    const QString row = QTest::currentDataTag();
    const bool urban = row.startsWith("urban-");
    const QString passBack = row.contains("-passback-") ? row.section('-', -1) : QString();

    Configuration config;
    config.set("validator/qr_passback", !passBack.isEmpty());
    config.set("db/timeout_ms", passBack == "timeout" ? 300 : 5000);
    mPeer.setScript([this, passBack](const QJsonObject &request) {
        const QJsonArray found = passBack == "hit" ? QJsonArray{QJsonObject{{"ticketId", 99}}}
                               : passBack == "empty" ? QJsonArray{QJsonObject()} : QJsonArray();
        if (passBack != "timeout")
            mPeer.reply(request, DbServicePeer::answer("getValidatedTicket", found));
    });
    mPeer.clear();
    mLog->clear();
    int emitted = 0;
    const ValidatorResult result = validate(text, *mDb, &emitted);
    QCOMPARE(int(result.getDenyReason()), reason);
    QCOMPARE(result.getResult(), reason == 0);
    QCOMPARE(emitted, 1);
    QCOMPARE(::fields(result), fields);
    QCOMPARE(result.getFromStopGroupName() + '/' + result.getToStopGroupName(), QString(urban ? "Centre/Suburb" : "/"));
    QVERIFY2(mLog->contains((urban ? "[UrbanMelvav1] " : "[DynamicQr] ") + logLine), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mPeer.requests().size(), passBack.isEmpty() ? 0 : 1);
    QCOMPARE(result.getTimeStamp(), kNow);
    const ValidatorResult::RouteInfo info = result.getRouteInfo();
    QCOMPARE(QList<int>({info.axisId, info.routeExecutionId, info.routeId, info.stopId, info.stopUuid, info.stopGroupId}),
             QList<int>({6, 77, 88, 21, 210, 2}));
}

void tst_QrValidator::withoutBackendLinkNamesNothing()
{
    manager::MqttClient client;
    DBManager db(&client);
    Configuration().set("validator/qr_passback", false);
    QCOMPARE(validate(urban(), db).getFromStopGroupName(), QString());
    QCOMPARE(validate(dynamic({{5, "4"}}), db).getFareProductName(), QString());
}

void tst_QrValidator::factoryPicksByExactTypeName_data()
{
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("className");
    QTest::newRow("dynamic") << QByteArray("DynamicQr") << QByteArray("DynamicValidator");
    QTest::newRow("urban") << QByteArray("UrbanMelva_v1") << QByteArray("UrbanMelvaValidator_v1");
    QTest::newRow("other-case") << QByteArray("dynamicqr") << QByteArray();
}

void tst_QrValidator::factoryPicksByExactTypeName()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, className);
    QObject parent;
    const auto ticket = std::make_shared<OtherTicket>(type.constData());
    QrValidator *first = QrValidatorFactory().create(ticket, &parent, *mDb);
    QCOMPARE(QByteArray(first ? first->metaObject()->className() : ""), className);
    if (!first)
        return;
    // A ticket of another class or no route is refused, not followed into a crash.
    QSignalSpy validated(first, &QrValidator::validated);
    first->validate(nullptr, ticket);
    QCOMPARE(first->getResult().getDenyReason(), ValidatorResult::Unknown);
    QCOMPARE(validated.count(), 1);
}

QTEST_GUILESS_MAIN(tst_QrValidator)
#include "tst_qrvalidator.moc"
