#pragma once

#include "tarvik/actionrecord.h"
#include "tarvik/connector.h"
#include "tarvik/routemanager.h"

#include "support/goldenfile.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <memory>

// A data folder and the log of the test function, shown when the test fails.
struct TarvikFixture
{
    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<LogCapture> mLog;

    // From init(); false when the data folder cannot be made.
    bool setUpFolder()
    {
        mEnv = std::make_unique<TestEnv>();
        mLog = std::make_unique<LogCapture>();
        return mEnv->isValid();
    }

    QString dumpLog() const { return mLog ? mLog->texts().join('\n') : QString(); }

    // From cleanup(), after the test's own objects are gone.
    void tearDownFolder()
    {
        const QString log = dumpLog();
        mLog.reset(); // before the log is shown, or it would capture it
        if (QTest::currentTestFailed())
            qWarning().noquote() << "Log of the failed test:\n" << log;
        mEnv.reset();
    }
};

// The test's own connection to an SQLite file that the code under test writes, while it lives.
struct DirectDb
{
    explicit DirectDb(const QString &file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(Name));
        db.setDatabaseName(file);
        error = db.open() ? QString() : db.lastError().text();
    }
    ~DirectDb()
    {
        db().close();
        QSqlDatabase::removeDatabase(QLatin1String(Name));
    }
    QSqlDatabase db() const { return QSqlDatabase::database(QLatin1String(Name)); }
    // The first column of the first row, or the error in angle brackets.
    QVariant value(const QString &sql) const
    {
        QSqlQuery query(db());
        return query.exec(sql) && query.next() ? query.value(0) : QStringLiteral("<%1>").arg(query.lastError().text());
    }

    static constexpr const char *Name = "tarvik_test_direct";
    QString error; // empty once open
};

// What the route and fare manager tests share: a data folder, a connector that only runs when a
// test starts it, the route manager of device "SN-1", and the log of the test function.
struct ManagerFixture : TarvikFixture
{
    std::unique_ptr<tarvik::Connector> mConnector;
    std::unique_ptr<tarvik::RouteManager> mRoutes;

    // From init(); false when the data folder cannot be made.
    bool setUp()
    {
        if (!setUpFolder())
            return false;
        mConnector = std::make_unique<tarvik::Connector>();
        mRoutes = std::make_unique<tarvik::RouteManager>(*mConnector, QStringLiteral("SN-1"), mEnv->path());
        mLog->clear();
        return true;
    }

    // The answers of a case and every line logged since setUp() (those holding `only`) against entry `name`
    // of the golden file.
    void compareGolden(const char *file, const QString &name, const QStringList &answers, const QString &only = QString())
    {
        QStringList log;
        for (QString line : mLog->texts().filter(only))
            log << line.replace(mEnv->path(), "<dir>").replace(QRegularExpression("(in :? ?)\\d+ msec"), "\\1N msec");
        const QByteArray diff = GoldenFile::mismatch(file, name, QJsonObject{{"answers", QJsonArray::fromStringList(answers)},
                                                                             {"log", QJsonArray::fromStringList(log)}});
        QVERIFY2(diff.isEmpty(), diff.constData());
    }

    // From cleanup(), after the test's own managers are gone.
    void tearDown()
    {
        mRoutes.reset();
        mConnector.reset();
        tearDownFolder();
    }
};

// One entry of a JSON sample file of the data folder.
inline QJsonObject sample(const char *key, const char *file)
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/") + file).object().value(key).toObject();
}

// Rows "name" and "testCase", one per case.
inline void addCaseRows(const QJsonObject &cases)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("testCase");
    QVERIFY(!cases.isEmpty());
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.key() << it.value().toObject();
}

// "[a,b]" of what `text` gives for each record; sorted for the joins whose order is a hash's.
template <typename List, typename Text>
QString joined(const List &records, Text text, bool sort = false)
{
    QStringList out;
    for (const auto &record : records)
        out << text(record);
    if (sort)
        out.sort();
    return '[' + out.join(',') + ']';
}

inline int idOf(int id) { return id; }
template <typename Ptr>
int idOf(const Ptr &record) { return record->id(); }

// "[1,2,3]" of records' ids or of ids; sorted for the joins whose order is a hash's.
template <typename List>
QString ids(const List &list, bool sort = false)
{
    QList<int> out;
    for (const auto &item : list)
        out << idOf(item);
    if (sort)
        std::sort(out.begin(), out.end());
    return joined(out, [](int id) { return QString::number(id); });
}

// An action record of device "SN-1" and card "04A1B2", as the validation thread makes one.
inline tarvik::ActionRecord::Ptr actionRecord(const QString &token, int counter)
{
    auto r = tarvik::ActionRecord::Ptr::create(tarvik::Action::fromJson(
        {{"id", counter}, {"accountToken", token}, {"smartCardUuid", "04A1B2"}, {"counter", counter}, {"status", "UNASSIGNED"}}));
    r->setDeviceUuid(QStringLiteral("SN-1"));
    r->setActionDate(QDateTime(QDate(2025, 3, 10), QTime(8, 30, 15)));
    r->setSnapshot(QStringLiteral("c25hcHNob3Q="));
    r->setCode(QStringLiteral("FP_MONTH"));
    return r;
}
