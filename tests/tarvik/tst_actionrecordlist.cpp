#include "tarvik/actionrecordlist.h"

#include "tarvik/database.h"

#include "managerfixture.h"

#include <QSqlRecord>

using tarvik::Action;
using tarvik::ActionRecord;
using tarvik::ActionRecordList;
using tarvik::Database;

namespace {

const char kVersion0[] =
    "CREATE TABLE ActionRecords (id INTEGER, accountToken TEXT, smartCardUid TEXT, counter INTEGER, "
    "actionDate TEXT, deviceUuid TEXT, balanceAfter INTEGER, balanceBefore INTEGER, journeysAfter INTEGER, "
    "journeysBefore INTEGER, snapshot TEXT, action TEXT, code TEXT, sendDate TEXT, sendStatus INTEGER, "
    "sendCode TEXT, sendMessage TEXT, %1 PRIMARY KEY (id))";

const QDateTime kNow(QDate(2025, 3, 10), QTime(9, 30, 15));

} // namespace

class tst_ActionRecordList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void migratesVersionZeroFile();
    void rollsBackFailedMigration_data();
    void rollsBackFailedMigration();
    void roundTripsRecord_data();
    void roundTripsRecord();

private:
    QSqlDatabase direct() const { return mDirect->db(); }
    QString path() const { return mEnv.filePath(QStringLiteral("actionRecordList.db")); }
    QVariant column(const QString &sql) const { return mDirect->value(sql); }
    std::unique_ptr<ActionRecordList> open()
    {
        auto store = std::make_unique<ActionRecordList>(QSharedPointer<Database>::create(path()));
        store->setClock([] { return kNow; });
        return store;
    }

    TestEnv mEnv;
    std::unique_ptr<DirectDb> mDirect;
};

void tst_ActionRecordList::initTestCase()
{
    QVERIFY(mEnv.isValid());
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2025, 1, 10), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ActionRecordList::init()
{
    QFile::remove(path());
    mDirect = std::make_unique<DirectDb>(path());
    QVERIFY2(mDirect->error.isEmpty(), qPrintable(mDirect->error));
}

void tst_ActionRecordList::cleanup()
{
    mDirect.reset();
}

void tst_ActionRecordList::migratesVersionZeroFile()
{
    QSqlQuery setup(direct());
    QVERIFY2(setup.exec(QString::fromLatin1(kVersion0).arg(QString())), qPrintable(setup.lastError().text()));
    QVERIFY(setup.exec(QStringLiteral(
        "INSERT INTO ActionRecords (accountToken, smartCardUid, counter, actionDate, sendDate, sendStatus, sendCode) "
        "VALUES ('tok-a', 'uid', 3, '25/12/2024 13:45:10', '26/12/2024 01:02:03', 500, 'E1'), "
        "('tok-b', 'uid', 4, '01/02/2025 00:00:59', NULL, 0, 'QUEUED')")));

    LogCapture log;
    auto store = open();
    for (const char *line : {"Current Schema version : v0", "Migrating database from v0 to v1",
                             "Setting schema version : v1", "|    DATABASE MIGRATED SUCCESSFULLY    |"})
        QVERIFY2(log.contains(ActionRecordList::LogTag + line), line);
    QCOMPARE(column(QStringLiteral("PRAGMA user_version")).toInt(), 1);
    QCOMPARE(column(QStringLiteral("SELECT group_concat(actionDate || '/' || IFNULL(sendDate, '-') || '/' || "
                                   "IFNULL(sendAttempts, '-') || IFNULL(sendSchedDate, '-'), ' ') FROM ActionRecords")),
             QStringLiteral("2024-12-25T13:45:10/2024-12-26T01:02:03/-- 2025-02-01T00:00:59/-/--"));

    const auto due = store->dueForSend();
    QCOMPARE(due.size(), 2);
    QCOMPARE(due.at(1)->accountToken(), QStringLiteral("tok-b"));
    QCOMPARE(due.first()->actionDate(), QDateTime(QDate(2024, 12, 25), QTime(13, 45, 10)));
    QCOMPARE(due.first()->sendAttempts(), 0);
}

void tst_ActionRecordList::rollsBackFailedMigration_data()
{
    QTest::addColumn<QString>("extraColumn"); // makes one step of the migration fail
    QTest::newRow("first-step") << QStringLiteral("sendAttempts INTEGER,");
    QTest::newRow("second-step") << QStringLiteral("sendSchedDate TEXT,");
}

void tst_ActionRecordList::rollsBackFailedMigration()
{
    QFETCH(QString, extraColumn);
    QSqlQuery setup(direct());
    QVERIFY2(setup.exec(QString::fromLatin1(kVersion0).arg(extraColumn)), qPrintable(setup.lastError().text()));
    QVERIFY(setup.exec(QStringLiteral("INSERT INTO ActionRecords (accountToken, actionDate, sendStatus) "
                                      "VALUES ('tok', '25/12/2024 13:45:10', 0)")));
    const int columnsBefore = direct().record(QStringLiteral("ActionRecords")).count();

    LogCapture log;
    auto store = open();
    QVERIFY(log.contains(ActionRecordList::LogTag + "ERROR: Failed to migrate database"));
    QVERIFY(!log.containsPart(QStringLiteral("MIGRATED SUCCESSFULLY")));
    QCOMPARE(column(QStringLiteral("PRAGMA user_version")).toInt(), 0);
    QCOMPARE(column(QStringLiteral("SELECT actionDate FROM ActionRecords")).toString(),
             QStringLiteral("25/12/2024 13:45:10"));
    QCOMPARE(direct().record(QStringLiteral("ActionRecords")).count(), columnsBefore);
    QCOMPARE(store->size(), 1); // used all the same
}

// Unset balances and journeys stay unset (null in JSON); zero and negative values are kept.
void tst_ActionRecordList::roundTripsRecord_data()
{
    QTest::addColumn<QVariant>("balance");
    QTest::addColumn<QVariant>("journeys");
    QTest::newRow("unset") << QVariant() << QVariant();
    QTest::newRow("zero") << QVariant(0) << QVariant(0);
    QTest::newRow("negative-balance-only") << QVariant(-250) << QVariant();
}

void tst_ActionRecordList::roundTripsRecord()
{
    QFETCH(QVariant, balance);
    QFETCH(QVariant, journeys);
    auto store = open();
    const ActionRecord::Ptr in = actionRecord(QStringLiteral("tok"), 4);
    in->setBalanceBefore(balance);
    in->setBalanceAfter(balance);
    in->setJourneysBefore(journeys);
    in->setJourneysAfter(journeys);
    QVERIFY(store->add(in));

    QCOMPARE(store->size(), 1);
    const ActionRecord::Ptr out = store->records().value(0);
    QCOMPARE(out->balanceBefore().isValid(), balance.isValid());
    QCOMPARE(out->journeysAfter().isValid(), journeys.isValid());
    QCOMPARE(out->toJson().value(QLatin1String("balanceAfter")), QJsonValue::fromVariant(balance));
    QCOMPARE(out->toJson().value(QLatin1String("journeysBefore")), QJsonValue::fromVariant(journeys));
    QCOMPARE(store->toJson(), QJsonArray({in->toJson()}));
    QCOMPARE(out->action()->toJson(), in->action()->toJson());
}

QTEST_GUILESS_MAIN(tst_ActionRecordList)
#include "tst_actionrecordlist.moc"
