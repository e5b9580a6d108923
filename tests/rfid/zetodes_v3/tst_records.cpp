#include "rfid/zetodes_v3/info.h"
#include "rfid/zetodes_v3/product.h"
#include "rfid/zetodes_v3/state.h"
#include "rfid/zetodes_v3/topuplogentry.h"
#include "rfid/zetodes_v3/usagelogentry.h"

#include "support/jsonpath.h"

#include <QtTest>

using namespace ZetoDes_v3;

namespace {

// Reads the object as the named record (default-built for an empty name list) and
// writes it back.
QJsonObject written(const QString &record, const QJsonObject *json)
{
    if (record == QLatin1String("State"))
        return json ? State(*json).toJson() : State().toJson();
    if (record == QLatin1String("Info"))
        return json ? Info(*json).toJson() : Info().toJson();
    if (record == QLatin1String("Product"))
        return json ? Product(*json).toJson() : Product().toJson();
    if (record == QLatin1String("TopupLogEntry"))
        return json ? TopupLogEntry(*json).toJson() : TopupLogEntry().toJson();
    return json ? UsageLogEntry(*json).toJson() : UsageLogEntry().toJson();
}

const QString kUnset = QStringLiteral("1990-01-01T00:00:00Z");

} // namespace

class tst_ZetoDesV3Records : public QObject
{
    Q_OBJECT
private slots:
    void statusNames_data();
    void statusNames();
    void typeNames_data();
    void typeNames();
    void statusMapHasTheFiveCodes();
    void defaultsWrite_data();
    void defaultsWrite();
    void readAndWrittenBack_data();
    void readAndWrittenBack();
};

void tst_ZetoDesV3Records::statusNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("expired") << 12 << "EXPIRED";
    QTest::newRow("active") << 15 << "ACTIVE";
    QTest::newRow("preallocated") << 16 << "PREALLOCATED";
    QTest::newRow("blocked") << 19 << "BLOCKED";
    QTest::newRow("pending") << 33 << "PENDING";
    QTest::newRow("empty-slot") << 0 << "UNKNOWN";
    QTest::newRow("thirteen") << 13 << "UNKNOWN";
    QTest::newRow("negative") << -1 << "UNKNOWN";
}

void tst_ZetoDesV3Records::statusNames()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(Product::statusToString(code), expected);
}

void tst_ZetoDesV3Records::typeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("expected");
    QTest::newRow("e-purse") << 0 << "EPurse";
    QTest::newRow("period-pass") << 1 << "PeriodPass";
    QTest::newRow("stored-journeys") << 2 << "StoredJourneys";
    QTest::newRow("three") << 3 << "Unknown"; // mixed case, unlike the status fallback
    QTest::newRow("negative") << -1 << "Unknown";
}

void tst_ZetoDesV3Records::typeNames()
{
    QFETCH(int, type);
    QFETCH(QString, expected);
    QCOMPARE(Product::typeToString(type), expected);
}

void tst_ZetoDesV3Records::statusMapHasTheFiveCodes()
{
    Product product;
    product.setStatus(15);
    const QMap<QString, int> expected{{"EXPIRED", 12}, {"ACTIVE", 15}, {"PREALLOCATED", 16}, {"BLOCKED", 19},
                                      {"PENDING", 33}};
    QCOMPARE(product.getStatusAsMap(), expected);
}

void tst_ZetoDesV3Records::defaultsWrite_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("expected");
    QTest::newRow("state") << "State"
                           << QJsonObject{{"status", 0}, {"statusDeviceId", 0}, {"statusDeviceType", 0},
                                          {"passengerType", 0},
                                          {"flags", QJsonObject{{"employee", false}, {"personalized", false},
                                                                {"hasEPurse", false}, {"hasProduct0", false},
                                                                {"hasProduct1", false}, {"hasProduct2", false}}},
                                          {"statusTimestamp", kUnset}};
    QTest::newRow("info") << "Info"
                          << QJsonObject{{"version", 0}, {"carrierId", 0}, {"issuerId", 0}, {"passengerId", 0},
                                         {"passengerTypeExpiryDate", "1990-01-01"}, {"issueTimestamp", kUnset}};
    QTest::newRow("product") << "Product"
                             << QJsonObject{{"productType", 0}, {"productId", 0}, {"status", 0},
                                            {"initialValue", 0}, {"remainingValue", 0},
                                            {"issueTimestamp", kUnset}, {"activationTimestamp", kUnset}};
    QTest::newRow("topup-log-entry") << "TopupLogEntry"
                                     << QJsonObject{{"transType", 0}, {"transCounter", 0}, {"transAmount", 0},
                                                    {"deviceId", 0}, {"deviceType", 0}, {"productId", 0},
                                                    {"transTimestamp", kUnset}};
    QTest::newRow("usage-log-entry")
        << "UsageLogEntry"
        << QJsonObject{{"transType", 0}, {"transCounter", 0}, {"transAmount", 0}, {"deviceId", 0},
                       {"deviceType", 0}, {"boardingStopId", 0}, {"productId", 0}, {"routeExecutionId", 0},
                       {"routeId", 0}, {"vehicleId", 0}, {"alightingStopId", 0}, {"initialTimestamp", kUnset},
                       {"transTimestamp", kUnset}};
}

void tst_ZetoDesV3Records::defaultsWrite()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, expected);
    const QJsonObject actual = written(record, nullptr);
    QVERIFY2(actual == expected, JsonPath::describeMismatch(actual, expected).constData());
}

void tst_ZetoDesV3Records::readAndWrittenBack_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("json");
    const QJsonObject card = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/desv3-autoread.json")).object();
    QVERIFY(!card.isEmpty());
    const auto at = [&card](const char *path) { return JsonPath::value(card, QString::fromLatin1(path)).toObject(); };
    QTest::newRow("state") << "State" << at("data/state");
    QTest::newRow("info") << "Info" << at("data/info");
    QTest::newRow("product") << "Product" << at("data/product1");
    QTest::newRow("topup-log-entry") << "TopupLogEntry" << at("data/topupLog/2");
    QTest::newRow("usage-log-entry") << "UsageLogEntry" << at("data/usageLog/1");
}

void tst_ZetoDesV3Records::readAndWrittenBack()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, json);
    // Exactly the keys read, with the same values; keys not read are dropped.
    QJsonObject withExtra = json;
    withExtra.insert(QStringLiteral("productNum"), 2);
    withExtra.insert(QStringLiteral("comment"), QStringLiteral("not read"));
    const QJsonObject actual = written(record, &withExtra);
    QVERIFY2(actual == json, JsonPath::describeMismatch(actual, json).constData());
}

QTEST_GUILESS_MAIN(tst_ZetoDesV3Records)
#include "tst_records.moc"
