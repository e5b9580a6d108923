#include "inspection/inspectorresult.h"

#include "support/goldenfile.h"
#include "support/jsonpath.h"

#include <QtTest>

#include <functional>

// The text tables and the JSON form against data/inspectorresult.json.
class tst_InspectorResult : public QObject
{
    Q_OBJECT
private slots:
    void codesReadAsTextsAndResetKeepsRideFields();
};

void tst_InspectorResult::codesReadAsTextsAndResetKeepsRideFields()
{
    using R = InspectorResult;
    const QJsonObject golden = JsonPath::readFile(TEST_DATA_DIR "/inspectorresult.json").object();
    const QMap<QString, std::function<QString(int)>> tables{
        {"deviceType", [](int code) { return R::deviceTypeToString(R::DeviceType(code)); }},
        {"transactionType", [](int code) { return R::transactionTypeToString(R::TransactionType(code)); }},
        {"denyReason", [](int code) { return R::denyReasonToString(R::DenyReason(code)); }}};
    QJsonObject actual;
    for (auto table = tables.begin(); table != tables.end(); ++table) {
        QJsonObject texts;
        for (const QString &code : golden[table.key()].toObject().keys())
            texts[code] = table.value()(code.toInt());
        actual[table.key()] = texts;
    }

    R record;
    record.setRouteInfo({99817, 12, 1402, "Axis", "Stop", "Zone"});
    record.setVehicleId(305);
    record.setDeviceType(6);
    record.setFareProductId(610);
    record.setFareProductName("Ten rides");
    record.setJourneysBefore(7);
    record.setJourneysAfter(6);
    record.setRemainingPassDays(3);
    record.setTimeStamp(QDateTime(QDate(2025, 2, 6), QTime(7, 30), Qt::UTC));
    // written in the zone it carries
    record.setInitialTimestamp(QDateTime(QDate(2025, 2, 6), QTime(7, 0), Qt::OffsetFromUTC, 3600));
    record.setTransactionType(R::Transfer);
    record.setDenyReason(R::CardBlockedLost);
    QJsonObject json{{"transfer", record.toJson()}};
    record.setTransactionType(R::PeriodPassValidation);
    record.setResult(true);
    record.setDenyReason(R::Valid);
    json["period-pass"] = record.toJson();
    // reset keeps the route, vehicle, device type and product name
    record.reset();
    record.setDeviceType(4);
    json["reset-keeps-some"] = record.toJson();
    actual["toJson"] = json;
    GOLDEN_COMPARE(actual, golden);
}

QTEST_GUILESS_MAIN(tst_InspectorResult)
#include "tst_inspectorresult.moc"
