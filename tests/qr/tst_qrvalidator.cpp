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
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QString secs(qint64 offset)
{
    return QString::number(kNow.toSecsSinceEpoch() + offset);
}

QString iso(qint64 offset)
{
    return QDateTime::fromSecsSinceEpoch(kNow.toSecsSinceEpoch() + offset, Qt::LocalTime).toString(Qt::ISODate);
}

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

QJsonObject named(int id, const QString &en)
{
    return {{"id", id}, {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"en", en}, {"el", "-"}}}}}};
}

QJsonObject product(int id, int zone, const QJsonArray &types)
{
    QJsonArray list;
    for (const QJsonValue &type : types)
        list.append(QJsonObject{{"id", type}, {"description", type.toInt() == 1 ? "Adult" : "Child"}});
    return {{"fareProductId", id}, {"fareProductName", QStringLiteral("Product %1").arg(id)},
            {"fromStopGroupId", zone}, {"toStopGroupId", zone}, {"passengerTypes", list}};
}

struct OtherTicket : QrTicket {
    explicit OtherTicket(const char *type) : QrTicket(type) {}
};

} // namespace

// Both formats on a route of carrier 7, axis 6, at stop 21 (public 210) of zone 2: product 5
// (passenger types 1, 2) active, 8 not. The back-end files name zones 2 "Centre", 3 "Suburb"
// and catalogue product 4; rows "passback-<answer>" script the database service's answer.
class tst_QrValidator : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void urbanTicket_data();
    void urbanTicket() { run(QStringLiteral("[UrbanMelvav1] "), QStringLiteral("Centre/Suburb")); }
    void dynamicTicket_data();
    void dynamicTicket() { run(QStringLiteral("[DynamicQr] "), QStringLiteral("/")); }
    void withoutBackendLinkNamesNothing();
    void factoryPicksByExactTypeName_data();
    void factoryPicksByExactTypeName();

private:
    void run(const QString &tag, const QString &zones);
    ValidatorResult validate(const QString &text, DBManager &db, int *emitted = nullptr);

    BrokerFixture mBroker;
    TestEnv mEnv;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<DbServicePeer> mPeer;
    std::unique_ptr<manager::MqttClient> mClient;
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
    const QJsonObject routes{{"StopGroups", QJsonArray{named(2, "Centre"), named(3, "Suburb")}}};
    const QJsonObject fares{{"FareProducts", QJsonArray{named(4, "Catalogue four")}}};
    QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/routes.json", QJsonDocument(routes).toJson()));
    QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/fares.json", QJsonDocument(fares).toJson()));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mLog = std::make_unique<LogCapture>();
    mPeer = std::make_unique<DbServicePeer>();
    QVERIFY(mPeer->connectTo(mBroker.host(), mBroker.port()));
    mClient = std::make_unique<manager::MqttClient>();
    mClient->setHostname(mBroker.host());
    mClient->setPort(mBroker.port());
    mDb = std::make_unique<DBManager>(mClient.get());
    QSignalSpy connected(mClient.get(), &manager::MqttClient::connected);
    mClient->connect();
    QVERIFY(connected.wait(10000));
    mDb->initialize();
    // The request topic is the gateway's last subscription: once the UI's request gets through,
    // the answers to the gateway's own do too.
    QSignalSpy ready(mDb.get(), &DBManager::onPaperTicketIssuingStarted);
    QVERIFY(QTest::qWaitFor([&] { return mPeer->publishUiRequest("issueSingleTicket", 0), ready.wait(20); }, 10000));
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(4), 10000);

    const auto zone = [](int id, int ordinal, int stop) {
        return QJsonObject{{"id", id}, {"ordinal", ordinal},
                           {"stops", QJsonArray{QJsonObject{{"id", stop}, {"ordinal", ordinal}, {"publicStopId", "210"}}}}};
    };
    mRoute = std::make_shared<tarvik::Route>(QJsonObject{
        {"status", "start"},
        {"data", QJsonObject{{"axis", QJsonObject{{"routeId", 6}}},
                             {"routeExecution", QJsonObject{{"tripsExecutionId", 77}, {"tripsRouteId", 88}}},
                             {"stopGroups", QJsonArray{zone(2, 1, 21), zone(3, 2, 31)}}}}});
    mRoute->setCarrierId(7);
    mRoute->setFareProducts(tarvik::FareProducts(
        QJsonObject{{"axisId", 6}, {"products", QJsonArray{product(5, 2, {1, 2}), product(8, 3, {1})}}}));
    QVERIFY(mRoute->acceptRouteProgress(tarvik::RouteProgress(6, 21)));
}

void tst_QrValidator::urbanTicket_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("logLine");
    const QString valid = "pt=1 issued=y fp=5 name= min=0 expiry=";
    const QString checked = "pt=1 issued=y fp=0 name= min=0 expiry=";
    const QString notFound = "DBManager did not return a ticket with id=7-1234-A1-99";
    add("valid", urban(), 0, valid, "Storing ticket with id '7-1234-A1-99'");
    // The uid takes the route's carrier; no carrier, no validity start, any axis.
    add("short-form", urban({{0, "0"}}, 16), 0, valid, "Ticket does not have validity start date ");
    add("empty", urban({{16, "-1"}}), 500, "pt=0 issued=n fp=0 name= min=0 expiry=", "Ticket is empty");
    add("other-carrier", urban({{18, "8"}}), 100, "pt=0 issued=n fp=0 name= min=0 expiry=",
        "FareProduct(5) has carrierId = 8 which does not agree with Route (axisId = 6) carrierId = 7");
    add("product-not-on-route", urban({{13, "4"}}), 102, checked, "FareProduct(4) is not a part of Route with axisId = 6");
    add("passenger-type-not-admitted", urban({{14, "9"}}), 102, "pt=0 issued=y fp=0 name= min=0 expiry=",
        "FareProduct(5) does not contain PassengerType(9)");
    add("passback-hit", urban(), 103, checked, "Ticket(99) already validated");
    add("passback-miss", urban(), 0, valid, notFound);
    add("passback-empty", urban(), 0, valid, notFound);
    add("passback-timeout", urban(), 0, valid, notFound);
    add("expired-yesterday", urban({{15, secs(-86400)}}), 101, checked + "2026/03/09", "Ticket expired");
    add("expires-today", urban({{15, secs(0)}}), 0, valid, "ExpiryDate: 2026/03/10");
    add("not-yet-active", urban({{16, secs(1)}}), 104, checked, "Ticket not valid yet. Valid start date " + iso(1));
    add("starts-now", urban({{16, secs(0)}}), 0, valid, "Ticket validity start date " + iso(0));
    add("life-ends-now", urban({{17, "600"}}), 0, valid, "Ticket lifespan until " + iso(0));
    add("life-ended", urban({{17, "599"}}), 101, checked + "2026/03/10",
        "Ticket expired. Valid since" + iso(-600) + " with life span 599s until " + iso(-1));
    add("no-life-span", urban({{17, "-1"}}), 0, valid, "Ticket does not have lifespan value");
    add("other-axis", urban({{0, "5"}}), 102, checked, "Ticket invalid on Route(6). It is issued for Route(5)");
    add("product-not-active", urban({{13, "8"}}), 102, checked, "FareProduct(8) is not enabled.");
    add("parcel", urban({{11, "PARCEL"}}), 102, valid, "TicketType(PARCEL) is not allowed");
}

void tst_QrValidator::dynamicTicket_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("reason");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("logLine");
    const QString valid = "pt=1 issued=y fp=5 name=Product 5 min=58 expiry=";
    const QString atStart = "pt=1 issued=y fp=5 name=Product 5 min=60 expiry=";
    const QString tickOff = "Tick Count calculated : 3 , does not match Qr tick count : ";
    add("valid", dynamic(), 0, valid, "Storing ticket with id '007-000-00001234-0A1-0000099'");
    add("tick-behind", dynamic({{11, "2"}}), 0, valid, "Ticket tickCount difference is : 1");
    add("tick-ahead", dynamic({{11, "4"}}), 0, valid, "Ticket tickCount difference is : -1");
    add("two-ticks-behind", dynamic({{11, "1"}}), 110, valid, tickOff + "1");
    add("two-ticks-ahead", dynamic({{11, "5"}}), 110, valid, tickOff + "5");
    add("tick-beyond-16-bits", dynamic({{11, "65539"}}), 110, valid, tickOff + "65539");
    add("tick-interval-0", dynamic({{10, "0"}}), 110, valid, "WARN: Tick interval is 0: the tick count cannot be checked");
    add("scanned-at-start", dynamic({{7, secs(0)}, {11, "1"}}), 0, atStart,
        "Ticket was scanned 0 sec(s) after the validity start date.");
    add("empty", dynamic({{7, "-1"}}), 100, "pt=0 issued=n fp=0 name= min=0 expiry=", "Ticket is empty");
    add("catalogue-product-not-on-route", dynamic({{5, "4"}}), 102, "pt=1 issued=y fp=4 name=Catalogue four min=58 expiry=",
        "FareProduct(4) is not a part of this route.Route with axisId = 6");
    add("passenger-type-not-admitted", dynamic({{6, "9"}}), 107, "pt=0 issued=y fp=5 name=Product 5 min=58 expiry=",
        "FareProduct(5) does not contain PassengerType(9)");
    add("passback-hit", dynamic(), 103, valid, "Ticket(99) already validated");
    add("passback-timeout", dynamic(), 0, valid, "DBManager did not return a ticket with id=007-000-00001234-0A1-0000099");
    add("not-yet-active", dynamic({{7, secs(1)}}), 104, atStart, "Ticket not valid yet. Valid start date " + iso(1));
    add("life-ended", dynamic({{8, "94"}}), 101, "pt=1 issued=y fp=5 name=Product 5 min=0 expiry=2026/03/10",
        "Ticket expired. Valid since" + iso(-95) + " with life span 94s until " + iso(-1));
    add("passenger-ticket", dynamic({{0, "PASSENGER"}}), 100, valid, "TicketType(PASSENGER) is not allowed");
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

void tst_QrValidator::run(const QString &tag, const QString &zones)
{
    QFETCH(QString, text);
    QFETCH(int, reason);
    QFETCH(QString, fields);
    QFETCH(QString, logLine);
    const QString row = QTest::currentDataTag();
    const QString passBack = row.startsWith("passback-") ? row.mid(9) : QString();

    Configuration config;
    config.set("validator/qr_passback", !passBack.isEmpty());
    config.set("db/timeout_ms", passBack == "timeout" ? 300 : 5000);
    mPeer->setScript([this, passBack](const QJsonObject &request) {
        const QJsonArray found = passBack == "hit" ? QJsonArray{QJsonObject{{"ticketId", 99}}}
                               : passBack == "empty" ? QJsonArray{QJsonObject()} : QJsonArray();
        if (passBack != "timeout")
            mPeer->reply(request, DbServicePeer::answer("getValidatedTicket", found));
    });
    mPeer->clear();
    mLog->clear();
    int emitted = 0;
    const ValidatorResult result = validate(text, *mDb, &emitted);
    QCOMPARE(int(result.getDenyReason()), reason);
    QCOMPARE(result.getResult(), reason == 0);
    QCOMPARE(emitted, 1);
    QCOMPARE(::fields(result), fields);
    QCOMPARE(result.getFromStopGroupName() + '/' + result.getToStopGroupName(), zones);
    QVERIFY2(mLog->contains(tag + logLine), qPrintable(mLog->texts().join('\n')));
    QCOMPARE(mPeer->requests().size(), passBack.isEmpty() ? 0 : 1);
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
    QTest::newRow("template-name") << QByteArray("urban_melva_v1") << QByteArray();
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
    QCOMPARE(first->parent(), &parent);
    QVERIFY(QrValidatorFactory().create(ticket, &parent, *mDb) != first);
    QCOMPARE(first->getResult().toJson(), ValidatorResult().toJson());
    // A ticket of another class or no route is refused, not followed into a crash.
    QSignalSpy validated(first, &QrValidator::validated);
    first->validate(nullptr, ticket);
    QCOMPARE(first->getResult().getDenyReason(), ValidatorResult::Unknown);
    QCOMPARE(validated.count(), 1);
}

QTEST_GUILESS_MAIN(tst_QrValidator)
#include "tst_qrvalidator.moc"
