#include "rfid/zetolucv2/card.h"

#include "support/jsonpath.h"

#include <QJsonArray>
#include <QtTest>

#include <functional>
#include <limits>

using namespace ZetoLUCv2;

namespace {

QJsonObject sample(const QString &name = QStringLiteral("lucv2-full.json"))
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/") + name).object();
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

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

const QDateTime kUnset = utc(1990, 1, 1);
const int kMax = std::numeric_limits<int>::max();

} // namespace

class tst_ZetoLucV2Card : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity();
    void readsEveryField();
    void neverThrows_data();
    void neverThrows();
    void productLists();
    void periodPassTime_data();
    void periodPassTime();
    void localTimesGiveTheSameAnswer();
    void textTables_data();
    void textTables();
    void untouchedCardIsWrittenAsRead_data();
    void untouchedCardIsWrittenAsRead();
    void writeBackKeepsUnknownKeys();
    void absentRecordsAreAddedOnlyWhenChanged();
};

void tst_ZetoLucV2Card::initTestCase()
{
    QVERIFY(!sample().isEmpty());
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ZetoLucV2Card::identity()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("ZetoLUCv2"));
    // Whatever the message said, the card is of this layout and writes itself so.
    const Card card(JsonPath::withValue(sample(), QStringLiteral("template"), QStringLiteral("lucv2")));
    QCOMPARE(card.getTemplate(), QStringLiteral("ZetoLUCv2"));
    QCOMPARE(card.toJson().value(QStringLiteral("template")), QJsonValue(QStringLiteral("ZetoLUCv2")));
    QCOMPARE(Card(JsonPath::removed(sample(), QStringLiteral("template"))).toJson().value(QStringLiteral("template")),
             QJsonValue(QStringLiteral("ZetoLUCv2")));
}

void tst_ZetoLucV2Card::readsEveryField()
{
    const Card card(sample());
    QCOMPARE(card.getUid(), QStringLiteral("04C0FFEE01"));
    QCOMPARE(card.getType(), 4);

    QCOMPARE(card.info().version, 2);
    QCOMPARE(card.info().carrierId, 3);
    QCOMPARE(card.info().issuerId, 5);
    QCOMPARE(card.info().issueTimestamp, utc(2023, 1, 15, 9));

    QCOMPARE(card.state().status, 0);
    QCOMPARE(card.state().passengerType, 1);
    QCOMPARE(card.state().statusDeviceId, 40);
    QCOMPARE(card.state().statusDeviceType, 1);
    QCOMPARE(card.state().statusTimestamp, utc(2023, 1, 15, 9));

    QCOMPARE(card.topupLog().deviceId, 900);
    QCOMPARE(card.topupLog().deviceType, 2);
    QCOMPARE(card.topupLog().productId, 9);
    QCOMPARE(card.topupLog().transactionType, 2);
    QCOMPARE(card.topupLog().transactionTimestamp, utc(2024, 2, 1, 12));

    const Card::UsageLogEntry &ride = card.usageLog();
    QCOMPARE(ride.deviceId, 3114);
    QCOMPARE(ride.deviceType, 6);
    QCOMPARE(ride.productId, 42);
    QCOMPARE(ride.transactionType, 21);
    QCOMPARE(ride.vehicleId, 1234);
    QCOMPARE(ride.routeId, 12);
    QCOMPARE(ride.routeExecutionId, 99817);
    QCOMPARE(ride.fromStopId, 1402);
    QCOMPARE(ride.transactionTimestamp, utc(2024, 4, 8, 19, 30));
    QCOMPARE(ride.initialTimestamp, utc(2024, 4, 8, 19, 30));

    Card mutableCard(sample());
    const QList<Card::Product *> products = mutableCard.products();
    QCOMPARE(products.size(), 2);
    QCOMPARE(products.at(0)->index, 0);
    QCOMPARE(products.at(0)->productId, 42);
    QCOMPARE(products.at(0)->status, 15);
    QCOMPARE(products.at(0)->productType, 1);
    QCOMPARE(products.at(0)->initialValue, 30);
    QCOMPARE(products.at(0)->remainingValue, 0);
    QCOMPARE(products.at(0)->activationTimestamp, utc(2024, 3, 10, 10));
    QCOMPARE(products.at(1)->index, 1);
    QCOMPARE(products.at(1)->productId, 9);
    QCOMPARE(products.at(1)->productType, 2);
    QCOMPARE(products.at(1)->remainingValue, 7);

    // A product made without the card.
    const Card::Product scratch;
    QCOMPARE(scratch.index, 0);
    QCOMPARE(scratch.status, 0);
    QCOMPARE(scratch.activationTimestamp, kUnset);
}

void tst_ZetoLucV2Card::neverThrows_data()
{
    QTest::addColumn<QJsonObject>("message");
    QTest::addColumn<QString>("expectedUid");
    QTest::addColumn<int>("expectedType");
    QTest::addColumn<int>("expectedVersion");
    QTest::addColumn<QDateTime>("expectedIssue");
    QTest::addColumn<int>("expectedSlot1Type");
    QTest::addColumn<int>("expectedRideProduct");

    const QJsonObject full = sample();
    QTest::newRow("empty-message") << QJsonObject() << "" << 0 << 0 << kUnset << 0 << 0;
    QTest::newRow("no-data") << applied(full, {{"data", kRemove}}) << "04C0FFEE01" << 4 << 0 << kUnset << 0 << 0;
    QTest::newRow("data-array") << applied(full, {{"data", QVariantList{1, 2}}}) << "04C0FFEE01" << 4 << 0 << kUnset
                                << 0 << 0;
    QTest::newRow("envelope-wrong-types") << applied(full, {{"uid", 5}, {"type", "4"}}) << "" << 0 << 2
                                          << utc(2023, 1, 15, 9) << 2 << 42;
    QTest::newRow("records-missing")
        << applied(full, {{"data/info", kRemove}, {"data/product1", kRemove}, {"data/usageLog", kRemove}})
        << "04C0FFEE01" << 4 << 0 << kUnset << 0 << 0;
    QTest::newRow("records-not-objects")
        << applied(full, {{"data/info", "x"}, {"data/product1", QVariant::fromValue(nullptr)}, {"data/usageLog", 3}})
        << "04C0FFEE01" << 4 << 0 << kUnset << 0 << 0;
    QTest::newRow("empty-log-array") << applied(full, {{"data/usageLog", QVariantList{}}}) << "04C0FFEE01" << 4 << 2
                                     << utc(2023, 1, 15, 9) << 2 << 0;
    QTest::newRow("keys-missing")
        << applied(full, {{"data/info/version", kRemove}, {"data/info/issueTimestamp", kRemove},
                          {"data/product1/productType", kRemove}, {"data/usageLog/productId", kRemove}})
        << "04C0FFEE01" << 4 << 0 << kUnset << 0 << 0;
    QTest::newRow("values-of-other-types")
        << applied(full, {{"data/info/version", "2"}, {"data/info/issueTimestamp", 20230115},
                          {"data/product1/productType", true}, {"data/usageLog/productId", QVariantList{42}}})
        << "04C0FFEE01" << 4 << 0 << kUnset << 0 << 0;
    QTest::newRow("out-of-range-and-fractions")
        << applied(full, {{"data/info/version", 1e12}, {"data/product1/productType", 2.5},
                          {"data/usageLog/productId", -2147483649.0}})
        << "04C0FFEE01" << 4 << 0 << utc(2023, 1, 15, 9) << 0 << 0;
    QTest::newRow("times-that-do-not-parse")
        << applied(full, {{"data/info/issueTimestamp", "2023-01-15 09:00:00"}}) << "04C0FFEE01" << 4 << 2 << kUnset
        << 2 << 42;
    QTest::newRow("impossible-date") << applied(full, {{"data/info/issueTimestamp", "2023-02-30T09:00:00Z"}})
                                     << "04C0FFEE01" << 4 << 2 << kUnset << 2 << 42;
    QTest::newRow("negative-value") << applied(full, {{"data/info/version", -2}}) << "04C0FFEE01" << 4 << -2
                                    << utc(2023, 1, 15, 9) << 2 << 42;
}

void tst_ZetoLucV2Card::neverThrows()
{
    QFETCH(QJsonObject, message);
    QFETCH(QString, expectedUid);
    QFETCH(int, expectedType);
    QFETCH(int, expectedVersion);
    QFETCH(QDateTime, expectedIssue);
    QFETCH(int, expectedSlot1Type);
    QFETCH(int, expectedRideProduct);

    Card card(message);
    QCOMPARE(card.getUid(), expectedUid);
    QCOMPARE(card.getType(), expectedType);
    QCOMPARE(card.info().version, expectedVersion);
    QCOMPARE(card.info().issueTimestamp, expectedIssue);
    QCOMPARE(card.products().at(1)->productType, expectedSlot1Type);
    QCOMPARE(card.products().at(1)->index, 1);
    QCOMPARE(card.usageLog().productId, expectedRideProduct);

    // Nothing it could not read is lost on the way back.
    QJsonObject expected = message;
    expected.insert(QStringLiteral("template"), QStringLiteral("ZetoLUCv2"));
    const QJsonObject written = card.toJson();
    QVERIFY2(written == expected, JsonPath::describeMismatch(written, expected).constData());
}

void tst_ZetoLucV2Card::productLists()
{
    Card card(sample());
    Card::Product *slot0 = card.products().at(0);
    Card::Product *slot1 = card.products().at(1);
    QCOMPARE(card.periodPassProducts(), QList<Card::Product *>{slot0});
    QCOMPARE(card.storedJourneysProducts(), QList<Card::Product *>{slot1});

    slot1->productType = Card::Product::PeriodPass;
    slot1->status = Card::Product::Unallocated; // any status counts
    QCOMPARE(card.periodPassProducts(), (QList<Card::Product *>{slot0, slot1}));
    QVERIFY(card.storedJourneysProducts().isEmpty());

    slot0->productType = Card::Product::EPurse;
    QCOMPARE(card.periodPassProducts(), QList<Card::Product *>{slot1});
    QCOMPARE(card.products(), (QList<Card::Product *>{slot0, slot1}));
}

void tst_ZetoLucV2Card::periodPassTime_data()
{
    QTest::addColumn<int>("productType");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("initialValue");
    QTest::addColumn<QDateTime>("activation");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<bool>("endOfLastDay");
    QTest::addColumn<QDateTime>("expectedExpiry");
    QTest::addColumn<int>("expectedMinutes");
    QTest::addColumn<int>("expectedDays");

    const QDateTime march10 = utc(2024, 3, 10, 10);
    const QDateTime april8 = utc(2024, 4, 8, 20);
    const int pp = Card::Product::PeriodPass;

    QTest::newRow("hourly") << pp << 15 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10) << 840 << 1;
    QTest::newRow("end-of-last-day") << pp << 15 << 30 << march10 << april8 << true << utc(2024, 4, 9) << 240 << 0;
    QTest::newRow("pending-never-activated") << pp << 33 << 30 << kUnset << april8 << false << kUnset << 43200 << 30;
    QTest::newRow("pending-never-activated-end-of-day") << pp << 33 << 30 << kUnset << april8 << true << kUnset
                                                        << 43200 << 30;
    QTest::newRow("pending-with-activation") << pp << 33 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10)
                                             << 43200 << 30;
    QTest::newRow("not-yet-active") << pp << 15 << 30 << utc(2024, 4, 9) << april8 << false << utc(2024, 5, 9)
                                    << 43200 << 30;
    QTest::newRow("activated-now") << pp << 15 << 2 << april8 << april8 << true << utc(2024, 4, 10) << 2880 << 2;
    QTest::newRow("expired-by-time") << pp << 15 << 30 << utc(2024, 1, 1) << april8 << false << utc(2024, 1, 31) << 0
                                     << 0;
    QTest::newRow("ends-now") << pp << 15 << 1 << utc(2024, 4, 7, 20) << april8 << false << april8 << 0 << 0;
    QTest::newRow("status-expired") << pp << 12 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10) << 0 << 0;
    QTest::newRow("status-blocked") << pp << 19 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10) << 0 << 0;
    QTest::newRow("status-preallocated") << pp << 16 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10) << 0
                                         << 0;
    QTest::newRow("status-unallocated") << pp << 0 << 30 << march10 << april8 << false << utc(2024, 4, 9, 10) << 0
                                        << 0;
    QTest::newRow("stored-journeys") << 2 << 15 << 30 << march10 << april8 << false << kUnset << 0 << 0;
    QTest::newRow("stored-journeys-pending") << 2 << 33 << 30 << kUnset << april8 << false << kUnset << 0 << 0;
    QTest::newRow("epurse") << 0 << 15 << 30 << march10 << april8 << true << kUnset << 0 << 0;
    QTest::newRow("half-minute-rounds-up") << pp << 15 << 1 << utc(2024, 4, 8) << utc(2024, 4, 8, 23, 58, 30) << false
                                           << utc(2024, 4, 9) << 2 << 0;
    QTest::newRow("half-day-rounds-up") << pp << 15 << 1 << utc(2024, 4, 8) << utc(2024, 4, 8, 12) << false
                                        << utc(2024, 4, 9) << 720 << 1;
    QTest::newRow("day-taken-in-utc") << pp << 15 << 1 << utc(2024, 3, 10, 2) << utc(2024, 3, 10, 20) << true
                                      << utc(2024, 3, 11) << 240 << 0;
    QTest::newRow("across-spring-change") << pp << 15 << 1 << utc(2024, 3, 9, 15) << utc(2024, 3, 9, 16) << true
                                          << utc(2024, 3, 10) << 480 << 0;
    // 1440 times a card value does not fit an int.
    QTest::newRow("huge-pending") << pp << 33 << kMax << kUnset << april8 << false << kUnset << kMax << 1491308;
    QTest::newRow("huge-not-yet-active") << pp << 15 << kMax << utc(2024, 5, 1) << april8 << false
                                         << QDateTime(QDate(2024, 5, 1).addDays(kMax), QTime(0, 0), Qt::UTC) << kMax
                                         << 1491308;
    QTest::newRow("huge-active") << pp << 15 << kMax << march10 << april8 << true
                                 << QDateTime(QDate(2024, 3, 10).addDays(kMax), QTime(0, 0), Qt::UTC) << kMax
                                 << 1491308;
    QTest::newRow("large-fits") << pp << 33 << 1491308 << kUnset << april8 << false << kUnset << 2147483520
                                << 1491308;
    QTest::newRow("negative-pending") << pp << 33 << -5 << kUnset << april8 << false << kUnset << 0 << 0;
    QTest::newRow("negative-active") << pp << 15 << -5 << march10 << april8 << false << utc(2024, 3, 5, 10) << 0 << 0;
}

void tst_ZetoLucV2Card::periodPassTime()
{
    QFETCH(int, productType);
    QFETCH(int, status);
    QFETCH(int, initialValue);
    QFETCH(QDateTime, activation);
    QFETCH(QDateTime, now);
    QFETCH(bool, endOfLastDay);
    QFETCH(QDateTime, expectedExpiry);
    QFETCH(int, expectedMinutes);
    QFETCH(int, expectedDays);

    Card::Product product;
    product.productType = productType;
    product.status = status;
    product.initialValue = initialValue;
    product.activationTimestamp = activation;

    QCOMPARE(product.expiryTimestamp(endOfLastDay), expectedExpiry);
    QCOMPARE(product.expiryTimestamp(endOfLastDay).timeSpec(), Qt::UTC);
    QCOMPARE(product.remainingMinutes(now, endOfLastDay), expectedMinutes);
    QCOMPARE(product.remainingDays(now, endOfLastDay), expectedDays);
}

void tst_ZetoLucV2Card::localTimesGiveTheSameAnswer()
{
    // The clock of a caller may be local; the pass's day is still the UTC one.
    Card::Product product;
    product.productType = Card::Product::PeriodPass;
    product.status = Card::Product::Active;
    product.initialValue = 1;
    product.activationTimestamp = utc(2024, 3, 10, 2).toLocalTime();
    const QDateTime now = utc(2024, 3, 10, 20).toLocalTime();
    QCOMPARE(product.expiryTimestamp(true), utc(2024, 3, 11));
    QCOMPARE(product.remainingMinutes(now, true), 240);
    QCOMPARE(product.remainingMinutes(now, false), 360);
}

void tst_ZetoLucV2Card::textTables_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");

    const QList<QPair<int, const char *>> cardStatus{
        {0, "Active"}, {1, "NotIssued"}, {2, "BlockedStolen"}, {3, "BlockedLost"}, {4, "BlockedRefunded"},
        {5, "BlockedOverlimit"}, {6, "Monitored"}, {7, "AutoRealoadDisabled"}, {8, "Unblocked"},
        {9, "BlockedMisuse"}, {13, "BlockedDamaged"}, {10, "Unknown"}, {-1, "Unknown"}};
    const QList<QPair<int, const char *>> productType{
        {0, "EPurse"}, {1, "PeriodPass"}, {2, "StoredJourneys"}, {3, "Unknown"}, {-1, "Unknown"}};
    const QList<QPair<int, const char *>> productStatus{
        {0, "UNALLOCATED"}, {12, "EXPIRED"}, {15, "ACTIVE"}, {16, "PREALLOCATED"}, {19, "BLOCKED"},
        {33, "PENDING"}, {1, "UNKNOWN"}, {-15, "UNKNOWN"}};
    const QList<QPair<int, const char *>> deviceType{
        {1, "RegistrationTerminal"}, {2, "TicketVendingMachine"}, {3, "InspectionTerminal"}, {6, "Validator"},
        {9, "LoadingTerminal"}, {0, "Unknown"}, {4, "Unknown"}};
    const QList<QPair<int, const char *>> transType{
        {0, "Invalid"}, {1, "LoadPeriodPass"}, {2, "LoadStoredJourneys"}, {3, "LoadEpurse"},
        {20, "ValidationTransfer"}, {21, "ValidationPeriodPass"}, {22, "ValidationStoredJourneys"},
        {23, "ValidationEpurse"}, {4, "Unknown"}, {24, "Unknown"}};
    const QList<QPair<const char *, QList<QPair<int, const char *>>>> tables{
        {"card-status", cardStatus}, {"product-type", productType}, {"product-status", productStatus},
        {"device-type", deviceType}, {"transaction-type", transType}};
    for (const auto &table : tables) {
        for (const auto &row : table.second)
            QTest::addRow("%s-%d", table.first, row.first) << table.first << row.first << row.second;
    }
}

void tst_ZetoLucV2Card::textTables()
{
    QFETCH(QString, table);
    QFETCH(int, code);
    QFETCH(QString, expected);

    const QMap<QString, std::function<QString(int)>> functions{
        {"card-status", &Card::State::statusToString},
        {"product-type", &Card::Product::typeToString},
        {"product-status", &Card::Product::statusToString},
        {"device-type", &Card::deviceTypeToString},
        {"transaction-type", &Card::transTypeToString},
    };
    QCOMPARE(functions.value(table)(code), expected);
}

void tst_ZetoLucV2Card::untouchedCardIsWrittenAsRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("full") << "lucv2-full.json";
    QTest::newRow("sparse") << "lucv2-sparse.json";
}

void tst_ZetoLucV2Card::untouchedCardIsWrittenAsRead()
{
    QFETCH(QString, name);
    const QJsonObject json = sample(name);
    QVERIFY(!json.isEmpty());
    const QJsonObject written = Card(json).toJson();
    QVERIFY2(written == json, JsonPath::describeMismatch(written, json).constData());
}

void tst_ZetoLucV2Card::writeBackKeepsUnknownKeys()
{
    const QJsonObject json = sample();
    Card card(json);
    Card::Product *journeys = card.products().at(1);
    journeys->remainingValue = 6;
    card.usageLog().productId = 9;
    card.usageLog().transactionType = 22;
    card.usageLog().transactionTimestamp = utc(2024, 4, 9, 7, 5).toLocalTime();
    card.state().status = Card::State::BlockedMisuse;
    card.topupLog().deviceId = 901;

    const QJsonObject expected = applied(json, {
        {"data/product1/remainingValue", 6},
        {"data/usageLog/productId", 9},
        {"data/usageLog/transactionType", 22},
        {"data/usageLog/transactionTimestamp", "2024-04-09T07:05:00Z"},
        {"data/state/status", 9},
        {"data/topupLog/0/deviceId", 901},
    });
    const QJsonObject written = card.toJson();
    // The per-zone counters, the top-up "amount" and "layoutRevision" stay as read.
    QVERIFY2(written == expected, JsonPath::describeMismatch(written, expected).constData());

    // Written and read again, it is the same card.
    const Card again(written);
    QCOMPARE(again.toJson(), written);
    QCOMPARE(again.usageLog().transactionTimestamp, utc(2024, 4, 9, 7, 5));
}

void tst_ZetoLucV2Card::absentRecordsAreAddedOnlyWhenChanged()
{
    const QJsonObject json = sample(QStringLiteral("lucv2-sparse.json"));
    Card card(json);
    QCOMPARE(card.info().version, 0); // "2", text
    QCOMPARE(card.info().issuerId, 5);
    QCOMPARE(card.products().at(0)->remainingDays(utc(2024, 4, 8), false), 30); // pending
    QCOMPARE(card.topupLog().transactionTimestamp, kUnset);

    card.state().status = Card::State::BlockedStolen;
    card.products().at(1)->productType = Card::Product::StoredJourneys;
    card.products().at(1)->remainingValue = 3;
    card.usageLog().transactionType = 20;
    card.info().issuerId = 6;

    const QJsonObject data = card.toJson().value(QStringLiteral("data")).toObject();
    const QJsonObject state{{"status", 2}, {"passengerType", 0}, {"statusDeviceId", 0}, {"statusDeviceType", 0},
                            {"statusTimestamp", "1990-01-01T00:00:00Z"}};
    QCOMPARE(data.value(QStringLiteral("state")).toObject(), state);
    const QJsonObject product1{{"productId", 0}, {"status", 0}, {"productType", 2}, {"initialValue", 0},
                               {"remainingValue", 3}, {"activationTimestamp", "1990-01-01T00:00:00Z"}};
    QCOMPARE(data.value(QStringLiteral("product1")).toObject(), product1);
    const QJsonArray usage = data.value(QStringLiteral("usageLog")).toArray();
    QCOMPARE(usage.size(), 1);
    QCOMPARE(usage.at(0).toObject().value(QStringLiteral("transactionType")), QJsonValue(20));
    // A changed record gains the keys it lacked; a value it could not read stays.
    const QJsonObject info{{"version", "2"}, {"issuerId", 6}, {"carrierId", 0},
                           {"issueTimestamp", "1990-01-01T00:00:00Z"}};
    QCOMPARE(data.value(QStringLiteral("info")).toObject(), info);
    QCOMPARE(data.value(QStringLiteral("topupLog")), json.value(QStringLiteral("data")).toObject().value(QStringLiteral("topupLog")));
    QCOMPARE(data.value(QStringLiteral("product0")), json.value(QStringLiteral("data")).toObject().value(QStringLiteral("product0")));
}

QTEST_GUILESS_MAIN(tst_ZetoLucV2Card)
#include "tst_card.moc"
