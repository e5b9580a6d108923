#include "db/customerdb.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class tst_CustomerIndex : public QObject
{
    Q_OBJECT
private slots:
    void indexesCardsOfExistingStore();
};

void tst_CustomerIndex::indexesCardsOfExistingStore()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("customers.sqlite"));
    QList<int> scanned; // the first row of each card as a walk over the table finds it; 0: none
    const QStringList cards{"c1", "c2", "c3", "none"};
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(path);
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        QSqlQuery q(db);
        // A file of a build without the index; card c1 has two customers, the later id first.
        QVERIFY(q.exec(QStringLiteral("CREATE TABLE customers (id BIG INT, uuid CHAR(36), smartCardUuid CHAR(36), "
                                      "type VARCHAR(64), name VARCHAR(64), surname VARCHAR(64), email VARCHAR(64), "
                                      "mobile VARCHAR(64), image VARCHAR(64), accountCreationDate UNSIGNED BIG INT, "
                                      "lastAccessTime UNSIGNED BIG INT, PRIMARY KEY (id, smartCardUuid))")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO customers (id, smartCardUuid) VALUES "
                                      "(9, 'c1'), (3, 'c1'), (4, 'c2'), (5, ''), (6, 'c3'), (5, 'c3')")));
        for (const QString &card : cards) {
            q.prepare(QStringLiteral("SELECT id FROM customers NOT INDEXED WHERE smartCardUuid = ?"));
            q.addBindValue(card);
            QVERIFY(q.exec());
            scanned << (q.next() ? q.value(0).toInt() : 0);
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    CustomerDB store(path);
    for (int i = 0; i < cards.size(); ++i) {
        const tarvik::Customer::Ptr found = store.find(cards.at(i));
        QCOMPARE(found ? found->id() : 0, scanned.at(i));
    }
    QString steps;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plan"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery plan(db);
        QVERIFY(plan.exec(QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM customers WHERE smartCardUuid = 'c1'")));
        while (plan.next())
            steps += plan.value(3).toString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plan"));
    QVERIFY2(steps.startsWith(QLatin1String("SEARCH")), qPrintable(steps)); // not a walk over the table
}

QTEST_GUILESS_MAIN(tst_CustomerIndex)
#include "tst_customerindex.moc"
