#include "db/customerdb.h"
#include "db/deviceparamsdb.h"

#include "caserows.h"

#include "support/goldenfile.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>

#include <atomic>

using tarvik::Customer;
using tarvik::KeyValue;

// The gateway's two SQLite stores, their files also open through a connection of the test's own.
class tst_Stores : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mBaseline = QSqlDatabase::connectionNames().size(); }
    void init()
    {
        mEnv = std::make_unique<TestEnv>();
        open(QString());
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "direct");
        db.setDatabaseName(mEnv->filePath("customers.sqlite"));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("ATTACH DATABASE '%1' AS params").arg(mEnv->filePath("deviceParams.sqlite"))));
    }

    void cleanup()
    {
        QSqlDatabase::removeDatabase("direct");
        mCustomers.reset();
        mParams.reset();
        QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline);
    }

    // The sessions of data/stores.json ("<folder>" the test's) and what each step gave: its result,
    // the stores' log lines and the parameters' signals, pinned in data/stores.expected.json (and
    // stores.west.expected.json for the zone west of UTC); ZUB_WRITE_GOLDEN=1 writes it.
    void sessions_data() { addCaseRows(TEST_DATA_DIR "/stores.json"); }

    void sessions()
    {
        QFETCH(QJsonValue, testCase);
        QJsonArray actual;
        for (const QJsonValue &value : testCase.toArray()) {
            const QByteArray text = QJsonDocument(value.toObject()).toJson().replace("<folder>", mEnv->path().toUtf8());
            const QJsonObject step = QJsonDocument::fromJson(text).object();
            LogCapture log;
            mSignals = QJsonArray();
            const QJsonValue result = run(step);
            QStringList lines = log.texts().filter(QRegularExpression("^\\[(db|tarvik)::"));
            lines.replaceInStrings(QRegularExpression("0x[0-9a-f]+"), "<thread>").replaceInStrings(QRegularExpression("\\d+ msec"), "<n> msec");
            const QJsonObject done{{"step", value}, {"result", result}, {"log", QJsonArray::fromStringList(lines)}, {"signals", mSignals}};
            actual.append(QJsonDocument::fromJson(QJsonDocument(done).toJson().replace(mEnv->path().toUtf8(), "<folder>")).object());
        }
        const QByteArray diff = GoldenFile::mismatch(GoldenFile::path(TEST_DATA_DIR "/stores"), QTest::currentDataTag(), actual);
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    // Customers written and read from two threads while this one writes device parameters that
    // both read; the main thread's connections (from the constructors) stay, the workers' go.
    void storesServeTwoThreads()
    {
        mParams->insert(KeyValue::Ptr::create(QJsonObject{{"id", 1}, {"key", "PASSBACK"}, {"value", "60"}}));
        std::atomic<int> failures{0};
        const auto work = [&](int base) {
            for (int i = 0; i < 100; ++i) {
                const int id = base + i % 20;
                const QString card = QStringLiteral("card-%1").arg(id);
                failures += !mCustomers->insert(Customer::Ptr::create(QJsonObject{{"id", id}, {"smartCardUuid", card}}))
                            + !mCustomers->find(card) + !mCustomers->updateLastAccessTime(id, QDateTime::currentDateTime())
                            + !mParams->find(QStringLiteral("PASSBACK")) + bool(mParams->find(QStringLiteral("MISSING-%1").arg(i % 7)));
            }
        };
        LogCapture log;
        std::unique_ptr<QThread> first(QThread::create(work, 100)), second(QThread::create(work, 200));
        first->start();
        second->start();
        for (int i = 0; i < 100; ++i)
            mParams->insert(KeyValue::Ptr::create(QJsonObject{{"id", 2}, {"key", "COUNTER"}, {"value", QString::number(i)}}));
        QVERIFY(first->wait(60000) && second->wait(60000));
        QCOMPARE(failures.load(), 0);
        QVERIFY(!log.containsPart("ERROR"));
        QCOMPARE(mParams->find(QStringLiteral("COUNTER"))->value(), QStringLiteral("99"));
        QCOMPARE(run({{"op", "sql"}, {"arg", "SELECT COUNT(*) FROM customers"}}), QJsonValue(40));
        QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 3);
    }
private:
    void open(const QString &folder);
    QJsonValue run(const QJsonObject &step);

    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<CustomerDB> mCustomers;
    std::unique_ptr<DeviceParamsDB> mParams;
    QJsonArray mSignals;
    int mBaseline = 0;
};

// Both stores (re)opened below the folder; the parameters' signals noted with what a receiver
// reads of the store meanwhile: it is not locked while they run.
void tst_Stores::open(const QString &folder)
{
    mCustomers.reset();
    mParams.reset();
    const QString dir = folder.isEmpty() ? mEnv->path() : mEnv->filePath(folder);
    mCustomers = std::make_unique<CustomerDB>(dir + "/customers.sqlite");
    mParams = std::make_unique<DeviceParamsDB>(dir + "/deviceParams.sqlite");
    const auto note = [this](const QString &name) {
        return [this, name](const KeyValue::Ptr &p) {
            const bool found = mParams->find(p->key());
            mSignals.append(QStringLiteral("%1 %2 %3 of %4").arg(name, p->key()).arg(found).arg(mParams->findAll().size()));
        };
    };
    connect(mParams.get(), &DeviceParamsDB::changed, this, note("changed"));
    connect(mParams.get(), &DeviceParamsDB::removed, this, note("removed"));
}

// One step of a session: a store's call, SQL on the test's own connection, a file written or
// looked for below the folder; what it returned.
QJsonValue tst_Stores::run(const QJsonObject &step)
{
    const QString op = step["op"].toString();
    const QJsonValue arg = step["arg"];
    QSqlQuery sql(QSqlDatabase::database("direct"));
    if (op == "sql") { // the first row's last column
        if (!sql.exec(arg.toString()))
            return sql.lastError().text();
        return sql.next() ? QJsonValue::fromVariant(sql.value(sql.record().count() - 1)) : QJsonValue(true);
    }
    if (op == "insert") { // true, and whether the caller's record was left alone
        const auto customer = Customer::Ptr::create(arg.toObject());
        return QJsonArray{mCustomers->insert(customer), customer->lastAccessTime().isNull()};
    }
    if (op == "find") {
        const Customer::Ptr found = arg.isString() ? mCustomers->find(arg.toString()) : mCustomers->find(arg.toInt());
        if (!found)
            return QJsonValue();
        const bool recent = found->lastAccessTime().isValid() && qAbs(found->lastAccessTime().secsTo(QDateTime::currentDateTimeUtc())) < 60;
        return JsonPath::withValue(found->toJson(), "lastAccessTime", recent ? "<recent>" : found->lastAccessTime().toString(Qt::ISODate));
    }
    if (op == "touch")
        return mCustomers->updateLastAccessTime(step["id"].toInt(), QDateTime::fromString(arg.toString(), Qt::ISODate));
    if (op == "clean")
        return mCustomers->clean(QDateTime::fromString(arg.toString(), Qt::ISODate));
    if (op == "file")
        return mEnv->writeFile(arg.toString(), "png");
    if (op == "exists")
        return QFile::exists(mEnv->filePath(arg.toString()));
    if (op == "param")
        mParams->insert(KeyValue::Ptr::create(arg.toObject()));
    if (op == "findParam") {
        const KeyValue::Ptr found = arg.isString() ? mParams->find(arg.toString()) : mParams->find(arg.toInt());
        return found ? QJsonValue(found->toJson()) : QJsonValue();
    }
    if (op == "removeParam")
        arg.isString() ? mParams->remove(arg.toString()) : mParams->remove(arg.toInt());
    if (op == "params")
        return QJsonArray::fromStringList(mParams->findAll().keys());
    if (op == "open")
        open(arg.toString());
    return QJsonValue(QJsonValue::Undefined);
}

QTEST_GUILESS_MAIN(tst_Stores)
#include "tst_stores.moc"
