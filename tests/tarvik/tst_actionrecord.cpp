#include "tarvik/actionrecord.h"

#include <QJsonDocument>
#include <QtTest>

using tarvik::Action;
using tarvik::ActionRecord;

namespace {

Action::Ptr topUp()
{
    return Action::fromJson(QJsonDocument::fromJson(R"({"id": 41, "accountToken": "acc-7",
        "smartCardUuid": "04A1B2C3D4E5F6", "status": "UNASSIGNED", "counter": 3,
        "transactionType": "STORED_JOURNEYS_TOP_UP", "fareProductCode": "TEN_TRIPS"})").object());
}

} // namespace

class tst_ActionRecord : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void emptyRecord();
    void fromAction();
    void fromNullAction();
    void toJsonBody_data();
    void toJsonBody();
    void toStringBlock();
    void countsSendAttempts();
};

void tst_ActionRecord::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ActionRecord::emptyRecord()
{
    const ActionRecord record;
    QCOMPARE(record.accountToken(), QString());
    QCOMPARE(record.counter(), 0);
    QVERIFY(record.actionDate().isNull());
    QVERIFY(!record.balanceBefore().isValid());
    QVERIFY(!record.journeysAfter().isValid());
    QVERIFY(!record.action());
    QCOMPARE(record.sendAttempts(), 0);
}

void tst_ActionRecord::fromAction()
{
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const ActionRecord record(topUp());
    QCOMPARE(record.accountToken(), QString("acc-7"));
    QCOMPARE(record.counter(), 3);
    QCOMPARE(record.smartCardUid(), QString("04A1B2C3D4E5F6"));
    QCOMPARE(record.actionDate().timeSpec(), Qt::LocalTime);
    QVERIFY(record.actionDate() >= before && record.actionDate() <= QDateTime::currentDateTime());
    QCOMPARE(record.deviceUuid(), QString());
    QCOMPARE(record.snapshot(), QString());
    QCOMPARE(record.code(), QString());
    QVERIFY(!record.balanceAfter().isValid());
    QCOMPARE(record.action()->id(), 41);
    QCOMPARE(record.sendAttempts(), 0);
}

void tst_ActionRecord::fromNullAction()
{
    const ActionRecord record{Action::Ptr()};
    QCOMPARE(record.accountToken(), QString());
    QVERIFY(!record.action());
    QVERIFY(record.toString().contains("Action ID          : 0"));
}

void tst_ActionRecord::toJsonBody_data()
{
    QTest::addColumn<QVariant>("balanceBefore");
    QTest::addColumn<QVariant>("balanceAfter");
    QTest::addColumn<QVariant>("journeysBefore");
    QTest::addColumn<QVariant>("journeysAfter");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = R"({"accountToken":"acc-7","actionDate":"05/03/2024 06:07:08",)";
    const QByteArray tail = R"("counter":3,"deviceUuid":"SN-1",)";
    QTest::newRow("nothing-set") << QVariant() << QVariant() << QVariant() << QVariant()
                                 << head + R"("balanceAfter":null,"balanceBefore":null,)" + tail
                                        + R"("journeysAfter":null,"journeysBefore":null,"smartCardUuid":"04A1B2C3D4E5F6","snapshot":"c25hcA=="})";
    QTest::newRow("journeys-set") << QVariant() << QVariant() << QVariant(10) << QVariant(qlonglong(9))
                                  << head + R"("balanceAfter":null,"balanceBefore":null,)" + tail
                                         + R"("journeysAfter":9,"journeysBefore":10,"smartCardUuid":"04A1B2C3D4E5F6","snapshot":"c25hcA=="})";
    QTest::newRow("balances-set") << QVariant(1250) << QVariant(1000) << QVariant() << QVariant()
                                  << head + R"("balanceAfter":1000,"balanceBefore":1250,)" + tail
                                         + R"("journeysAfter":null,"journeysBefore":null,"smartCardUuid":"04A1B2C3D4E5F6","snapshot":"c25hcA=="})";
    QTest::newRow("not-a-number") << QVariant("lots") << QVariant(QVariant::Int) << QVariant() << QVariant()
                                  << head + R"("balanceAfter":null,"balanceBefore":null,)" + tail
                                         + R"("journeysAfter":null,"journeysBefore":null,"smartCardUuid":"04A1B2C3D4E5F6","snapshot":"c25hcA=="})";
}

void tst_ActionRecord::toJsonBody()
{
    QFETCH(QVariant, balanceBefore);
    QFETCH(QVariant, balanceAfter);
    QFETCH(QVariant, journeysBefore);
    QFETCH(QVariant, journeysAfter);

    ActionRecord record(topUp());
    record.setActionDate(QDateTime(QDate(2024, 3, 5), QTime(6, 7, 8)));
    record.setDeviceUuid("SN-1");
    record.setSnapshot("c25hcA==");
    record.setCode("TEN_TRIPS");
    record.setBalanceBefore(balanceBefore);
    record.setBalanceAfter(balanceAfter);
    record.setJourneysBefore(journeysBefore);
    record.setJourneysAfter(journeysAfter);
    record.setSendAttempts(4);
    // The action, the code and the attempts stay on the device.
    QTEST(QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact), "expected");
}

void tst_ActionRecord::toStringBlock()
{
    ActionRecord record(topUp());
    record.setActionDate(QDateTime(QDate(2024, 3, 5), QTime(6, 7, 8)));
    record.setDeviceUuid("SN-1");
    record.setCode("TEN_TRIPS");
    record.setSendAttempts(2);
    QCOMPARE(record.toString(), QStringLiteral("--- ACTION RECORD ---------------------------------------\n"
                                               "Action ID          : 41\n"
                                               "Account Token      : acc-7\n"
                                               "Action Counter     : 3\n"
                                               "Action Date        : 05/03/2024 06:07:08\n"
                                               "Device UUID        : SN-1\n"
                                               "Smart Card UID     : 04A1B2C3D4E5F6\n"
                                               "FP/PT Code         : TEN_TRIPS\n"
                                               "Send Attempts      : 2\n"
                                               "-------------------------------------------------"));
}

void tst_ActionRecord::countsSendAttempts()
{
    ActionRecord record(topUp());
    record.incSendAttempts(1);
    QCOMPARE(record.sendAttempts(), 1);
    record.incSendAttempts(3);
    QCOMPARE(record.sendAttempts(), 4);
}

QTEST_GUILESS_MAIN(tst_ActionRecord)
#include "tst_actionrecord.moc"
