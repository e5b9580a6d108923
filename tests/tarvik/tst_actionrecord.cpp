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
    void fromAction();
    void toJsonBody_data();
    void toJsonBody();
};

void tst_ActionRecord::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
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

QTEST_GUILESS_MAIN(tst_ActionRecord)
#include "tst_actionrecord.moc"
