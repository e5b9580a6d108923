#include "inspection/inspectorresult.h"

#include <QJsonDocument>
#include <QtTest>

class tst_InspectorResult : public QObject
{
    Q_OBJECT
private slots:
    void texts_data();
    void texts();
    void toJson_data();
    void toJson();
};

void tst_InspectorResult::texts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    using R = InspectorResult;
    for (const auto &row : QList<QPair<int, const char *>>{{1, "REGISTRATION TERMINAL"}, {2, "TICKET VENDING MACHINE"},
             {3, "INSPECTION TERMINAL"}, {6, "VALIDATOR"}, {9, "LOADING TERMINAL"}, {0, "Unknown"}})
        QTest::addRow("device-%d", row.first) << R::deviceTypeToString(R::DeviceType(row.first)) << row.second;
    for (const auto &row : QList<QPair<int, const char *>>{{0, "UNSUPPORTED"}, {5, "STORED JOURNEYS VALIDATION"},
             {8, "PERIOD PASS VALIDATION"}, {12, "TRANSFER"}, {1, "Unknown"}})
        QTest::addRow("transaction-%d", row.first) << R::transactionTypeToString(R::TransactionType(row.first)) << row.second;
    for (const auto &row : QList<QPair<int, const char *>>{{0, "Valid"}, {100, "Invalid"}, {101, "Expired"},
             {102, "Not Allowed"}, {103, "Already Validated"}, {104, "Not Active"}, {200, "Invalid"}, {201, "Expired"},
             {202, "Not Allowed"}, {203, "Already Validated"}, {204, "Insufficient Journeys"},
             {205, "Insufficient Balance"}, {206, "Card Invalid Transaction Counter"}, {207, "Card Passback"},
             {208, "Card not active yet"}, {250, "Card Blocked (Lost)"}, {251, "Card Blocked (Stolen)"},
             {252, "Card Blocked (Refunded)"}, {253, "Card Blocked Misuse"}, {254, "Card Blocked Damaged"},
             {255, "Card Blocked Overlimit"}, {300, "Card Product Blocked"}, {301, "Card Product Not Active"},
             {400, "Internal Error"}, {209, "Unknown"}, {105, "Unknown"}})
        QTest::addRow("deny-%d", row.first) << R::denyReasonToString(R::DenyReason(row.first)) << row.second;
}

void tst_InspectorResult::texts()
{
    QFETCH(QString, text);
    QTEST(text, "expected");
}

void tst_InspectorResult::toJson_data()
{
    QTest::addColumn<InspectorResult>("record");
    QTest::addColumn<QByteArray>("expected");

    InspectorResult record;
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
    record.setTransactionType(InspectorResult::Transfer);
    record.setDenyReason(InspectorResult::CardBlockedLost);
    const QByteArray product = R"("deviceType":"VALIDATOR","fareProductId":610,"fareProductName":"Ten rides",)";
    const QByteArray route = R"("route":{"axisName":"Axis","boardingStopId":1402,"routeExecutionId":99817,)"
                             R"("routeId":12,"stopName":"Stop","zoneName":"Zone"},)";
    QTest::newRow("transfer") << record << R"x({"denyReason":{"description":"Card Blocked (Lost)","id":250},)x" + product
            + R"("periodPass":null,"result":false,)" + route + R"("storedJourneys":{"after":6,"before":7,)"
            R"("boardingTime":"2025-02-06T07:00:00Z"},"transTimestamp":"2025-02-06T07:30:00Z","transType":12,"vehicleId":305})";
    record.setTransactionType(InspectorResult::PeriodPassValidation);
    record.setResult(true);
    record.setDenyReason(InspectorResult::Valid);
    QTest::newRow("period-pass") << record << R"({"denyReason":{"description":"Valid","id":0},)" + product
            + R"("periodPass":{"remainingDays":3},"result":true,)" + route + R"("storedJourneys":null,)"
            R"("transTimestamp":"2025-02-06T07:30:00Z","transType":8,"vehicleId":305})";
    // reset keeps the route, vehicle, device type and product name
    record.reset();
    record.setDeviceType(4);
    QTest::newRow("reset-keeps-some") << record << R"({"denyReason":{"description":"Valid","id":0},)"
            R"("deviceType":"Unknown","fareProductId":0,"fareProductName":"Ten rides","periodPass":null,"result":false,)"
            + route + R"("storedJourneys":null,"transTimestamp":"","transType":0,"vehicleId":305})";
}

void tst_InspectorResult::toJson()
{
    QFETCH(InspectorResult, record);
    const QByteArray actual = QJsonDocument(record.toJson()).toJson(QJsonDocument::Compact);
    QTEST(actual, "expected");
}

QTEST_GUILESS_MAIN(tst_InspectorResult)
#include "tst_inspectorresult.moc"
