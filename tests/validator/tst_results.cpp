#include "db/dbmanager.h"
#include "framework/mqttclient.h"
#include "framework/settings.h"
#include "support/goldenfile.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "rfid/rfidcard.h"
#include "support/testenv.h"
#include "validator/results/rfidvalidator.h"
#include "validator/results/rfidvalidatorfactory.h"
#include "validator/results/ticketdb.h"
#include "validator/results/validatorlogic.h"
#include "validator/results/validatorresult.h"
#include "validator/results/zetoemvvalidator.h"

#include <QFileInfo>
#include <QThread>
#include <QtTest>

#include <functional>

namespace {

class FakeCard : public RfidCard
{
public:
    QString getTemplate() const override { return QStringLiteral("ZetoDESv3"); }
    QString getUid() const override { return QStringLiteral("04A1B2C3"); }
    int getType() const override { return 1; }
    QJsonObject toJson() const override { return {}; }
};

QDateTime utc(const QString &text) { return QDateTime::fromString(text, Qt::ISODate).toUTC(); }

} // namespace

class tst_Results : public QObject
{
    Q_OBJECT
private slots:
    void codesReadAsTextsAndResetGivesFreshJson();
    void ticketDbTwoThreads();
    void factory_data();
    void factory();
    void transactionCounter_data();
    void transactionCounter();
};

// The texts of the results, the time since a card's last tap on its boundaries, and every key
// of the JSON form fresh, filled and reset again, against data/results.json.
void tst_Results::codesReadAsTextsAndResetGivesFreshJson()
{
    using R = ValidatorResult;
    const QJsonObject golden = JsonPath::readFile(TEST_DATA_DIR "/results.json").object();
    const QDateTime tap = utc("2026-03-01T12:00:00Z");
    const QMap<QString, std::function<QString(const QString &)>> tables{
        {"denyReason", [](const QString &code) { return R::denyReasonToString(R::DenyReason(code.toInt())); }},
        {"transactionType", [](const QString &code) { return R::transactionTypeToString(R::TransactionType(code.toInt())); }},
        {"lastTapAfterSeconds", [&](const QString &secs) {
             const QDateTime last = secs == "unset" ? utc("1990-01-01T00:00:00Z") : tap;
             return ValidatorLogic::lastTapInterval(last, secs == "unset" ? last.addSecs(5) : tap.addSecs(secs.toLongLong()));
         }}};
    QJsonObject actual;
    for (auto table = tables.begin(); table != tables.end(); ++table) {
        QJsonObject texts;
        for (const QString &key : golden[table.key()].toObject().keys())
            texts[key] = table.value()(key);
        actual[table.key()] = texts;
    }
    ValidatorResult result;
    actual["fresh"] = result.toJson();
    result.setResult(true);
    result.setDenyReason(ValidatorResult::NotYetActive);
    result.setTimeStamp(utc("2026-01-31T10:15:00+02:00"));
    result.setRouteInfo({1, 2, 3, 4, 5, 6});
    result.setPassengerType({7, "Student"});
    result.setExpiry("2026/02/01");
    result.setShouldWriteBack(true);
    result.setBlockReason(3);
    actual["filled"] = result.toJson();
    GOLDEN_COMPARE(actual, golden);
    result.reset();
    QCOMPARE(result.toJson(), golden["fresh"].toObject());
}

// The main thread cleans while the validation thread inserts: every statement lands, on each
// thread's own connection, and the counts are exact.
void tst_Results::ticketDbTwoThreads()
{
    TestEnv env;
    QVERIFY(env.writeFile(QStringLiteral("zub.conf"), {}));
    manager::Settings::instance()->setDefaultLocation(QFileInfo(env.settingsFile()));
    TicketDb db;
    QVERIFY(db.dbConnect(QStringLiteral("tickets.sqlite")));
    QCOMPARE(db.fileName(), env.filePath(QStringLiteral("tickets.sqlite")));
    QVERIFY(db.dbCreate());
    QSignalSpy degraded(&db, &TicketDb::degraded);

    constexpr int Old = 60, New = 100;
    for (int i = 0; i < Old; ++i)
        QVERIFY(db.insert({QStringLiteral("old-%1").arg(i), "dev", "bus", 1, 2, 3, 1000 + i}));

    std::atomic<int> inserted{0};
    QScopedPointer<QThread> worker(QThread::create([&] {
        for (int i = 0; i < New; ++i)
            inserted += db.insert({QStringLiteral("new-%1").arg(i), "dev", "bus", 1, 2, 3, 5000 + i}) ? 1 : 0;
    }));
    worker->start();
    int cleaned = 0;
    for (int cut = 1000; cut < 1000 + Old; cut += 10)
        cleaned += db.clean(QDateTime::fromSecsSinceEpoch(cut + 9, Qt::UTC));
    QVERIFY(worker->wait(30000));

    QCOMPARE(cleaned, Old);
    QCOMPARE(inserted.load(), New);
    QVERIFY(db.exists(QStringLiteral("new-99")));
    QVERIFY(!db.exists(QStringLiteral("old-0")));
    QCOMPARE(db.clean(QDateTime::fromSecsSinceEpoch(5000 + New - 1, Qt::UTC)), New);
    QCOMPARE(degraded.count(), 0);
}

void tst_Results::factory_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("made");
    for (const char *name : {"ZetoDESv3", "ZetoDESv2", "ZetoLUCv2", "ZetoLUC", "EMV", "ZetoDESv4"})
        QTest::newRow(name) << name << true;
    for (const char *name : {"zetodesv3", "ZetoDESv3 ", "EMVx", ""})
        QTest::newRow(qPrintable(QStringLiteral("'%1'").arg(name))) << name << false;
}

void tst_Results::factory()
{
    QFETCH(QString, name);
    QFETCH(bool, made);
    manager::MqttClient client;
    DBManager gateway(&client);
    const auto validator = RfidValidatorFactory::create(name, gateway, std::make_shared<Basket>());
    QCOMPARE(bool(validator), made);
    if (!made)
        return;
    QCOMPARE(bool(std::dynamic_pointer_cast<ZetoEmvValidator>(validator)), name == QLatin1String("EMV"));

    // Without fare rules: "Unknown", the card's identity, the tap's time on an even second.
    validator->setClock([] { return utc("2026-03-01T12:00:03.900Z"); });
    FakeCard card;
    TicketDb store;
    QSignalSpy employee(validator.get(), &RfidValidator::foundEmployeeCard);
    QVERIFY(!validator->validate(&card, nullptr, store));
    const ValidatorResult r = validator->getResult();
    QCOMPARE(QStringList({QString::number(r.getDenyReason()), r.getTemplate(), r.getTicketUID(), r.getTimeStamp().toString(Qt::ISODate)}),
             QStringList({"500", "ZetoDESv3", "04A1B2C3", "2026-03-01T12:00:02Z"}));
    QVERIFY(!r.getShouldWriteBack());
    QCOMPARE(employee.count(), 0);
}

void tst_Results::transactionCounter_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("line");
    QTest::newRow("0") << 0 << "[Validator::Logic] Transaction # is INVALID     : 0";
    QTest::newRow("1") << 1 << "[Validator::Logic] Transaction # is valid        : 1";
    QTest::newRow("65535") << 65535 << "[Validator::Logic] Transaction # is valid        : 65535";
    QTest::newRow("65536") << 65536 << "[Validator::Logic] Transaction # is INVALID     : 65536";
}

void tst_Results::transactionCounter()
{
    QFETCH(int, counter);
    QFETCH(QString, line);
    LogCapture log;
    QCOMPARE(ValidatorLogic::checkCardTransactionCounter(counter), !line.contains("INVALID"));
    QVERIFY(log.contains(line));

    // A layout without a card status is never blocked nor issued.
    FakeCard card;
    QVERIFY(!ValidatorLogic::checkCardBlocked(&card));
    QVERIFY(!ValidatorLogic::checkCardIsIssued(&card));
    QVERIFY(log.contains(QStringLiteral("[Validator::Logic] Unknown Card Template.")));
}

QTEST_GUILESS_MAIN(tst_Results)
#include "tst_results.moc"
