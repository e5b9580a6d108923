#include "rfid/zetodes_v2/card.h"

#include "support/jsonpath.h"
#include "support/logcapture.h"

#include <QtTest>

#include <stdexcept>

using namespace ZetoDes_v2;

namespace {

QJsonObject sample(const QString &name = QStringLiteral("desv2-full.json"))
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/") + name).object();
}

QString readError(const QJsonObject &json)
{
    try {
        Card card(json);
    } catch (const std::runtime_error &e) {
        return QString::fromLocal8Bit(e.what());
    }
    return QString();
}

QJsonObject applied(QJsonObject json, const QVariantMap &changes)
{
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        json = it.value().isValid() ? JsonPath::withValue(json, it.key(), QJsonValue::fromVariant(it.value()))
                                    : JsonPath::removed(json, it.key());
    }
    return json;
}

const QVariant kRemove;

QJsonObject dataOf(const Card &card)
{
    return card.toJson().value(QStringLiteral("data")).toObject();
}

} // namespace

class tst_ZetoDesV2Card : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity();
    void readsEveryField();
    void missingKeyNamesFirstInReadOrder_data();
    void missingKeyNamesFirstInReadOrder();
    void flagsDecideRequiredKeys_data();
    void flagsDecideRequiredKeys();
    void writesOnlyNewUsageLogEntries();
    void expiredProductsAreStillWritten();
    void slotComesFromPointerNotPassNumber();
    void refusesForeignRecords();
    void updateStateFlags_data();
    void updateStateFlags();
    void blockWritesUtc();
    void defaultCard();
    void logsState();

private:
    bool mWest = false;
};

void tst_ZetoDesV2Card::initTestCase()
{
    QVERIFY(!sample().isEmpty());
    mWest = qgetenv("TZ") == "America/New_York";
    if (mWest)
        QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ZetoDesV2Card::identity()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("ZetoDESv2"));
    QCOMPARE(Card::SupportedVersions, QList<int>{1});
}

void tst_ZetoDesV2Card::readsEveryField()
{
    Card card(sample());
    QCOMPARE(card.getUid(), QStringLiteral("0422AB19CD"));
    QCOMPARE(card.getType(), 256);
    QCOMPARE(card.getBalance(), 530);
    QCOMPARE(card.getRemainingJourneys(), 6u);
    QCOMPARE(card.getTransactionCounter(), 88u);

    const Info info = card.getInfo();
    QCOMPARE(info.getVersion(), 1);
    QCOMPARE(info.getIssuerId(), 5);
    QCOMPARE(info.getPassengerId(), 3321);
    QCOMPARE(info.getPassengerTypeExpiryDate(), QDate(2029, 8, 31));
    QCOMPARE(info.getExpiryDate(), QDate(2031, 12, 31));
    QCOMPARE(info.getIssueTimestamp(), QDateTime(QDate(2021, 11, 2), QTime(9, 30), Qt::UTC));

    const State *state = card.getState();
    QCOMPARE(state->getStatus(), 0u);
    QCOMPARE(state->getDeviceId(), 77);
    QCOMPARE(state->getDeviceType(), 1);
    QCOMPARE(state->getPassengerType(), 3u);
    const State::CardType flags = state->getCardType();
    QVERIFY(flags.personalized && flags.hasPeriodPass0 && flags.hasPeriodPass1 && flags.hasStoredJourneys
            && flags.hasEPurse);

    QCOMPARE(card.periodPasses(), (QList<PeriodPass *>{card.getPeriodPass0(), card.getPeriodPass1()}));
    const PeriodPass *pass0 = card.getPeriodPass0();
    QCOMPARE(pass0->getPeriodPassNum(), 0u);
    QCOMPARE(pass0->getProductId(), 301u);
    QCOMPARE(pass0->getStatus(), 15u);
    QCOMPARE(pass0->getDays(), 30u);
    QCOMPARE(pass0->getActivationTimestamp(), QDateTime(QDate(2024, 3, 1), QTime(7, 0, 1), Qt::UTC));
    QCOMPARE(card.getPeriodPass1()->getPeriodPassNum(), 1u);
    QCOMPARE(card.getPeriodPass1()->getStatus(), 16u);

    QCOMPARE(card.storedJourneys(), card.getStoredJourneys());
    QCOMPARE(card.storedJourneys()->getProductId(), 410u);
    QCOMPARE(card.storedJourneys()->getJourneys(), 10u);
    QCOMPARE(card.storedJourneys()->getIssueTimestamp(), QDateTime(QDate(2024, 1, 5), QTime(10, 0), Qt::UTC));

    QCOMPARE(card.getTopupLog().size(), std::size_t(1));
    const std::vector<UsageLogEntry> log = card.getUsageLog();
    QCOMPARE(log.size(), std::size_t(2));
    const UsageLogEntry &last = log.front();
    QCOMPARE(last.getProductType(), 3u);
    QCOMPARE(last.getProductId(), 410u);
    QCOMPARE(last.getRouteId(), 12u);
    QCOMPARE(last.getExecutionRouteId(), 99817u);
    QCOMPARE(last.getFromStopId(), 1402u);
    QCOMPARE(last.getDeviceType(), 6u);
    QCOMPARE(last.getJourneysBefore(), 7u);
    QCOMPARE(last.getJourneysAfter(), 6u);
    QCOMPARE(last.getTimestamp(), QDateTime(QDate(2024, 3, 4), QTime(17, 20, 5), Qt::UTC));

    // Slot 1 alone, slot 0 null on the wire.
    Card only1(sample(QStringLiteral("desv2-pass1-only.json")));
    QCOMPARE(only1.periodPasses(), QList<PeriodPass *>{only1.getPeriodPass1()});
    QCOMPARE(only1.getPeriodPass1()->getPeriodPassNum(), 1u);
    QCOMPARE(only1.getPeriodPass1()->getProductId(), 302u);
    QCOMPARE(only1.getPeriodPass0()->getProductId(), 0u);
    QVERIFY(!only1.storedJourneys());
    QCOMPARE(only1.getRemainingJourneys(), 0u);
    QCOMPARE(only1.getBalance(), 0);
}

void tst_ZetoDesV2Card::missingKeyNamesFirstInReadOrder_data()
{
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QString>("expectedError");

    struct Record
    {
        const char *prefix;
        QStringList keys; // in read order
        const char *opening;
        const char *closing;
    };
    const QStringList pass{"productId", "status", "days", "issueTimestamp", "activationTimestamp"};
    const QList<Record> records{
        {"", {"uid", "type", "template", "data"}, "card missing '", "' field in top level"},
        {"data", {"state", "info", "periodPass", "storedJourneys", "remainingJourneys", "balance", "transactionCounter"},
         "card missing '", "' field in top level"},
        {"data/state", {"status", "statusDeviceId", "statusDeviceType", "passengerType", "cardType", "statusTimestamp"},
         "card missing '", "' field in state"},
        {"data/state/cardType", {"personalized", "hasPeriodPass0", "hasPeriodPass1", "hasStoredJourneys", "hasEPurse"},
         "card missing '", "' field in state"},
        {"data/info", {"version", "issuerId", "passengerId", "passengerTypeExpiryDate", "expiryDate", "issueTimestamp"},
         "card missing '", "' field in info"},
        {"data/periodPass/0", pass, "card missing'", "' field in periodpass"},
        {"data/periodPass/1", pass, "card missing'", "' field in periodpass"},
        {"data/storedJourneys", {"productId", "status", "journeys", "issueTimestamp", "activationTimestamp"},
         "card missing'", "' field in stored journeys"},
        {"data/topupLog/0", {"balanceBefore", "balanceAfter", "deviceId", "deviceType", "journeysAfter",
                             "journeysBefore", "productId", "productType", "transactionCounter", "timestamp"},
         "card missing '", "' field in topup log"},
        {"data/usageLog/1", {"balanceAfter", "balanceBefore", "deviceId", "deviceType", "fromStopId", "journeysAfter",
                             "journeysBefore", "productId", "productType", "routeExecutionId", "routeId", "toStopId",
                             "transactionCounter", "timestamp"},
         "card missing'", "' field in usage log"},
    };
    for (const Record &record : records) {
        for (int i = 0; i < record.keys.size(); ++i) {
            const QString prefix = QString::fromLatin1(record.prefix);
            const auto path = [&](int k) { return prefix.isEmpty() ? record.keys.at(k) : prefix + '/' + record.keys.at(k); };
            const QString expected = QLatin1String(record.opening) + record.keys.at(i) + QLatin1String(record.closing);
            QTest::addRow("%s-%s-only", record.prefix, qPrintable(record.keys.at(i))) << QStringList{path(i)} << expected;
            QStringList later;
            for (int k = i; k < record.keys.size(); ++k)
                later.append(path(k));
            if (later.size() > 1)
                QTest::addRow("%s-%s-and-later", record.prefix, qPrintable(record.keys.at(i))) << later << expected;
        }
    }
}

void tst_ZetoDesV2Card::missingKeyNamesFirstInReadOrder()
{
    QFETCH(QStringList, removed);
    QFETCH(QString, expectedError);
    QJsonObject json = sample();
    for (const QString &path : removed)
        json = JsonPath::removed(json, path);
    QCOMPARE(readError(json), expectedError);
}

void tst_ZetoDesV2Card::flagsDecideRequiredKeys_data()
{
    QTest::addColumn<QVariantMap>("changes"); // path -> new value, or kRemove
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<int>("expectedPasses");
    QTest::addColumn<QJsonArray>("writtenPasses"); // productIds written, null for a null slot
    QTest::addColumn<bool>("journeysWritten");
    QTest::addColumn<bool>("balanceWritten");

    const QString pp0 = "data/state/cardType/hasPeriodPass0";
    const QString pp1 = "data/state/cardType/hasPeriodPass1";
    const QString sj = "data/state/cardType/hasStoredJourneys";
    const QString ep = "data/state/cardType/hasEPurse";
    const QJsonValue null(QJsonValue::Null);

    QTest::newRow("all-present") << QVariantMap{} << "" << 2 << QJsonArray{301, 302} << true << true;
    QTest::newRow("both-flags-one-element")
        << QVariantMap{{"data/periodPass/1", kRemove}} << "PeriodPass 1 missing" << 0 << QJsonArray{} << false << false;
    QTest::newRow("pass0-flag-empty-array")
        << QVariantMap{{pp1, false}, {"data/periodPass", QVariantList{}}} << "PeriodPass 0 missing" << 0
        << QJsonArray{} << false << false;
    QTest::newRow("pass0-flag-not-array")
        << QVariantMap{{"data/periodPass", QVariantMap{}}} << "PeriodPass 0 missing" << 0 << QJsonArray{} << false
        << false;
    QTest::newRow("pass1-flag-one-element")
        << QVariantMap{{pp0, false}, {"data/periodPass/1", kRemove}} << "PeriodPass 1 missing" << 0 << QJsonArray{}
        << false << false;
    QTest::newRow("pass-flag-key-missing")
        << QVariantMap{{"data/periodPass", kRemove}} << "card missing 'periodPass' field in top level" << 0
        << QJsonArray{} << false << false;
    QTest::newRow("pass0-flag-element-null")
        << QVariantMap{{"data/periodPass/0", QVariant::fromValue(nullptr)}}
        << "card missing'productId' field in periodpass" << 0 << QJsonArray{} << false << false;
    QTest::newRow("pass1-only-element0-null")
        << QVariantMap{{pp0, false}, {"data/periodPass/0", QVariant::fromValue(nullptr)}} << "" << 1
        << QJsonArray{null, 302} << true << true;
    QTest::newRow("no-pass-flags-key-missing")
        << QVariantMap{{pp0, false}, {pp1, false}, {"data/periodPass", kRemove}} << "" << 0 << QJsonArray{null}
        << true << true;
    QTest::newRow("pass0-only") << QVariantMap{{pp1, false}} << "" << 1 << QJsonArray{301} << true << true;
    QTest::newRow("journeys-flag-no-remaining")
        << QVariantMap{{"data/remainingJourneys", kRemove}} << "card missing 'remainingJourneys' field in top level"
        << 0 << QJsonArray{} << false << false;
    QTest::newRow("journeys-flag-no-product")
        << QVariantMap{{"data/storedJourneys", kRemove}} << "card missing 'storedJourneys' field in top level" << 0
        << QJsonArray{} << false << false;
    QTest::newRow("journeys-off-keys-missing")
        << QVariantMap{{sj, false}, {"data/storedJourneys", kRemove}, {"data/remainingJourneys", kRemove}} << "" << 2
        << QJsonArray{301, 302} << false << true;
    QTest::newRow("epurse-off-balance-missing")
        << QVariantMap{{ep, false}, {"data/balance", kRemove}} << "" << 2 << QJsonArray{301, 302} << true << false;
    QTest::newRow("epurse-on-balance-missing")
        << QVariantMap{{"data/balance", kRemove}} << "card missing 'balance' field in top level" << 0 << QJsonArray{}
        << false << false;
    QTest::newRow("logs-absent")
        << QVariantMap{{"data/topupLog", kRemove}, {"data/usageLog", kRemove}} << "" << 2 << QJsonArray{301, 302}
        << true << true;
}

void tst_ZetoDesV2Card::flagsDecideRequiredKeys()
{
    QFETCH(QVariantMap, changes);
    QFETCH(QString, expectedError);
    QFETCH(int, expectedPasses);
    QFETCH(QJsonArray, writtenPasses);
    QFETCH(bool, journeysWritten);
    QFETCH(bool, balanceWritten);

    const QJsonObject json = applied(sample(), changes);
    QCOMPARE(readError(json), expectedError);
    if (!expectedError.isEmpty())
        return;
    Card card(json);
    QCOMPARE(card.periodPasses().size(), expectedPasses);
    const QJsonObject data = dataOf(card);
    QJsonArray passIds;
    for (const QJsonValue &pass : data.value(QStringLiteral("periodPass")).toArray())
        passIds.append(pass.isNull() ? QJsonValue(QJsonValue::Null) : pass.toObject().value(QStringLiteral("productId")));
    QCOMPARE(passIds, writtenPasses);
    QCOMPARE(data.contains(QStringLiteral("storedJourneys")), journeysWritten);
    QCOMPARE(data.contains(QStringLiteral("remainingJourneys")), journeysWritten);
    QCOMPARE(card.storedJourneys() != nullptr, journeysWritten);
    QCOMPARE(data.contains(QStringLiteral("balance")), balanceWritten);
    QCOMPARE(data.value(QStringLiteral("usageLog")), QJsonValue(QJsonArray()));
    QVERIFY(data.contains(QStringLiteral("topupLog")) && data.value(QStringLiteral("topupLog")).isNull());
}

void tst_ZetoDesV2Card::writesOnlyNewUsageLogEntries()
{
    Card card(sample());
    UsageLogEntry first;
    first.setProductType(1);
    first.setProductId(301);
    first.setDeviceId(3114);
    first.setDeviceType(6);
    first.setFromStopId(1410);
    first.setToStopId(0);
    first.setRouteId(12);
    first.setRouteExecutionId(99900);
    first.setJourneysBefore(6);
    first.setJourneysAfter(6);
    first.setBalanceBefore(530);
    first.setBalanceAfter(530);
    first.setTransactionCounter(89);
    first.setTimeStamp(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC));
    UsageLogEntry second;
    second.setProductType(3);
    card.addUsageLogEntry(first);
    card.addUsageLogEntry(second);
    card.setTransactionCounter(89);
    card.setRemainingJourneys(5);

    const QJsonObject data = dataOf(card);
    const QJsonArray written = data.value(QStringLiteral("usageLog")).toArray();
    QCOMPARE(written.size(), 2);
    const QJsonObject expected{
        {"balanceAfter", 530}, {"balanceBefore", 530}, {"deviceId", 3114}, {"deviceType", 6}, {"fromStopId", 1410},
        {"journeysAfter", 6}, {"journeysBefore", 6}, {"productId", 301}, {"productType", 1},
        {"routeExecutionId", 99900}, {"routeId", 12}, {"toStopId", 0}, {"transactionCounter", 89},
        {"timestamp", "2024-03-05T07:08:09Z"}};
    QVERIFY2(written.at(0).toObject() == expected,
             JsonPath::describeMismatch(written.at(0).toObject(), expected).constData());
    QCOMPARE(written.at(1).toObject().value(QStringLiteral("productType")), QJsonValue(3));
    QCOMPARE(data.value(QStringLiteral("transactionCounter")), QJsonValue(89));
    QCOMPARE(data.value(QStringLiteral("remainingJourneys")), QJsonValue(5));
    QVERIFY(data.value(QStringLiteral("topupLog")).isNull());
    QCOMPARE(card.getUsageLog().size(), std::size_t(2));
    QCOMPARE(card.getUsageLog().front().getJourneysBefore(), 7u);
}

void tst_ZetoDesV2Card::expiredProductsAreStillWritten()
{
    Card card(sample());
    PeriodPass *pass1 = card.getPeriodPass1();
    QVERIFY(card.setPeriodPassExpired(pass1));
    QCOMPARE(pass1->getStatus(), 12u);
    QVERIFY(!card.getState()->getCardType().hasPeriodPass1);
    QVERIFY(!card.setPeriodPassExpired(pass1));
    QCOMPARE(card.periodPasses(), QList<PeriodPass *>{card.getPeriodPass0()});

    QVERIFY(card.setStoredJourneysExpired(card.getStoredJourneys()));
    QVERIFY(!card.setStoredJourneysExpired(card.getStoredJourneys()));
    QVERIFY(!card.storedJourneys());
    const State::CardType flags = card.getState()->getCardType();
    QVERIFY(flags.hasPeriodPass0 && !flags.hasPeriodPass1 && !flags.hasStoredJourneys);
    QVERIFY(flags.personalized && flags.hasEPurse);

    const QJsonObject data = dataOf(card);
    const QJsonArray passes = data.value(QStringLiteral("periodPass")).toArray();
    QCOMPARE(passes.size(), 2);
    QCOMPARE(passes.at(1).toObject().value(QStringLiteral("status")), QJsonValue(12));
    QCOMPARE(JsonPath::value(data, QStringLiteral("storedJourneys/status")), QJsonValue(12));
    QCOMPARE(data.value(QStringLiteral("remainingJourneys")), QJsonValue(6));
    QCOMPARE(JsonPath::value(data, QStringLiteral("state/cardType/hasPeriodPass1")), QJsonValue(false));

    // Expiring slot 0 of a card that only had slot 0 keeps it in place.
    Card only0(applied(sample(), {{"data/state/cardType/hasPeriodPass1", false}}));
    QVERIFY(only0.setPeriodPassExpired(only0.getPeriodPass0()));
    QCOMPARE(JsonPath::value(dataOf(only0), QStringLiteral("periodPass/0/status")), QJsonValue(12));
    QCOMPARE(dataOf(only0).value(QStringLiteral("periodPass")).toArray().size(), 1);
}

void tst_ZetoDesV2Card::slotComesFromPointerNotPassNumber()
{
    Card card(sample());
    PeriodPass wrong = *card.getPeriodPass0();
    wrong.setPeriodPassNum(1);
    card.setPeriodPass0(wrong);
    QCOMPARE(card.getPeriodPass0()->getPeriodPassNum(), 1u);

    QVERIFY(card.setPeriodPassExpired(card.getPeriodPass0()));
    QVERIFY(!card.getState()->getCardType().hasPeriodPass0);
    QVERIFY(card.getState()->getCardType().hasPeriodPass1);
    QVERIFY(card.getState()->getCardType().hasStoredJourneys);

    PeriodPass farOff = *card.getPeriodPass1();
    farOff.setPeriodPassNum(5); // would have cleared the stored journeys flag
    card.setPeriodPass1(farOff);
    QVERIFY(card.setPeriodPassExpired(card.getPeriodPass1()));
    QVERIFY(!card.getState()->getCardType().hasPeriodPass1);
    QVERIFY(card.getState()->getCardType().hasStoredJourneys);
}

void tst_ZetoDesV2Card::refusesForeignRecords()
{
    LogCapture log;
    Card card(sample());
    PeriodPass copy = *card.getPeriodPass0();
    QVERIFY(!card.setPeriodPassExpired(&copy));
    QCOMPARE(copy.getStatus(), 15u);
    QVERIFY(log.contains(QStringLiteral("[rfid] WARN: period pass to expire is not a slot of card 0422AB19CD")));
    StoredJourneys journeys = *card.getStoredJourneys();
    QVERIFY(!card.setStoredJourneysExpired(&journeys));
    QCOMPARE(journeys.getStatus(), 15u);
    QVERIFY(log.contains(QStringLiteral("[rfid] WARN: stored journeys to expire are not those of card 0422AB19CD")));
    QVERIFY(!card.setPeriodPassExpired(nullptr));
    QVERIFY(!card.setStoredJourneysExpired(nullptr));
    QCOMPARE(card.toJson(), Card(sample()).toJson());
}

void tst_ZetoDesV2Card::updateStateFlags_data()
{
    QTest::addColumn<int>("product");
    QTest::addColumn<QString>("flag");
    QTest::newRow("slot-0") << 0 << "hasPeriodPass0";
    QTest::newRow("slot-1") << 1 << "hasPeriodPass1";
    QTest::newRow("stored-journeys") << 2 << "hasStoredJourneys";
    QTest::newRow("any-other") << 5 << "hasStoredJourneys";
    QTest::newRow("negative") << -1 << "hasStoredJourneys";
}

void tst_ZetoDesV2Card::updateStateFlags()
{
    QFETCH(int, product);
    QFETCH(QString, flag);
    Card card(sample(QStringLiteral("desv2-minimal.json")));
    card.updateStateFlags(product, true);
    const QJsonObject cardType = JsonPath::value(dataOf(card), QStringLiteral("state/cardType")).toObject();
    for (auto it = cardType.begin(); it != cardType.end(); ++it)
        QCOMPARE(it.value().toBool(), it.key() == flag);
}

void tst_ZetoDesV2Card::blockWritesUtc()
{
    Card card(sample());
    const QDateTime local(QDate(2024, 1, 15), QTime(10, 0), Qt::LocalTime);
    card.block(State::BlockedLost, 3114, 6, local);
    QCOMPARE(card.getState()->getStatus(), 3u);
    QCOMPARE(card.getState()->getDeviceId(), 3114);
    QCOMPARE(card.getState()->getDeviceType(), 6);
    QCOMPARE(card.getState()->getTimestamp(), local);
    const QString expected = mWest ? QStringLiteral("2024-01-15T15:00:00Z") : QStringLiteral("2024-01-15T10:00:00Z");
    QCOMPARE(JsonPath::value(dataOf(card), QStringLiteral("state/statusTimestamp")), QJsonValue(expected));
    QCOMPARE(card.periodPasses().size(), 2);
}

void tst_ZetoDesV2Card::defaultCard()
{
    const Card card;
    QCOMPARE(card.getType(), 0);
    const QJsonObject data = dataOf(card);
    QCOMPARE(data.value(QStringLiteral("periodPass")), QJsonValue(QJsonArray{QJsonValue(QJsonValue::Null)}));
    QVERIFY(!data.contains(QStringLiteral("storedJourneys")));
    QVERIFY(!data.contains(QStringLiteral("remainingJourneys")));
    QVERIFY(!data.contains(QStringLiteral("balance")));
    QCOMPARE(JsonPath::value(data, QStringLiteral("state/statusTimestamp")),
             QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));
    QCOMPARE(JsonPath::value(data, QStringLiteral("info/expiryDate")), QJsonValue(QStringLiteral("1990-01-01")));
}

void tst_ZetoDesV2Card::logsState()
{
    LogCapture log;
    Card card(sample());
    card.getState()->log();
    QCOMPARE(log.texts(), QStringList{QStringLiteral("[zetodes_v2::state]  ( passengerType= 3 , status= 0 , "
                                                     "deviceId= 77 , timestamp= \"Tue Nov 2 09:30:00 2021 GMT\"")});
}

QTEST_GUILESS_MAIN(tst_ZetoDesV2Card)
#include "tst_card.moc"
