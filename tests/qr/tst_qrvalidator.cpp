#include "qr/qrvalidator.h"
#include "qr/qrvalidatorfactory.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"
#include "tarvik/faremanager.h"
#include "tickets/qrticketfactory.h"

#include "support/dbservicepeer.h"
#include "support/harness.h"
#include "support/logcapture.h"

#include <QJsonArray>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QString secs(qint64 offset) { return QString::number(kNow.toSecsSinceEpoch() + offset); }
QString iso(qint64 offset) { return kNow.addSecs(offset).toLocalTime().toString(Qt::ISODate); }

// "{secs:N}" and "{iso:N}" in `text`: "now" plus N seconds, in seconds since the epoch or as local
// ISO text.
QString expand(QString text)
{
    static const QRegularExpression re(QStringLiteral("\\{(secs|iso):(-?\\d+)\\}"));
    for (QRegularExpressionMatch m = re.match(text); m.hasMatch(); m = re.match(text)) {
        const qint64 offset = m.captured(2).toLongLong();
        text.replace(m.capturedStart(), m.capturedLength(), m.captured(1) == "secs" ? secs(offset) : iso(offset));
    }
    return text;
}

// Fields replaced by position, cut to `count` fields.
QString ticket(bool urban, const QJsonObject &changes = {}, int count = -1)
{
    // Urban: axis 6, user 1234, device A1, zones 2 to 3, ticket 99, product 5, passenger type 1,
    // no expiry, valid from 10 minutes ago for an hour, carrier 7. Dynamic: the same, valid from
    // 95 s ago, a tick every 30 s: tick 3 now.
    QStringList f = (urban ? QStringLiteral("6|1234|A1|R1|2|3|{secs:-3600}|99|0|0|false|PASSENGER|0|5|1|0|{secs:-600}|3600|7")
                           : QStringLiteral("DYNAMIC|1234|A1|{secs:-3600}|99|5|1|{secs:-95}|3600|7|30|3")).split('|');
    for (auto it = changes.begin(); it != changes.end(); ++it)
        f[it.key().toInt()] = it.value().toString();
    return expand(f.mid(0, count).join('|'));
}

// The fields a check may have set before it denied.
QString fields(const ValidatorResult &r)
{
    return QStringLiteral("pt=%1 issued=%2 fp=%3 name=%4 min=%5 expiry=%6")
        .arg(r.getPassengerType().first).arg(r.getIssueTimestamp().isValid() ? "y" : "n").arg(r.getFareProductId())
        .arg(r.getFareProductName()).arg(r.getTransferDuration()).arg(r.getExpiry());
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
    QVERIFY2(Harness::zoneKnown(), "no time-zone data for America/New_York");
    // The back-end link reads its files only: nobody listens at its URL, and it never syncs.
    const QByteArray settings = "[zub]\nlcd_language=en\n[tarvik]\nurl=http://127.0.0.1:9/bo\nstoragePath="
        + mEnv.filePath("tarvik").toUtf8() + "\nrouteDataSyncMin=0\nfareDataSyncMin=0\nactionListSyncMin=0\n";
    QVERIFY(Harness::useSettings(mEnv, settings));
    // Known to every build that links the validators.
    QCOMPARE(Configuration::defaults().value("validator/qr_passback"), QVariant(true));
    QCOMPARE(Configuration::defaults().value("zub/lcd_language"), QVariant("el"));
    for (const QString name : {"routes.json", "fares.json"})
        QVERIFY(mEnv.writeFile("tarvik/127_0_0_1/bo/" + name, JsonPath::readFile(TEST_DATA_DIR "/tarvik/" + name).toJson()));

    QVERIFY2(mBroker.start(), qPrintable(mBroker.log()));
    mLog = std::make_unique<LogCapture>();
    QVERIFY(mPeer.connectTo(mBroker.host(), mBroker.port()));
    mDb = std::make_unique<DBManager>(&mClient);
    QVERIFY(Harness::connect(mClient, mBroker));
    mDb->initialize();
    QTRY_VERIFY_WITH_TIMEOUT(mDb->fareData() && mDb->fareData()->findFareProduct(4), 10000);
    QVERIFY(mRoute = Harness::loadRoute(TEST_DATA_DIR "/route.json"));
}

// The rows of data/qrvalidations.json.
void tst_QrValidator::validates_data()
{
    QTest::addColumn<QJsonObject>("row");
    for (const QJsonValue &row : JsonPath::readFile(TEST_DATA_DIR "/qrvalidations.json").array())
        QTest::newRow(qPrintable(row["row"].toString())) << row.toObject();
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
    QFETCH(QJsonObject, row);
    const QString name = QTest::currentDataTag();
    const bool urban = name.startsWith("urban-");
    const QString passBack = name.contains("-passback-") ? name.section('-', -1) : QString();

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
    const ValidatorResult result = validate(ticket(urban, row["changes"].toObject(), row["count"].toInt(-1)), *mDb, &emitted);
    QCOMPARE(QList<int>({result.getDenyReason(), result.getResult(), emitted}), QList<int>({row["reason"].toInt(), row["reason"].toInt() == 0, 1}));
    QCOMPARE(fields(result), row["fields"].toString());
    QCOMPARE(result.getFromStopGroupName() + '/' + result.getToStopGroupName(), QString(urban ? "Centre/Suburb" : "/"));
    QVERIFY2(mLog->contains((urban ? "[UrbanMelvav1] " : "[DynamicQr] ") + expand(row["log"].toString())), qPrintable(mLog->texts().join('\n')));
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
    QCOMPARE(validate(ticket(true), db).getFromStopGroupName(), QString());
    QCOMPARE(validate(ticket(false, {{"5", "4"}}), db).getFareProductName(), QString());
}

// The type name matches exactly. A ticket of another class or no route is refused, not followed
// into a crash.
void tst_QrValidator::factoryPicksByExactTypeName()
{
    QObject parent;
    QVERIFY(!QrValidatorFactory().create(std::make_shared<OtherTicket>("dynamicqr"), &parent, *mDb));
    for (const char *type : {"DynamicQr", "UrbanMelva_v1"}) {
        const auto ticket = std::make_shared<OtherTicket>(type);
        QrValidator *validator = QrValidatorFactory().create(ticket, &parent, *mDb);
        QVERIFY2(validator, type);
        QSignalSpy validated(validator, &QrValidator::validated);
        validator->validate(nullptr, ticket);
        QCOMPARE(validator->getResult().getDenyReason(), ValidatorResult::Unknown);
        QCOMPARE(validated.count(), 1);
    }
}

QTEST_GUILESS_MAIN(tst_QrValidator)
#include "tst_qrvalidator.moc"
