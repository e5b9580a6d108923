#include "rfid/zetodes_v2/info.h"
#include "rfid/zetodes_v2/periodpass.h"
#include "rfid/zetodes_v2/state.h"
#include "rfid/zetodes_v2/storedjourneys.h"
#include "rfid/zetodes_v2/topuplogentry.h"
#include "rfid/zetodes_v2/usagelogentry.h"

#include "support/jsonpath.h"

#include <QtTest>

using namespace ZetoDes_v2;

namespace {

QJsonObject written(const QString &record, const QJsonObject *json)
{
    if (record == QLatin1String("State"))
        return json ? State(*json).toJson() : State().toJson();
    if (record == QLatin1String("Info"))
        return json ? Info(*json).toJson() : Info().toJson();
    if (record == QLatin1String("PeriodPass"))
        return json ? PeriodPass(*json).toJson() : PeriodPass().toJson();
    if (record == QLatin1String("StoredJourneys"))
        return json ? StoredJourneys(*json).toJson() : StoredJourneys().toJson();
    if (record == QLatin1String("TopupLogEntry"))
        return json ? TopupLogEntry(*json).toJson() : TopupLogEntry().toJson();
    return json ? UsageLogEntry(*json).toJson() : UsageLogEntry().toJson();
}

const QString kUnset = QStringLiteral("1990-01-01T00:00:00Z");

} // namespace

class tst_ZetoDesV2Records : public QObject
{
    Q_OBJECT
private slots:
    void statusNames_data();
    void statusNames();
    void statusMapHasTheFiveCodes();
    void defaultsWrite_data();
    void defaultsWrite();
    void readAndWrittenBack_data();
    void readAndWrittenBack();
};

void tst_ZetoDesV2Records::statusNames_data()
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
}

void tst_ZetoDesV2Records::statusNames()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    QCOMPARE(PeriodPass::statusToString(code), expected);
    QCOMPARE(StoredJourneys::statusToString(code), expected);
}

void tst_ZetoDesV2Records::statusMapHasTheFiveCodes()
{
    const QMap<QString, int> expected{{"EXPIRED", 12}, {"ACTIVE", 15}, {"PREALLOCATED", 16}, {"BLOCKED", 19},
                                      {"PENDING", 33}};
    QCOMPARE(PeriodPass().getStatusAsMap(), expected);
    StoredJourneys journeys;
    journeys.setStatus(19);
    QCOMPARE(journeys.getStatusAsMap(), expected);
}

void tst_ZetoDesV2Records::defaultsWrite_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("expected");
    QTest::newRow("state") << "State"
                           << QJsonObject{{"status", 0}, {"statusDeviceId", 0}, {"statusDeviceType", 0},
                                          {"passengerType", 0},
                                          {"cardType", QJsonObject{{"personalized", false}, {"hasPeriodPass0", false},
                                                                   {"hasPeriodPass1", false},
                                                                   {"hasStoredJourneys", false}, {"hasEPurse", false}}},
                                          {"statusTimestamp", kUnset}};
    QTest::newRow("info") << "Info"
                          << QJsonObject{{"version", 0}, {"issuerId", 0}, {"passengerId", 0},
                                         {"passengerTypeExpiryDate", "1990-01-01"}, {"expiryDate", "1990-01-01"},
                                         {"issueTimestamp", kUnset}};
    // No slot number on the wire.
    QTest::newRow("period-pass") << "PeriodPass"
                                 << QJsonObject{{"productId", 0}, {"status", 0}, {"days", 0},
                                                {"issueTimestamp", kUnset}, {"activationTimestamp", kUnset}};
    QTest::newRow("stored-journeys") << "StoredJourneys"
                                     << QJsonObject{{"productId", 0}, {"status", 0}, {"journeys", 0},
                                                    {"issueTimestamp", kUnset}, {"activationTimestamp", kUnset}};
    QTest::newRow("topup-log-entry")
        << "TopupLogEntry"
        << QJsonObject{{"balanceBefore", 0}, {"balanceAfter", 0}, {"deviceId", 0}, {"deviceType", 0},
                       {"journeysAfter", 0}, {"journeysBefore", 0}, {"productId", 0}, {"productType", 0},
                       {"transactionCounter", 0}, {"timestamp", kUnset}};
    QTest::newRow("usage-log-entry")
        << "UsageLogEntry"
        << QJsonObject{{"balanceAfter", 0}, {"balanceBefore", 0}, {"deviceId", 0}, {"deviceType", 0},
                       {"fromStopId", 0}, {"journeysAfter", 0}, {"journeysBefore", 0}, {"productId", 0},
                       {"productType", 0}, {"routeExecutionId", 0}, {"routeId", 0}, {"toStopId", 0},
                       {"transactionCounter", 0}, {"timestamp", kUnset}};
}

void tst_ZetoDesV2Records::defaultsWrite()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, expected);
    const QJsonObject actual = written(record, nullptr);
    QVERIFY2(actual == expected, JsonPath::describeMismatch(actual, expected).constData());
}

void tst_ZetoDesV2Records::readAndWrittenBack_data()
{
    QTest::addColumn<QString>("record");
    QTest::addColumn<QJsonObject>("json");
    const QJsonObject card = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/valid/desv2-full.json")).object();
    QVERIFY(!card.isEmpty());
    const auto at = [&card](const char *path) { return JsonPath::value(card, QString::fromLatin1(path)).toObject(); };
    QTest::newRow("state") << "State" << at("data/state");
    QTest::newRow("info") << "Info" << at("data/info");
    QTest::newRow("period-pass") << "PeriodPass" << at("data/periodPass/0");
    QTest::newRow("stored-journeys") << "StoredJourneys" << at("data/storedJourneys");
    QTest::newRow("topup-log-entry") << "TopupLogEntry" << at("data/topupLog/0");
    QTest::newRow("usage-log-entry") << "UsageLogEntry" << at("data/usageLog/0");
}

void tst_ZetoDesV2Records::readAndWrittenBack()
{
    QFETCH(QString, record);
    QFETCH(QJsonObject, json);
    QJsonObject withExtra = json;
    withExtra.insert(QStringLiteral("periodPassNum"), 1);
    withExtra.insert(QStringLiteral("comment"), QStringLiteral("not read"));
    const QJsonObject actual = written(record, &withExtra);
    QVERIFY2(actual == json, JsonPath::describeMismatch(actual, json).constData());
}

QTEST_GUILESS_MAIN(tst_ZetoDesV2Records)
#include "tst_records.moc"
