#include "tarvik/keyvalue.h"

#include "support/testenv.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using tarvik::KeyValue;

namespace {

const char kConnection[] = "tst_keyvalue";

KeyValue::Ptr param(const QByteArray &json)
{
    return KeyValue::Ptr::create(QJsonDocument::fromJson("[" + json + "]").array().at(0).toObject());
}

} // namespace

class tst_KeyValue : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void readsKeys_data();
    void readsKeys();
    void matches_data();
    void matches();
    void bindsEmptyTextAsNull();
    void roundTripsThroughStore_data();
    void roundTripsThroughStore();

private:
    TestEnv mEnv;
};

void tst_KeyValue::initTestCase()
{
    QVERIFY(mEnv.isValid());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(kConnection));
    db.setDatabaseName(mEnv.filePath(QStringLiteral("deviceParams.sqlite")));
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    QSqlQuery create(db);
    QVERIFY2(create.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS DeviceParams (id BIG INT, carrierId INT, "
                                        "key VARCHAR(64), value VARCHAR(256), description VARCHAR(256), "
                                        "PRIMARY KEY (id, key))")),
             qPrintable(create.lastError().text()));
}

void tst_KeyValue::cleanupTestCase()
{
    QSqlDatabase::database(QLatin1String(kConnection)).close();
    QSqlDatabase::removeDatabase(QLatin1String(kConnection));
}

void tst_KeyValue::init()
{
    QSqlQuery clear(QSqlDatabase::database(QLatin1String(kConnection)));
    QVERIFY2(clear.exec(QStringLiteral("DELETE FROM DeviceParams")), qPrintable(clear.lastError().text()));
}

void tst_KeyValue::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("carrierId");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray("{}") << 0 << 0 << QString() << QString() << QString()
                           << QStringLiteral("(0)  = ");
    QTest::newRow("element-number") << QByteArray("5") << 0 << 0 << QString() << QString() << QString()
                                    << QStringLiteral("(0)  = ");
    QTest::newRow("element-null") << QByteArray("null") << 0 << 0 << QString() << QString() << QString()
                                  << QStringLiteral("(0)  = ");
    QTest::newRow("all-null")
        << QByteArray(R"({"id":null,"carriersId":null,"key":null,"value":null,"keyDescription":null})")
        << 0 << 0 << QString() << QString() << QString() << QStringLiteral("(0)  = ");
    QTest::newRow("full")
        << QByteArray(R"({"id":7,"carriersId":3,"key":"x","value":"y","keyDescription":"z"})")
        << 7 << 3 << QString("x") << QString("y") << QString("z") << QStringLiteral("(7) x = y");
    QTest::newRow("carrier-id-is-not-carriersId") << QByteArray(R"({"carrierId":3})") << 0 << 0 << QString()
                                                  << QString() << QString() << QStringLiteral("(0)  = ");
    QTest::newRow("numbers-as-text") << QByteArray(R"({"id":"7","carriersId":"3","value":60})") << 0 << 0
                                     << QString() << QString() << QString() << QStringLiteral("(0)  = ");
    QTest::newRow("percent-in-key") << QByteArray(R"({"id":1,"key":"%2","value":"%1"})") << 1 << 0
                                    << QString("%2") << QString("%1") << QString() << QStringLiteral("(1) %2 = %1");
}

void tst_KeyValue::readsKeys()
{
    QFETCH(QByteArray, json);
    QFETCH(int, id);
    QFETCH(int, carrierId);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, description);
    QFETCH(QString, text);

    const KeyValue::Ptr p = param(json);
    QCOMPARE(p->id(), id);
    QCOMPARE(p->carrierId(), carrierId);
    QCOMPARE(p->key(), key);
    QCOMPARE(p->value(), value);
    QCOMPARE(p->description(), description);
    QCOMPARE(p->toString(), text);
}

void tst_KeyValue::matches_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("expected");

    const QByteArray full(R"({"id":7,"carriersId":3,"key":"x","value":"y","keyDescription":"z"})");
    QTest::newRow("same") << full << full << true;
    QTest::newRow("unknown-keys-ignored")
        << full << QByteArray(R"({"id":7,"carriersId":3,"key":"x","value":"y","keyDescription":"z","k":1})") << true;
    QTest::newRow("id-as-double")
        << full << QByteArray(R"({"id":7.0,"carriersId":3,"key":"x","value":"y","keyDescription":"z"})") << true;
    QTest::newRow("description-differs")
        << full << QByteArray(R"({"id":7,"carriersId":3,"key":"x","value":"y","keyDescription":"other"})") << false;
    QTest::newRow("carrier-differs")
        << full << QByteArray(R"({"id":7,"carriersId":4,"key":"x","value":"y","keyDescription":"z"})") << false;
    QTest::newRow("id-as-text")
        << full << QByteArray(R"({"id":"7","carriersId":3,"key":"x","value":"y","keyDescription":"z"})") << false;
    QTest::newRow("null-vs-empty-value") << QByteArray(R"({"value":null})") << QByteArray(R"({"value":""})") << false;
    QTest::newRow("null-vs-absent-value") << QByteArray(R"({"value":null})") << QByteArray("{}") << false;
    QTest::newRow("empty-vs-absent-value") << QByteArray(R"({"value":""})") << QByteArray("{}") << false;
    QTest::newRow("both-null") << QByteArray(R"({"value":null})") << QByteArray(R"({"value":null})") << true;
    QTest::newRow("absent-description-both") << QByteArray(R"({"id":1})") << QByteArray(R"({"id":1})") << true;
    QTest::newRow("absent-vs-null-description")
        << QByteArray(R"({"id":1})") << QByteArray(R"({"id":1,"keyDescription":null})") << false;
    QTest::newRow("both-empty") << QByteArray("{}") << QByteArray("{}") << true;
}

void tst_KeyValue::matches()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, expected);
    QCOMPARE(param(a)->matches(param(b)), expected);
    QCOMPARE(param(b)->matches(param(a)), expected);
    QVERIFY(!param(a)->matches(KeyValue::Ptr()));
}

void tst_KeyValue::bindsEmptyTextAsNull()
{
    QSqlQuery query(QSqlDatabase::database(QLatin1String(kConnection)));
    QVERIFY(query.prepare(QStringLiteral("INSERT OR REPLACE INTO DeviceParams (id, carrierId, key, value, "
                                         "description) VALUES (?, ?, ?, ?, ?)")));
    KeyValue().toSql(query);
    QCOMPARE(query.boundValues().size(), 5);
    QCOMPARE(query.boundValue(0), QVariant(0));
    QCOMPARE(query.boundValue(1), QVariant(0));
    for (int i = 2; i < 5; ++i) {
        QVERIFY2(query.boundValue(i).isNull(), qPrintable(QString::number(i)));
        QCOMPARE(query.boundValue(i).type(), QVariant::String);
    }
}

void tst_KeyValue::roundTripsThroughStore_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("matchesStored"); // whether the incoming record matches what the store gives back

    QTest::newRow("full") << QByteArray(R"({"id":7,"carriersId":3,"key":"x","value":"y","keyDescription":"z"})")
                          << true;
    QTest::newRow("null-value") << QByteArray(R"({"id":8,"carriersId":3,"key":"x","value":null,"keyDescription":null})")
                                << true;
    QTest::newRow("empty-value") << QByteArray(R"({"id":9,"carriersId":3,"key":"x","value":"","keyDescription":null})")
                                 << false;
    QTest::newRow("no-description") << QByteArray(R"({"id":10,"carriersId":3,"key":"x","value":"y"})") << false;
    QTest::newRow("big-id")
        << QByteArray(R"({"id":2147483647,"carriersId":-1,"key":"k","value":"v","keyDescription":"d"})") << true;
    QTest::newRow("unicode")
        << QByteArray(R"({"id":11,"carriersId":1,"key":"γλώσσα","value":"ελ","keyDescription":"–"})") << true;
}

void tst_KeyValue::roundTripsThroughStore()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, matchesStored);

    const KeyValue::Ptr incoming = param(json);
    QSqlDatabase db = QSqlDatabase::database(QLatin1String(kConnection));
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(QStringLiteral("INSERT OR REPLACE INTO DeviceParams (id, carrierId, key, value, "
                                          "description) VALUES (?, ?, ?, ?, ?)")));
    incoming->toSql(insert);
    QVERIFY2(insert.exec(), qPrintable(insert.lastError().text()));

    QSqlQuery select(db);
    QVERIFY(select.prepare(QStringLiteral("SELECT * FROM DeviceParams WHERE id = ?")));
    select.addBindValue(incoming->id());
    QVERIFY2(select.exec(), qPrintable(select.lastError().text()));
    QVERIFY(select.next());
    const KeyValue::Ptr stored = KeyValue::fromSql(select);
    QVERIFY(!select.next());

    QCOMPARE(stored->id(), incoming->id());
    QCOMPARE(stored->carrierId(), incoming->carrierId());
    QCOMPARE(stored->key(), incoming->key());
    QCOMPARE(stored->value(), incoming->value());
    QCOMPARE(stored->description(), incoming->description());
    QCOMPARE(stored->matches(incoming), matchesStored);
    // What the store gives back is stable: written again, it reads back the same.
    QSqlQuery again(db);
    QVERIFY(again.prepare(insert.lastQuery()));
    stored->toSql(again);
    QVERIFY2(again.exec(), qPrintable(again.lastError().text()));
    QVERIFY(select.exec());
    QVERIFY(select.next());
    QVERIFY(KeyValue::fromSql(select)->matches(stored));
    QCOMPARE(stored->toJson().value(QLatin1String("value")).isNull(), incoming->value().isEmpty());
}

QTEST_GUILESS_MAIN(tst_KeyValue)
#include "tst_keyvalue.moc"
