#include "tarvik/action.h"

#include "core/base64.h"

#include <QJsonDocument>
#include <QtTest>

using tarvik::Action;

namespace {

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

const QByteArray kTopUp = R"({"id": 41, "accountToken": "acc-7", "smartCardUuid": "04A1B2C3D4E5F6",
    "status": "UNASSIGNED", "counter": 3, "transactionType": "PERIOD_PASS_TOP_UP",
    "fareProductCode": "MONTHLY", "passengerTypeCode": "STUDENT",
    "passengerTypeExpirationDate": "31/12/2025 23:59:59", "actionDate": "05/03/2024 06:07:08",
    "createdBy": "backoffice", "amount": {"value": 30}})";

} // namespace

class tst_Action : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void readsKeys_data();
    void readsKeys();
    void datesAreLocal();
    void keepsEveryKey();
    void toStringBlock_data();
    void toStringBlock();
    void snapshotRoundTrip_data();
    void snapshotRoundTrip();
    void badSnapshotGivesEmptyAction_data();
    void badSnapshotGivesEmptyAction();
};

void tst_Action::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_Action::readsKeys_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("accountToken");
    QTest::addColumn<QString>("smartCardUuid");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QString>("transactionType");
    QTest::addColumn<QString>("fareProductCode");
    QTest::addColumn<QString>("passengerTypeCode");
    QTest::addColumn<QDateTime>("expiration");
    QTest::addColumn<QDateTime>("actionDate");

    QTest::newRow("top-up") << kTopUp << 41 << "acc-7" << "04A1B2C3D4E5F6" << "UNASSIGNED" << 3
                            << "PERIOD_PASS_TOP_UP" << "MONTHLY" << "STUDENT"
                            << QDateTime(QDate(2025, 12, 31), QTime(23, 59, 59))
                            << QDateTime(QDate(2024, 3, 5), QTime(6, 7, 8));
    QTest::newRow("empty") << QByteArray("{}") << 0 << "" << "" << "" << 0 << "" << "" << "" << QDateTime()
                           << QDateTime();
    QTest::newRow("wrong-types") << QByteArray(R"({"id": "41", "counter": 2.5, "status": 1, "accountToken": null,
        "actionDate": "2024-03-05T06:07:08", "passengerTypeExpirationDate": 1700000000})")
                                 << 0 << "" << "" << "" << 0 << "" << "" << "" << QDateTime() << QDateTime();
}

void tst_Action::readsKeys()
{
    QFETCH(QByteArray, json);
    const Action action(object(json));
    QTEST(action.id(), "id");
    QTEST(action.accountToken(), "accountToken");
    QTEST(action.smartCardUuid(), "smartCardUuid");
    QTEST(action.status(), "status");
    QTEST(action.counter(), "counter");
    QTEST(action.transactionType(), "transactionType");
    QTEST(action.fareProductCode(), "fareProductCode");
    QTEST(action.passengerTypeCode(), "passengerTypeCode");
    QTEST(action.passengerTypeExpirationDate(), "expiration");
    QTEST(action.actionDate(), "actionDate");
}

void tst_Action::datesAreLocal()
{
    const Action action(object(kTopUp));
    QCOMPARE(action.actionDate().timeSpec(), Qt::LocalTime);
    QCOMPARE(action.actionDate().toString("dd/MM/yyyy hh:mm:ss"), QString("05/03/2024 06:07:08"));
}

void tst_Action::keepsEveryKey()
{
    const QJsonObject json = object(kTopUp);
    QCOMPARE(Action(json).toJson(), json);
    const Action::Ptr shared = Action::fromJson(json);
    QVERIFY(shared);
    QCOMPARE(shared->toJson(), json);
    QCOMPARE(Action().toJson(), QJsonObject());
}

void tst_Action::toStringBlock_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("expected");

    QTest::newRow("top-up") << kTopUp
                            << QStringLiteral("--- Action ----------------------------------------\n"
                                              "ID                 : 41\n"
                                              "Account Token      : acc-7\n"
                                              "Smart Card UID     : 04A1B2C3D4E5F6\n"
                                              "Action Status      : UNASSIGNED\n"
                                              "Action Counter     : 3\n"
                                              "Transaction Type   : PERIOD_PASS_TOP_UP\n"
                                              "FareProduct Code   : MONTHLY\n"
                                              "PassengerType Code : STUDENT\n"
                                              "PT Expiration Date : 31/12/2025 23:59:59\n"
                                              "Action Date        : 05/03/2024 06:07:08\n"
                                              "-------------------------------------------------");
    // A date in another form reads as invalid and shows empty.
    QTest::newRow("other-date-form") << QByteArray(R"({"id": 2, "actionDate": "2024-03-05 06:07:08"})")
                                     << QStringLiteral("--- Action ----------------------------------------\n"
                                                       "ID                 : 2\n"
                                                       "Account Token      : \n"
                                                       "Smart Card UID     : \n"
                                                       "Action Status      : \n"
                                                       "Action Counter     : 0\n"
                                                       "Transaction Type   : \n"
                                                       "FareProduct Code   : \n"
                                                       "PassengerType Code : \n"
                                                       "PT Expiration Date : \n"
                                                       "Action Date        : \n"
                                                       "-------------------------------------------------");
}

void tst_Action::toStringBlock()
{
    QFETCH(QByteArray, json);
    QTEST(Action(object(json)).toString(), "expected");
}

void tst_Action::snapshotRoundTrip_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("top-up") << kTopUp;
    QTest::newRow("empty") << QByteArray("{}");
    QTest::newRow("unicode-and-nesting") << QByteArray(R"({"id": 1, "note": "Ελληνικά €", "list": [1, {"a": null}]})");
}

void tst_Action::snapshotRoundTrip()
{
    QFETCH(QByteArray, json);
    const Action action(object(json));
    const QString snapshot = action.snapshot();
    // The store keeps the indented document in Base64.
    QCOMPARE(QByteArray::fromStdString(Base64::decode(snapshot.toStdString())),
             QJsonDocument(object(json)).toJson(QJsonDocument::Indented));
    const Action::Ptr back = Action::fromSnapshot(snapshot);
    QVERIFY(back);
    QCOMPARE(back->toJson(), object(json));
}

void tst_Action::badSnapshotGivesEmptyAction_data()
{
    QTest::addColumn<QString>("snapshot");
    QTest::newRow("empty") << QString();
    QTest::newRow("not-base64") << QStringLiteral("%%%not base64%%%");
    QTest::newRow("base64-of-text") << QString::fromStdString(Base64::encode("hello"));
    QTest::newRow("base64-of-array") << QString::fromStdString(Base64::encode("[1, 2]"));
    QTest::newRow("truncated") << Action(object(kTopUp)).snapshot().left(40);
}

void tst_Action::badSnapshotGivesEmptyAction()
{
    QFETCH(QString, snapshot);
    const Action::Ptr action = Action::fromSnapshot(snapshot);
    QVERIFY(action);
    QCOMPARE(action->toJson(), QJsonObject());
    QCOMPARE(action->id(), 0);
    QCOMPARE(action->accountToken(), QString());
}

QTEST_GUILESS_MAIN(tst_Action)
#include "tst_action.moc"
