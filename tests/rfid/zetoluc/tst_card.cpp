#include "rfid/zetoluc/card.h"

#include "support/jsonpath.h"

#include <QJsonArray>
#include <QtTest>

#include <stdexcept>

using namespace ZetoLUC;

namespace {

QJsonObject sample(const QString &name = QStringLiteral("luc-full.json"))
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

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

} // namespace

class tst_ZetoLucCard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void identity();
    void readsEveryField();
    void missingKeyNamesKeyAndRecord_data();
    void missingKeyNamesKeyAndRecord();
    void flagsDecideRequiredKeys_data();
    void flagsDecideRequiredKeys();
    void usageLogShapes_data();
    void usageLogShapes();
    void untouchedCardIsWrittenAsRead_data();
    void untouchedCardIsWrittenAsRead();
    void writesOnlyChangedValues();
    void valuesOfAnotherTypeStayUnlessChanged();
    void productSetOnUnflaggedSlotIsWritten();
    void imageReadsBack();
    void statusTexts_data();
    void statusTexts();
};

void tst_ZetoLucCard::initTestCase()
{
    QVERIFY(!sample().isEmpty());
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 15), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
}

void tst_ZetoLucCard::identity()
{
    QCOMPARE(Card::MyTemplate, QStringLiteral("ZetoLUC"));
    QCOMPARE(Card::SupportedVersions, QList<int>{1});
}

void tst_ZetoLucCard::readsEveryField()
{
    Card card(sample());
    QCOMPARE(card.getUid(), QStringLiteral("04A1B2C3D4"));
    QCOMPARE(card.getType(), 4);
    QCOMPARE(card.getTemplate(), QStringLiteral("ZetoLUC"));

    QCOMPARE(card.getInfo().getVersion(), 1);
    QCOMPARE(card.getInfo().getIssuerId(), 5);

    const State state = card.getState();
    QCOMPARE(state.getStatus(), 0u);
    QCOMPARE(state.getDeviceId(), 12);
    QCOMPARE(state.getDeviceType(), 1);
    QCOMPARE(state.getPassengerType(), 2u);
    QCOMPARE(state.getTimestamp(), utc(2023, 9, 1, 8));
    QVERIFY(state.getCardType().hasPeriodPass);
    QVERIFY(state.getCardType().hasStoredJourneys);

    const PeriodPass *pass = card.getPeriodPass();
    QCOMPARE(pass->getProductId(), 301u);
    QCOMPARE(pass->getStatus(), 15u);
    QCOMPARE(pass->getDays(), 30u);
    QCOMPARE(pass->getActivationTimestamp(), utc(2024, 3, 1, 7, 0, 1));

    const StoredJourneys *journeys = card.getStoredJourneys();
    QCOMPARE(journeys->getProductId(), 410u);
    QCOMPARE(journeys->getStatus(), 15u);
    QCOMPARE(journeys->getRemainingJourneys(), 6u);

    const UsageLogEntry ride = card.getUsageLogEntry();
    QCOMPARE(ride.getProductType(), 2u);
    QCOMPARE(ride.getProductId(), 410u);
    QCOMPARE(ride.getTimestamp(), utc(2024, 3, 4, 17, 20, 5));
    QCOMPARE(ride.getVehicleId(), QStringLiteral("1234"));
    QCOMPARE(ride.getDeviceId(), 3114u);
    QCOMPARE(ride.getDeviceType(), 6u);
    QCOMPARE(ride.getRouteId(), 12u);
    QCOMPARE(ride.getRouteExecutionId(), 99817u);
    QCOMPARE(ride.getFromStopId(), 1402u);
    QCOMPARE(ride.getJourneysBefore(), 7u);
    QCOMPARE(ride.getJourneysAfter(), 6u);

    // A record made without the card.
    const PeriodPass blank;
    QCOMPARE(blank.getStatus(), 0u);
    QCOMPARE(blank.getDays(), 0u);
    QCOMPARE(blank.getActivationTimestamp(), utc(1990, 1, 1));
    QCOMPARE(UsageLogEntry().getTimestamp(), utc(1990, 1, 1));
    QCOMPARE(State().getTimestamp(), utc(1990, 1, 1));
}

void tst_ZetoLucCard::missingKeyNamesKeyAndRecord_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expectedError");

    struct Record
    {
        const char *path;
        QStringList keys;
        const char *name;
    };
    const QList<Record> records{
        {"", {"uid", "type", "template", "data"}, "top level"},
        {"data", {"state", "info", "periodPass", "storedJourneys", "usageLog"}, "top level"},
        {"data/state", {"status", "statusDeviceId", "statusDeviceType", "passengerType", "cardType", "statusTimestamp"},
         "state"},
        {"data/state/cardType", {"hasPeriodPass", "hasStoredJourneys"}, "state"},
        {"data/info", {"version", "issuerId"}, "info"},
        {"data/periodPass", {"productId", "status", "days", "activationTimestamp"}, "periodpass"},
        {"data/storedJourneys", {"productId", "status", "remainingJourneys"}, "stored journeys"},
        {"data/usageLog/0", {"productType", "productId", "timestamp", "vehicleId", "deviceId", "deviceType", "routeId",
                             "routeExecutionId", "fromStopId", "journeysBefore", "journeysAfter"},
         "usage log"},
    };
    for (const Record &record : records) {
        for (const QString &key : record.keys) {
            const QString prefix = QString::fromLatin1(record.path);
            QTest::addRow("%s-%s", record.path, qPrintable(key))
                << (prefix.isEmpty() ? key : prefix + QLatin1Char('/') + key)
                << QStringLiteral("card missing '%1' field in %2").arg(key, QLatin1String(record.name));
        }
    }
}

void tst_ZetoLucCard::missingKeyNamesKeyAndRecord()
{
    QFETCH(QString, path);
    QFETCH(QString, expectedError);
    QCOMPARE(readError(JsonPath::removed(sample(), path)), expectedError);
}

void tst_ZetoLucCard::flagsDecideRequiredKeys_data()
{
    QTest::addColumn<QVariantMap>("changes"); // path -> new value, or kRemove
    QTest::addColumn<QString>("expectedError");
    QTest::addColumn<uint>("expectedPassId");
    QTest::addColumn<uint>("expectedJourneysId");

    const QString pp = "data/state/cardType/hasPeriodPass";
    const QString sj = "data/state/cardType/hasStoredJourneys";

    QTest::newRow("both") << QVariantMap{} << "" << 301u << 410u;
    QTest::newRow("pass-off-record-missing") << QVariantMap{{pp, false}, {"data/periodPass", kRemove}} << "" << 0u
                                             << 410u;
    QTest::newRow("pass-off-record-present-not-read") << QVariantMap{{pp, false}} << "" << 0u << 410u;
    QTest::newRow("journeys-off-record-garbage")
        << QVariantMap{{sj, false}, {"data/storedJourneys", 5}} << "" << 301u << 0u;
    QTest::newRow("pass-on-record-not-object")
        << QVariantMap{{"data/periodPass", QVariantList{1}}} << "card missing 'productId' field in periodpass" << 0u
        << 0u;
    QTest::newRow("journeys-on-record-null")
        << QVariantMap{{"data/storedJourneys", QVariant::fromValue(nullptr)}}
        << "card missing 'productId' field in stored journeys" << 0u << 0u;
    QTest::newRow("flag-not-bool-is-off")
        << QVariantMap{{pp, "true"}, {"data/periodPass", kRemove}} << "" << 0u << 410u;
    QTest::newRow("data-not-object") << QVariantMap{{"data", QVariantList{}}}
                                     << "card missing 'state' field in top level" << 0u << 0u;
}

void tst_ZetoLucCard::flagsDecideRequiredKeys()
{
    QFETCH(QVariantMap, changes);
    QFETCH(QString, expectedError);
    QFETCH(uint, expectedPassId);
    QFETCH(uint, expectedJourneysId);

    const QJsonObject json = applied(sample(), changes);
    QCOMPARE(readError(json), expectedError);
    if (!expectedError.isEmpty())
        return;
    Card card(json);
    QCOMPARE(card.getPeriodPass()->getProductId(), expectedPassId);
    QCOMPARE(card.getStoredJourneys()->getProductId(), expectedJourneysId);
    QCOMPARE(card.toJson(), json);
}

void tst_ZetoLucCard::usageLogShapes_data()
{
    QTest::addColumn<QJsonValue>("usageLog");
    QTest::addColumn<QString>("expectedError");

    const QJsonObject ride = sample().value(QStringLiteral("data")).toObject().value(QStringLiteral("usageLog"))
                                 .toArray().at(0).toObject();
    QJsonObject older = ride;
    older.insert(QStringLiteral("productId"), 301);

    QTest::newRow("object") << QJsonValue(ride) << "";
    QTest::newRow("one-element-array") << QJsonValue(QJsonArray{ride}) << "";
    QTest::newRow("newest-first-array") << QJsonValue(QJsonArray{ride, older}) << "";
    QTest::newRow("empty-array") << QJsonValue(QJsonArray()) << "card missing 'productType' field in usage log";
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << "card missing 'productType' field in usage log";
}

void tst_ZetoLucCard::usageLogShapes()
{
    QFETCH(QJsonValue, usageLog);
    QFETCH(QString, expectedError);

    const QJsonObject json = JsonPath::withValue(sample(), QStringLiteral("data/usageLog"), usageLog);
    QCOMPARE(readError(json), expectedError);
    if (!expectedError.isEmpty())
        return;
    Card card(json);
    QCOMPARE(card.getUsageLogEntry().getProductId(), 410u);

    UsageLogEntry ride = card.getUsageLogEntry();
    ride.setJourneysAfter(5);
    card.setUsageLogEntry(ride);
    const QJsonValue written = JsonPath::value(card.toJson(), QStringLiteral("data/usageLog"));
    QCOMPARE(written.isArray(), usageLog.isArray());
    const QJsonObject first = written.isArray() ? written.toArray().at(0).toObject() : written.toObject();
    QCOMPARE(first.value(QStringLiteral("journeysAfter")), QJsonValue(5));
    if (usageLog.isArray()) {
        QCOMPARE(written.toArray().size(), usageLog.toArray().size());
        if (written.toArray().size() > 1)
            QCOMPARE(written.toArray().at(1), usageLog.toArray().at(1));
    }
}

void tst_ZetoLucCard::untouchedCardIsWrittenAsRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("full") << "luc-full.json";
    QTest::newRow("pass-only") << "luc-pass-only.json";
}

void tst_ZetoLucCard::untouchedCardIsWrittenAsRead()
{
    QFETCH(QString, name);
    const QJsonObject json = sample(name);
    QVERIFY(!json.isEmpty());
    const Card card(json);
    const QJsonObject written = card.toJson();
    QVERIFY2(written == json, JsonPath::describeMismatch(written, json).constData());
}

void tst_ZetoLucCard::writesOnlyChangedValues()
{
    const QJsonObject json = sample();
    Card card(json);

    State state = card.getState();
    state.setStatus(State::BlockedMisuse);
    state.setStatusDeviceId(3114);
    state.setStatusDeviceType(6);
    state.setTimestamp(utc(2024, 3, 5, 7, 8, 9));
    State::CardType flags = state.getCardType();
    flags.hasStoredJourneys = false;
    state.setCardType(flags);
    card.setState(state);
    card.getStoredJourneys()->setStatus(StoredJourneys::Expired);
    card.getStoredJourneys()->setRemainingJourneys(0);
    card.getPeriodPass()->setDays(31);

    UsageLogEntry ride;
    ride.setProductType(1);
    ride.setProductId(301);
    ride.setTimestamp(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9), Qt::UTC).toLocalTime());
    ride.setVehicleId(QStringLiteral("88"));
    ride.setDeviceId(3114);
    ride.setDeviceType(6);
    ride.setRouteId(14);
    ride.setRouteExecutionId(99900);
    ride.setFromStopId(1410);
    card.setUsageLogEntry(ride);

    QJsonObject expected = json;
    const QVariantMap changes{
        {"data/state/status", 9},
        {"data/state/statusDeviceId", 3114},
        {"data/state/statusDeviceType", 6},
        {"data/state/statusTimestamp", "2024-03-05T07:08:09Z"},
        {"data/state/cardType/hasStoredJourneys", false},
        {"data/storedJourneys/status", 12},
        {"data/storedJourneys/remainingJourneys", 0},
        {"data/periodPass/days", 31},
        {"data/usageLog/0/productType", 1},
        {"data/usageLog/0/productId", 301},
        {"data/usageLog/0/timestamp", "2024-03-05T07:08:09Z"},
        {"data/usageLog/0/vehicleId", "88"},
        {"data/usageLog/0/routeId", 14},
        {"data/usageLog/0/routeExecutionId", 99900},
        {"data/usageLog/0/fromStopId", 1410},
        {"data/usageLog/0/journeysBefore", 0},
        {"data/usageLog/0/journeysAfter", 0},
    };
    expected = applied(expected, changes);
    const QJsonObject written = card.toJson();
    // Unknown keys ("personalized", "serial", "balanceAfter", "checksum", the pass's
    // "issueTimestamp") all stay.
    QVERIFY2(written == expected, JsonPath::describeMismatch(written, expected).constData());
}

void tst_ZetoLucCard::valuesOfAnotherTypeStayUnlessChanged()
{
    const QJsonObject json = sample(QStringLiteral("luc-pass-only.json"));
    Card card(json);
    QCOMPARE(card.getPeriodPass()->getStatus(), 33u);
    QCOMPARE(card.getPeriodPass()->getDays(), 0u);                // "30", text
    QVERIFY(!card.getPeriodPass()->getActivationTimestamp().isValid()); // "not yet"
    QCOMPARE(card.getUsageLogEntry().getVehicleId(), QString());      // 77, a number

    card.getPeriodPass()->setStatus(PeriodPass::Active);
    QJsonObject written = card.toJson();
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/periodPass/status")), QJsonValue(15));
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/periodPass/days")), QJsonValue(QStringLiteral("30")));
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/periodPass/activationTimestamp")),
             QJsonValue(QStringLiteral("not yet")));
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/usageLog/vehicleId")), QJsonValue(77));

    card.getPeriodPass()->setDays(30);
    card.getPeriodPass()->setActivationTimestamp(utc(2024, 4, 1, 6));
    written = card.toJson();
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/periodPass/days")), QJsonValue(30));
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/periodPass/activationTimestamp")),
             QJsonValue(QStringLiteral("2024-04-01T06:00:00Z")));
}

void tst_ZetoLucCard::productSetOnUnflaggedSlotIsWritten()
{
    // "storedJourneys" is on the card but not flagged: not read, and left alone until the
    // model gives it values, which then replace every key the model knows.
    const QJsonObject json = sample(QStringLiteral("luc-pass-only.json"));
    Card card(json);
    QCOMPARE(card.getStoredJourneys()->getProductId(), 0u);
    QCOMPARE(card.toJson(), json);

    card.getStoredJourneys()->setStatus(StoredJourneys::Active);
    card.getStoredJourneys()->setRemainingJourneys(10);
    State state = card.getState();
    state.setCardType({true, true});
    card.setState(state);
    const QJsonObject written = card.toJson();
    const QJsonObject expected{{"productId", 0}, {"status", 15}, {"remainingJourneys", 10}};
    QCOMPARE(JsonPath::value(written, QStringLiteral("data/storedJourneys")).toObject(), expected);
    QCOMPARE(Card(written).getStoredJourneys()->getRemainingJourneys(), 10u);
}

void tst_ZetoLucCard::imageReadsBack()
{
    // The validation service keeps toJson to restore a card after an interrupted write.
    Card card(sample());
    card.getPeriodPass()->setStatus(PeriodPass::Expired);
    UsageLogEntry ride = card.getUsageLogEntry();
    ride.setJourneysBefore(6);
    ride.setJourneysAfter(5);
    card.setUsageLogEntry(ride);
    card.getStoredJourneys()->setRemainingJourneys(5);

    const QJsonObject image = card.toJson();
    Card restored(image);
    QCOMPARE(restored.toJson(), image);
    QCOMPARE(restored.getUid(), card.getUid());
    QCOMPARE(restored.getType(), card.getType());
    QCOMPARE(restored.getTemplate(), card.getTemplate());
    QCOMPARE(restored.getPeriodPass()->getStatus(), 12u);
    QCOMPARE(restored.getStoredJourneys()->getRemainingJourneys(), 5u);
    QCOMPARE(restored.getUsageLogEntry().getJourneysAfter(), 5u);
    QCOMPARE(restored.getUsageLogEntry().getTimestamp(), card.getUsageLogEntry().getTimestamp());
}

void tst_ZetoLucCard::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("expected");
    QTest::newRow("expired") << 12 << "EXPIRED";
    QTest::newRow("active") << 15 << "ACTIVE";
    QTest::newRow("preallocated") << 16 << "PREALLOCATED";
    QTest::newRow("blocked") << 19 << "BLOCKED";
    QTest::newRow("pending") << 33 << "PENDING";
    QTest::newRow("unallocated") << 0 << "UNKNOWN";
    QTest::newRow("negative") << -15 << "UNKNOWN";
}

void tst_ZetoLucCard::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, expected);
    QCOMPARE(PeriodPass::statusToString(status), expected);
    QCOMPARE(StoredJourneys::statusToString(status), expected);
}

QTEST_GUILESS_MAIN(tst_ZetoLucCard)
#include "tst_card.moc"
