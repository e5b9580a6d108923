#include "rfid/zetodes_v3/card.h"

#include "support/jsonpath.h"
#include "support/logcapture.h"

#include <QtTest>

#include <stdexcept>

using namespace ZetoDes_v3;

namespace {

QJsonObject sample()
{
    static const QJsonObject card =
        JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/desv3-autoread.json")).object();
    return card;
}

// The text of the error the card throws, or "" when it builds.
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

const QVariant kRemove; // an invalid variant removes the key

} // namespace

class tst_ZetoDesV3Card : public QObject
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
    void wrongTypesReadLeniently_data();
    void wrongTypesReadLeniently();
    void writesOnlyNewUsageLogEntries();
    void expiredProductIsStillWritten();
    void activatesProduct();
    void slotComesFromPointerNotProductNumber();
    void refusesForeignProduct();
    void selectsProductsByType();
    void blockAndFlags();
    void timesAreWrittenInUtc();
    void defaultCard();
    void logsState();

private:
    bool mWest = false;
};

void tst_ZetoDesV3Card::initTestCase()
{
    QVERIFY(!sample().isEmpty());
    mWest = qgetenv("TZ") == "America/New_York";
    if (mWest)
        QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ZetoDesV3Card::identity()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("ZetoDESv3"));
    QCOMPARE(Card::SupportedVersions, QList<int>{1});
}

void tst_ZetoDesV3Card::readsEveryField()
{
    Card card(sample());
    QCOMPARE(card.getUid(), QStringLiteral("04A1B2C3D4E5F6"));
    QCOMPARE(card.getType(), 256);
    QCOMPARE(card.getTemplate(), QStringLiteral("ZetoDESv3"));
    QCOMPARE(card.getBalance(), 1250);
    QCOMPARE(card.getTransactionCounter(), 57u);

    const Info info = card.getInfo();
    QCOMPARE(info.getVersion(), 1);
    QCOMPARE(info.getCarrierId(), 7);
    QCOMPARE(info.getIssuerId(), 3);
    QCOMPARE(info.getPassengerId(), 100245u);
    QCOMPARE(info.getPassengerTypeExpiryDate(), QDate(2030, 6, 30));
    QCOMPARE(info.getIssueTimestamp(), QDateTime(QDate(2023, 9, 1), QTime(8, 0), Qt::UTC));

    const State state = card.getState();
    QCOMPARE(state.getStatus(), 0u);
    QCOMPARE(state.getStatusDeviceId(), 1201);
    QCOMPARE(state.getStatusDeviceType(), 1);
    QCOMPARE(state.getPassengerType(), 2u);
    QVERIFY(!state.getFlags().employee);
    QVERIFY(state.getFlags().personalized && state.getFlags().hasEPurse);
    QVERIFY(state.getFlags().hasProduct0 && state.getFlags().hasProduct1 && state.getFlags().hasProduct2);

    const Product *p1 = card.getProduct1();
    QCOMPARE(p1->getProductNum(), 1u);
    QCOMPARE(p1->getProductType(), 2u);
    QCOMPARE(p1->getProductId(), 610u);
    QCOMPARE(p1->getStatus(), 15u);
    QCOMPARE(p1->getInitialValue(), 10u);
    QCOMPARE(p1->getRemainingValue(), 7u);
    QCOMPARE(p1->getIssueTimestamp(), QDateTime(QDate(2024, 1, 10), QTime(9, 0), Qt::UTC));
    QCOMPARE(p1->getActivationTimestamp(), QDateTime(QDate(2024, 1, 11), QTime(7, 30), Qt::UTC));
    QCOMPARE(card.getProduct0()->getProductNum(), 0u);
    QCOMPARE(card.getProduct2()->getProductNum(), 2u);
    // The card's unset time is the same instant as the unset time of other layouts.
    QCOMPARE(card.getProduct2()->getActivationTimestamp(), QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC));

    QCOMPARE(card.getTopupLog().size(), std::size_t(3));
    const std::vector<UsageLogEntry> log = card.getUsageLog();
    QCOMPARE(log.size(), std::size_t(5));
    const UsageLogEntry &last = log.front(); // newest first
    QCOMPARE(last.getTransType(), 21u);
    QCOMPARE(last.getProductId(), 501u);
    QCOMPARE(last.getRouteId(), 12u);
    QCOMPARE(last.getVehicleId(), 305u);
    QCOMPARE(last.getRouteExecutionId(), 99817u);
    QCOMPARE(last.getBoardingStopId(), 1402u);
    QCOMPARE(last.getDeviceType(), 6u);
    QCOMPARE(last.getTransTimestamp(), QDateTime(QDate(2024, 3, 4), QTime(17, 20, 5), Qt::UTC));
    QCOMPARE(log.at(1).getInitialTimestamp(), QDateTime(QDate(2024, 3, 4), QTime(7, 2, 11), Qt::UTC));
}

void tst_ZetoDesV3Card::missingKeyNamesFirstInReadOrder_data()
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
    const QStringList product{"productType", "productId", "status", "initialValue", "remainingValue",
                              "issueTimestamp", "activationTimestamp"};
    const QList<Record> records{
        {"", {"uid", "type", "template", "data"}, "card missing '", "' field in top level"},
        {"data", {"state", "info", "product0", "product1", "product2", "balance", "transactionCounter"},
         "card missing '", "' field in top level"},
        {"data/state", {"status", "statusDeviceId", "statusDeviceType", "passengerType", "flags", "statusTimestamp"},
         "card missing '", "' field in state"},
        {"data/state/flags", {"employee", "personalized", "hasEPurse", "hasProduct0", "hasProduct1", "hasProduct2"},
         "card missing '", "' field in state"},
        {"data/info", {"version", "carrierId", "issuerId", "passengerId", "passengerTypeExpiryDate", "issueTimestamp"},
         "card missing '", "' field in info"},
        {"data/product0", product, "card missing'", "' field in periodpass"},
        {"data/product2", product, "card missing'", "' field in periodpass"},
        {"data/topupLog/2", {"transType", "transCounter", "transAmount", "deviceId", "deviceType", "productId",
                             "transTimestamp"},
         "card missing '", "' field in topup log"},
        {"data/usageLog/4", {"transType", "transCounter", "transAmount", "deviceId", "deviceType", "boardingStopId",
                             "productId", "routeExecutionId", "routeId", "vehicleId", "alightingStopId",
                             "initialTimestamp", "transTimestamp"},
         "card missing'", "' field in usage log"},
    };
    for (const Record &record : records) {
        for (int i = 0; i < record.keys.size(); ++i) {
            const QString prefix = QString::fromLatin1(record.prefix);
            const auto path = [&](int k) { return prefix.isEmpty() ? record.keys.at(k) : prefix + '/' + record.keys.at(k); };
            const QString expected = QLatin1String(record.opening) + record.keys.at(i) + QLatin1String(record.closing);
            QTest::addRow("%s-%s-only", record.prefix, qPrintable(record.keys.at(i))) << QStringList{path(i)} << expected;
            // With every later key gone too, the error still names the first one read.
            QStringList later;
            for (int k = i; k < record.keys.size(); ++k)
                later.append(path(k));
            if (later.size() > 1)
                QTest::addRow("%s-%s-and-later", record.prefix, qPrintable(record.keys.at(i))) << later << expected;
        }
    }
}

void tst_ZetoDesV3Card::missingKeyNamesFirstInReadOrder()
{
    QFETCH(QStringList, removed);
    QFETCH(QString, expectedError);
    QJsonObject json = sample();
    for (const QString &path : removed)
        json = JsonPath::removed(json, path);
    QCOMPARE(readError(json), expectedError);
}

void tst_ZetoDesV3Card::flagsDecideRequiredKeys_data()
{
    QTest::addColumn<QVariantMap>("changes"); // path -> new value, or kRemove
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<int>("expectedProducts");
    QTest::addColumn<QStringList>("writtenAsNull");
    QTest::addColumn<bool>("balanceWritten");

    QTest::newRow("all-present") << QVariantMap{} << "" << 3 << QStringList{} << true;
    QTest::newRow("product1-flag-off-key-present")
        << QVariantMap{{"data/state/flags/hasProduct1", false}} << "" << 2 << QStringList{"product1"} << true;
    QTest::newRow("product1-flag-off-key-missing")
        << QVariantMap{{"data/state/flags/hasProduct1", false}, {"data/product1", kRemove}} << "" << 2
        << QStringList{"product1"} << true;
    QTest::newRow("product0-flag-on-key-missing")
        << QVariantMap{{"data/product0", kRemove}} << "card missing 'product0' field in top level" << 0
        << QStringList{} << false;
    QTest::newRow("product2-flag-on-key-null")
        << QVariantMap{{"data/product2", QVariant::fromValue(nullptr)}}
        << "card missing'productType' field in periodpass" << 0 << QStringList{} << false;
    QTest::newRow("epurse-off-balance-missing")
        << QVariantMap{{"data/state/flags/hasEPurse", false}, {"data/balance", kRemove}} << "" << 3 << QStringList{}
        << false;
    QTest::newRow("epurse-off-balance-present")
        << QVariantMap{{"data/state/flags/hasEPurse", false}} << "" << 3 << QStringList{} << false;
    QTest::newRow("epurse-on-balance-missing")
        << QVariantMap{{"data/balance", kRemove}} << "card missing 'balance' field in top level" << 0 << QStringList{}
        << false;
    QTest::newRow("no-flags-nothing-but-required")
        << QVariantMap{{"data/state/flags/hasProduct0", false}, {"data/state/flags/hasProduct1", false},
                       {"data/state/flags/hasProduct2", false}, {"data/state/flags/hasEPurse", false},
                       {"data/product0", kRemove}, {"data/product1", kRemove}, {"data/product2", kRemove},
                       {"data/balance", kRemove}, {"data/topupLog", kRemove}, {"data/usageLog", kRemove}}
        << "" << 0 << QStringList{"product0", "product1", "product2"} << false;
    QTest::newRow("logs-absent")
        << QVariantMap{{"data/topupLog", kRemove}, {"data/usageLog", kRemove}} << "" << 3 << QStringList{} << true;
    QTest::newRow("flag-as-number-reads-false")
        << QVariantMap{{"data/state/flags/hasProduct0", 1}, {"data/product0", kRemove}} << "" << 2
        << QStringList{"product0"} << true;
}

void tst_ZetoDesV3Card::flagsDecideRequiredKeys()
{
    QFETCH(QVariantMap, changes);
    QFETCH(QString, expectedError);
    QFETCH(int, expectedProducts);
    QFETCH(QStringList, writtenAsNull);
    QFETCH(bool, balanceWritten);

    const QJsonObject json = applied(sample(), changes);
    QCOMPARE(readError(json), expectedError);
    if (!expectedError.isEmpty())
        return;
    Card card(json);
    QCOMPARE(card.products().size(), expectedProducts);
    const QJsonObject data = card.toJson().value(QStringLiteral("data")).toObject();
    for (const QString key : {"product0", "product1", "product2"}) {
        QVERIFY2(data.contains(key), qPrintable(key));
        QCOMPARE(data.value(key).isNull(), writtenAsNull.contains(key));
    }
    QCOMPARE(data.contains(QStringLiteral("balance")), balanceWritten);
    if (!balanceWritten)
        QCOMPARE(card.getBalance(), 0);
    // A slot that was not read keeps the default product.
    for (const QString &key : writtenAsNull) {
        Product *slot = key == QLatin1String("product0") ? card.getProduct0()
                        : key == QLatin1String("product1") ? card.getProduct1() : card.getProduct2();
        QCOMPARE(slot->getProductId(), 0u);
        QCOMPARE(slot->getStatus(), 0u);
    }
}

void tst_ZetoDesV3Card::wrongTypesReadLeniently_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<QString>("readBack");  // path read back from toJson ("" to skip)
    QTest::addColumn<QVariant>("expected"); // its expected value

    QTest::newRow("type-as-text") << "type" << QVariant("256") << "" << "type" << QVariant(0);
    QTest::newRow("uid-as-number") << "uid" << QVariant(42) << "" << "uid" << QVariant("");
    QTest::newRow("data-as-number") << "data" << QVariant(5) << "card missing 'state' field in top level"
                                    << "" << QVariant();
    QTest::newRow("state-as-array") << "data/state" << QVariant(QVariantList{1})
                                    << "card missing 'status' field in state" << "" << QVariant();
    QTest::newRow("flags-as-number") << "data/state/flags" << QVariant(1)
                                     << "card missing 'employee' field in state" << "" << QVariant();
    QTest::newRow("counter-fraction") << "data/transactionCounter" << QVariant(2.5) << ""
                                      << "data/transactionCounter" << QVariant(0);
    QTest::newRow("counter-above-int") << "data/transactionCounter" << QVariant(1e12) << ""
                                       << "data/transactionCounter" << QVariant(0);
    // A negative count in an unsigned field must not wrap to four billion.
    QTest::newRow("remaining-negative") << "data/product1/remainingValue" << QVariant(-1) << ""
                                        << "data/product1/remainingValue" << QVariant(0);
    QTest::newRow("remaining-int-max") << "data/product1/remainingValue" << QVariant(2147483647) << ""
                                       << "data/product1/remainingValue" << QVariant(2147483647);
    QTest::newRow("balance-negative") << "data/balance" << QVariant(-300) << "" << "data/balance" << QVariant(-300);
    QTest::newRow("balance-huge") << "data/balance" << QVariant(-1e300) << "" << "data/balance" << QVariant(0);
    QTest::newRow("device-id-negative") << "data/state/statusDeviceId" << QVariant(-7) << ""
                                        << "data/state/statusDeviceId" << QVariant(-7);
    QTest::newRow("usage-log-as-number") << "data/usageLog" << QVariant(5) << "" << "" << QVariant();
    QTest::newRow("topup-log-as-object") << "data/topupLog" << QVariant(QVariantMap{}) << "" << "" << QVariant();
    QTest::newRow("usage-entry-as-number") << "data/usageLog/1" << QVariant(5)
                                           << "card missing'transType' field in usage log" << "" << QVariant();
    QTest::newRow("time-as-number") << "data/product0/issueTimestamp" << QVariant(1709622489) << ""
                                    << "data/product0/issueTimestamp" << QVariant(1709622489);
    QTest::newRow("time-not-card-format") << "data/state/statusTimestamp" << QVariant("2023-09-01 08:00:00") << ""
                                          << "data/state/statusTimestamp" << QVariant("2023-09-01 08:00:00");
    QTest::newRow("date-feb-30") << "data/info/passengerTypeExpiryDate" << QVariant("2030-02-30") << ""
                                 << "data/info/passengerTypeExpiryDate" << QVariant("2030-02-30");
}

void tst_ZetoDesV3Card::wrongTypesReadLeniently()
{
    QFETCH(QString, path);
    QFETCH(QVariant, value);
    QFETCH(QString, expectedError);
    QFETCH(QString, readBack);
    QFETCH(QVariant, expected);

    const QJsonObject json = JsonPath::withValue(sample(), path, QJsonValue::fromVariant(value));
    QCOMPARE(readError(json), expectedError);
    if (!expectedError.isEmpty())
        return;
    Card card(json);
    if (path.contains(QLatin1String("Log")))
        QVERIFY(card.getUsageLog().empty() || card.getTopupLog().empty());
    if (!readBack.isEmpty())
        QCOMPARE(JsonPath::value(card.toJson(), readBack), QJsonValue::fromVariant(expected));
}

void tst_ZetoDesV3Card::writesOnlyNewUsageLogEntries()
{
    Card card(sample());
    QJsonObject data = card.toJson().value(QStringLiteral("data")).toObject();
    QCOMPARE(data.value(QStringLiteral("usageLog")), QJsonValue(QJsonArray()));
    QVERIFY(data.value(QStringLiteral("topupLog")).isNull());

    UsageLogEntry ride;
    ride.setTransType(21);
    ride.setTransCounter(58);
    ride.setDeviceId(3114);
    ride.setDeviceType(6);
    ride.setProductId(501);
    ride.setRouteId(12);
    ride.setRouteExecutionId(99900);
    ride.setVehicleId(305);
    ride.setBoardingStopId(1410);
    ride.setAlightingStopId(0);
    ride.setTransAmount(0);
    ride.setInitialTimeStamp(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC));
    ride.setTransTimeStamp(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC));
    card.addUsageLogEntry(ride);
    card.setTransactionCounter(58);
    UsageLogEntry second;
    second.setTransType(20);
    card.addUsageLogEntry(second);

    data = card.toJson().value(QStringLiteral("data")).toObject();
    const QJsonArray written = data.value(QStringLiteral("usageLog")).toArray();
    QCOMPARE(written.size(), 2);
    const QJsonObject expected{
        {"transType", 21}, {"transCounter", 58}, {"transAmount", 0}, {"deviceId", 3114}, {"deviceType", 6},
        {"boardingStopId", 1410}, {"productId", 501}, {"routeExecutionId", 99900}, {"routeId", 12},
        {"vehicleId", 305}, {"alightingStopId", 0}, {"initialTimestamp", "2024-03-05T07:08:09Z"},
        {"transTimestamp", "2024-03-05T07:08:09Z"}};
    QVERIFY2(written.at(0).toObject() == expected,
             JsonPath::describeMismatch(written.at(0).toObject(), expected).constData());
    QCOMPARE(written.at(1).toObject().value(QStringLiteral("transType")), QJsonValue(20));
    QCOMPARE(written.at(1).toObject().value(QStringLiteral("initialTimestamp")),
             QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));
    QCOMPARE(data.value(QStringLiteral("transactionCounter")), QJsonValue(58));
    QVERIFY(data.value(QStringLiteral("topupLog")).isNull());
    // The entries read stay apart from the ones added.
    QCOMPARE(card.getUsageLog().size(), std::size_t(5));
    QCOMPARE(card.getUsageLog().front().toJson().value(QStringLiteral("transCounter")), QJsonValue(56));
    QCOMPARE(card.toJson(), card.toJson());
}

void tst_ZetoDesV3Card::expiredProductIsStillWritten()
{
    Card card(sample());
    Product *slot2 = card.getProduct2();
    QVERIFY(card.setProductExpired(slot2));
    QCOMPARE(slot2->getStatus(), 12u);
    QVERIFY(!card.state().getFlags().hasProduct2);
    QVERIFY(!card.products().contains(slot2));
    QCOMPARE(card.products().size(), 2);
    // A second call changes nothing.
    QVERIFY(!card.setProductExpired(slot2));

    const QJsonObject data = card.toJson().value(QStringLiteral("data")).toObject();
    const QJsonObject product2 = data.value(QStringLiteral("product2")).toObject();
    QCOMPARE(product2.value(QStringLiteral("status")), QJsonValue(12));
    QCOMPARE(product2.value(QStringLiteral("productId")), QJsonValue(502));
    QCOMPARE(JsonPath::value(data, QStringLiteral("state/flags/hasProduct2")), QJsonValue(false));
    QCOMPARE(JsonPath::value(data, QStringLiteral("state/flags/hasProduct0")), QJsonValue(true));
}

void tst_ZetoDesV3Card::activatesProduct()
{
    Card card(sample());
    // Already active: nothing changes.
    const QDateTime before = card.getProduct0()->getActivationTimestamp();
    QVERIFY(!card.setProductActive(card.getProduct0()));
    QCOMPARE(card.getProduct0()->getActivationTimestamp(), before);

    // Preallocated, and its flag cleared first: activation sets the flag again.
    card.updateStateFlags(2, false);
    const QDateTime from = QDateTime::currentDateTimeUtc();
    QVERIFY(card.setProductActive(card.getProduct2()));
    const QDateTime to = QDateTime::currentDateTimeUtc();
    QCOMPARE(card.getProduct2()->getStatus(), 15u);
    QVERIFY(card.state().getFlags().hasProduct2);
    const QDateTime activated = card.getProduct2()->getActivationTimestamp();
    QCOMPARE(activated.timeSpec(), Qt::UTC);
    QVERIFY(activated >= from && activated <= to);
    const QString written = JsonPath::value(card.toJson(), QStringLiteral("data/product2/activationTimestamp")).toString();
    QCOMPARE(written, CardTime::format(activated));
    QVERIFY(written.endsWith(QLatin1Char('Z')));
}

void tst_ZetoDesV3Card::slotComesFromPointerNotProductNumber()
{
    Card card(sample());
    // A record copied in with another slot's number must not touch that slot's flag.
    Product wrong = *card.getProduct0();
    wrong.setProductNum(2);
    wrong.setStatus(15);
    card.setProduct0(wrong);
    QCOMPARE(card.getProduct0()->getProductNum(), 2u);

    QVERIFY(card.setProductExpired(card.getProduct0()));
    QVERIFY(!card.state().getFlags().hasProduct0);
    QVERIFY(card.state().getFlags().hasProduct2);

    QVERIFY(card.setProductActive(card.getProduct0()));
    QVERIFY(card.state().getFlags().hasProduct0);

    Product farOff = *card.getProduct1();
    farOff.setProductNum(7);
    card.setProduct1(farOff);
    QVERIFY(card.setProductExpired(card.getProduct1()));
    QVERIFY(!card.state().getFlags().hasProduct1);
    QVERIFY(card.state().getFlags().hasProduct0 && card.state().getFlags().hasProduct2);
}

void tst_ZetoDesV3Card::refusesForeignProduct()
{
    LogCapture log;
    Card card(sample());
    Product copy = *card.getProduct1(); // a copy, not the card's slot
    QVERIFY(!card.setProductExpired(&copy));
    QCOMPARE(copy.getStatus(), 15u);
    QVERIFY(card.state().getFlags().hasProduct1);
    QVERIFY(log.contains(QStringLiteral("[rfid] WARN: product to expire is not a slot of card 04A1B2C3D4E5F6")));

    copy.setStatus(16);
    QVERIFY(!card.setProductActive(&copy));
    QCOMPARE(copy.getStatus(), 16u);
    QVERIFY(log.contains(QStringLiteral("[rfid] WARN: product to activate is not a slot of card 04A1B2C3D4E5F6")));

    QVERIFY(!card.setProductExpired(nullptr));
    QVERIFY(!card.setProductActive(nullptr));
    QCOMPARE(card.toJson(), Card(sample()).toJson());
}

void tst_ZetoDesV3Card::selectsProductsByType()
{
    Card card(sample()); // slots 0, 1, 2 of types 1, 2, 1
    QCOMPARE(card.products(), (QList<Product *>{card.getProduct0(), card.getProduct1(), card.getProduct2()}));
    QCOMPARE(card.periodPassProducts(), (QList<Product *>{card.getProduct0(), card.getProduct2()}));
    QCOMPARE(card.storedJourneysProducts(), QList<Product *>{card.getProduct1()});

    card.getProduct2()->setProductType(Product::EPurse);
    QCOMPARE(card.periodPassProducts(), QList<Product *>{card.getProduct0()});
    QCOMPARE(card.products().size(), 3);
    card.updateStateFlags(0, false);
    QVERIFY(card.periodPassProducts().isEmpty());
}

void tst_ZetoDesV3Card::blockAndFlags()
{
    Card card(sample());
    const QDateTime when(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC);
    card.block(State::BlockedStolen, 3114, 6, when);
    QCOMPARE(card.state().getStatus(), 2u);
    QCOMPARE(card.state().getStatusTimestamp(), when);
    QCOMPARE(card.state().getStatusDeviceId(), 3114);
    QCOMPARE(card.state().getStatusDeviceType(), 6);
    QCOMPARE(card.products().size(), 3);
    const QJsonObject state = JsonPath::value(card.toJson(), QStringLiteral("data/state")).toObject();
    QCOMPARE(state.value(QStringLiteral("status")), QJsonValue(2));
    QCOMPARE(state.value(QStringLiteral("statusTimestamp")), QJsonValue(QStringLiteral("2024-03-05T07:08:09Z")));

    const State::Flags flags = card.state().getFlags();
    card.updateStateFlags(3, false);
    card.updateStateFlags(-1, false);
    QCOMPARE(card.state().getFlags().hasProduct0, flags.hasProduct0);
    QCOMPARE(card.state().getFlags().hasProduct1, flags.hasProduct1);
    QCOMPARE(card.state().getFlags().hasProduct2, flags.hasProduct2);
    QCOMPARE(card.state().getFlags().hasEPurse, flags.hasEPurse);
    card.updateStateFlags(1, false);
    QVERIFY(!card.state().getFlags().hasProduct1);
    // getState is a copy, state() the card's own.
    State copy = card.getState();
    copy.setStatus(9);
    QCOMPARE(card.state().getStatus(), 2u);
}

void tst_ZetoDesV3Card::timesAreWrittenInUtc()
{
    Card card(sample());
    // A validator's clock in local time is written as the UTC instant.
    const QDateTime local(QDate(2024, 1, 15), QTime(10, 0), Qt::LocalTime);
    card.getProduct1()->setActivationTimestamp(local);
    card.block(State::Monitored, 1, 6, local);
    const QString expected = mWest ? QStringLiteral("2024-01-15T15:00:00Z") : QStringLiteral("2024-01-15T10:00:00Z");
    const QJsonObject json = card.toJson();
    QCOMPARE(JsonPath::value(json, QStringLiteral("data/product1/activationTimestamp")), QJsonValue(expected));
    QCOMPARE(JsonPath::value(json, QStringLiteral("data/state/statusTimestamp")), QJsonValue(expected));
    // Times read from the card keep their digits in every zone.
    QCOMPARE(JsonPath::value(json, QStringLiteral("data/product0/activationTimestamp")),
             QJsonValue(QStringLiteral("2024-03-01T06:12:40Z")));
}

void tst_ZetoDesV3Card::defaultCard()
{
    const Card card;
    QCOMPARE(card.getTemplate(), QString());
    QCOMPARE(card.getUid(), QString());
    QCOMPARE(card.getType(), 0);
    const QJsonObject data = card.toJson().value(QStringLiteral("data")).toObject();
    QCOMPARE(JsonPath::value(data, QStringLiteral("state/statusTimestamp")),
             QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));
    QCOMPARE(JsonPath::value(data, QStringLiteral("info/issueTimestamp")),
             QJsonValue(QStringLiteral("1990-01-01T00:00:00Z")));
    QCOMPARE(JsonPath::value(data, QStringLiteral("info/passengerTypeExpiryDate")),
             QJsonValue(QStringLiteral("1990-01-01")));
    QVERIFY(data.value(QStringLiteral("product0")).isNull());
    QVERIFY(!data.contains(QStringLiteral("balance")));

    const Product product;
    const QDateTime unset(QDate(1990, 1, 1), QTime(0, 0), Qt::UTC);
    QCOMPARE(product.getIssueTimestamp(), unset);
    QCOMPARE(product.getActivationTimestamp(), unset);
    QCOMPARE(product.getActivationTimestamp().timeSpec(), Qt::UTC);
}

void tst_ZetoDesV3Card::logsState()
{
    LogCapture log;
    Card(sample()).state().log();
    QCOMPARE(log.texts(),
             QStringList{QStringLiteral("[zetodes_v3::state]  ( passengerType= 2 , status= 0 , statusDeviceId= 1201 , "
                                        "statusDeviceType= 1 , statusTimestamp= \"Fri Sep 1 08:00:00 2023 GMT\" , )")});
}

QTEST_GUILESS_MAIN(tst_ZetoDesV3Card)
#include "tst_card.moc"
