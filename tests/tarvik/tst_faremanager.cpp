#include "tarvik/connector.h"
#include "tarvik/faremanager.h"
#include "tarvik/routemanager.h"

#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/testenv.h"

#include <QtTest>

#include <atomic>

using namespace tarvik;

namespace {
const QString kTag = QStringLiteral("[tarvik::FareManager] ");

QJsonArray intArray(const QList<int> &values)
{
    QJsonArray array;
    for (const int v : values)
        array.append(v);
    return array;
}

// The network and the catalogue's tables other than the products, from data/fares.json.
QJsonObject sample(const char *key)
{
    return JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/fares.json")).object().value(key).toObject();
}

// A fare catalogue built product by product. A product entry holds its own keys plus the
// ids it links: "baseFares", "passengerTypes", "methods", "channels", "materials".
class Catalogue
{
public:
    Catalogue() : mTables(sample("fares")) {}

    Catalogue &product(QJsonObject entry)
    {
        const int id = entry.value("id").toInt();
        link("FareProductBaseFares", "baseFareId", id, entry.take("baseFares"));
        link("FareProductPassengerTypes", "passengerTypeId", id, entry.take("passengerTypes"));
        link("FareProductPaymentMethods", "paymentMethodId", id, entry.take("methods"));
        link("FareProductPaymentChannels", "paymentChannelId", id, entry.take("channels"));
        link("FareProductTicketMaterials", "ticketMaterialId", id, entry.take("materials"));
        QJsonArray products = mTables.value("FareProducts").toArray();
        products.append(entry);
        mTables["FareProducts"] = products;
        return *this;
    }

    QByteArray toFile() const { return QJsonDocument(mTables).toJson(); }
    QJsonObject tables() const { return mTables; }

private:
    void link(const QString &table, const QString &key, int productId, const QJsonValue &ids)
    {
        QJsonArray rows = mTables.value(table).toArray();
        for (const QJsonValue &id : ids.toArray())
            rows.append(QJsonObject{{"id", mNextRowId++}, {"fareProductId", productId}, {key, id}});
        mTables[table] = rows;
    }

    QJsonObject mTables;
    int mNextRowId = 1;
};

QJsonObject epurse(int id, const QString &unit, int duration, const QList<int> &baseFares)
{
    return {{"id", id}, {"code", QStringLiteral("EP%1").arg(id)}, {"validityUnit", unit},
            {"validityDuration", duration}, {"baseFares", intArray(baseFares)}, {"passengerTypes", intArray({1})},
            {"methods", intArray({1})}};
}

QJsonObject paperTicket(int id, const QList<int> &baseFares, int channel = 1)
{
    return {{"id", id}, {"code", QStringLiteral("PAPER%1").arg(id)},
            {"multiLanguageFieldsMap", QJsonObject{{"name", QJsonObject{{"en", QStringLiteral("Ticket %1").arg(id)}}}}},
            {"baseFares", intArray(baseFares)}, {"materials", intArray({1})}, {"channels", intArray({channel})}};
}

template <typename List>
QList<int> ids(const List &records)
{
    QList<int> out;
    for (const auto &record : records)
        out << record->id();
    return out;
}
} // namespace

class tst_FareManager : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void linksFaresToRouteZones();
    void lookUpsByIdAndCode();
    void cappingRules_data();
    void cappingRules();
    void epurseProduct_data();
    void epurseProduct();
    void paperTicketsOfAxis();
    void validatorsReadConsistentSnapshots();

private:
    void startWith(const Catalogue &catalogue);

    std::unique_ptr<TestEnv> mEnv;
    std::unique_ptr<Connector> mConnector;
    std::unique_ptr<RouteManager> mRoutes;
    std::unique_ptr<FareManager> mFares;
    std::unique_ptr<LogCapture> mLog;
};

void tst_FareManager::init()
{
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->isValid());
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), QJsonDocument(sample("routes")).toJson()));
    mConnector = std::make_unique<Connector>();
    mRoutes = std::make_unique<RouteManager>(*mConnector, QStringLiteral("SN-1"), mEnv->path());
    mFares = std::make_unique<FareManager>(*mConnector, *mRoutes, QStringLiteral("SN-1"), mEnv->path());
    mLog = std::make_unique<LogCapture>();
}

void tst_FareManager::cleanup()
{
    if (QTest::currentTestFailed() && mLog)
        qWarning().noquote() << "Log of the failed test:\n" << mLog->texts().join('\n');
    mLog.reset();
    mFares.reset();
    mRoutes.reset();
    mConnector.reset();
    mEnv.reset();
}

void tst_FareManager::startWith(const Catalogue &catalogue)
{
    QVERIFY(mEnv->writeFile(QStringLiteral("fares.json"), catalogue.toFile()));
    mRoutes->start(0);
    mFares->start(0);
}

void tst_FareManager::linksFaresToRouteZones()
{
    startWith(Catalogue().product(paperTicket(31, {2, 3, 999})));
    const FareSnapshot::ConstPtr fares = mFares->snapshot();
    const BaseFare::Ptr zoneFare = fares->findBaseFare(2);
    QCOMPARE(zoneFare->stopGroupFrom(), mRoutes->findStopGroup(10));
    QCOMPARE(zoneFare->stopGroupTo(), mRoutes->findStopGroup(20));
    QCOMPARE(ids(fares->findBaseFare(3)->cityZoneFareStopGroups()), (QList<int>{10, 30}));
    QVERIFY(!fares->findBaseFare(4)->stopGroupTo());

    QVERIFY(mLog->contains(kTag
                           + QStringLiteral("WARN: Could not find 'from' stopGroup 88 referenced by baseFare : BF7 ")));
    QVERIFY(!mLog->containsPart(QStringLiteral("stopGroup 0 ")));

    const FareProduct2::Ptr product = mFares->findFareProduct(31);
    QList<int> linked = ids(product->baseFares());
    std::sort(linked.begin(), linked.end());
    QCOMPARE(linked, (QList<int>{2, 3}));
    QVERIFY(product->baseFares().contains(zoneFare));
    QVERIFY(product->isPaperTicket());
    QCOMPARE(ids(mFares->findCappingRules(20, "*")), (QList<int>{2, 5}));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Fare data associated in : ")));
    QVERIFY(mLog->contains(kTag + QStringLiteral("--- FARE DATA SUMMARY -----------------------")));
    QVERIFY(mLog->contains(kTag + QStringLiteral(" Fare Products               : 1")));
}

void tst_FareManager::lookUpsByIdAndCode()
{
    Catalogue catalogue;
    catalogue.product({{"id", 22}, {"code", "DAILY"}})
        .product({{"id", 21}, {"code", "DAILY"}})
        .product({{"id", 23}, {"code", "daily"}})
        .product({{"id", 41}, {"passengerTypes", intArray({1, 2, 1, 77})}, {"baseFares", intArray({999})},
                  {"methods", intArray({2})}, {"channels", intArray({1, 2})}});
    startWith(catalogue);

    QCOMPARE(mFares->findFareProduct(QStringLiteral("DAILY"))->id(), 21);
    QCOMPARE(mFares->findFareProduct(QStringLiteral("daily"))->id(), 23);
    QVERIFY(!mFares->findFareProduct(QStringLiteral("DAIL")));
    QVERIFY(!mFares->findFareProduct(99));
    QCOMPARE(mFares->findFareProduct(22), mFares->findFareProduct(22));
    QCOMPARE(mFares->findPassengerType(QStringLiteral("PT_ADULT"))->id(), 1);
    QVERIFY(!mFares->findPassengerType(QStringLiteral("pt_adult")));
    QCOMPARE(mFares->findPassengerType(2)->code(), QStringLiteral("PT_CHILD"));
    QCOMPARE(mFares->findPaymentMethod(2)->code(), QStringLiteral("PM_CASH"));
    QCOMPARE(mFares->findPaymentChannel(2)->code(), QStringLiteral("PC_WEB"));
    QCOMPARE(mFares->findTicketMaterial(1)->code(), QStringLiteral("TM_PAPER_TICKET"));
    QVERIFY(!mFares->findBaseFare(0));

    QList<int> types = ids(mFares->findPassengerTypes(41));
    std::sort(types.begin(), types.end());
    QCOMPARE(types, (QList<int>{1, 1, 2}));
    QVERIFY(mFares->findBaseFares(41).isEmpty());
    QCOMPARE(ids(mFares->findPaymentMethods(41)), QList<int>{2});
    QCOMPARE(mFares->findPaymentChannels(41).size(), 2);
    QVERIFY(mFares->findTicketMaterials(41).isEmpty());
    QVERIFY(mFares->findPassengerTypes(42).isEmpty());
    QCOMPARE(mFares->findFareProduct(41)->passengerTypes().size(), 3);

    QList<int> zones = mFares->findCappingRuleStopGroupIds(2);
    std::sort(zones.begin(), zones.end());
    QCOMPARE(zones, (QList<int>{10, 20}));
    QVERIFY(mFares->findCappingRuleStopGroupIds(6).isEmpty());
}

void tst_FareManager::cappingRules_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<QString>("productType");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("any-type-empty") << 10 << "" << QList<int>{2, 3, 1};
    QTest::newRow("any-type-star") << 10 << "*" << QList<int>{2, 3, 1};
    QTest::newRow("one-type") << 10 << "E_PURSE" << QList<int>{2, 1};
    QTest::newRow("type-case-sensitive") << 10 << "e_purse" << QList<int>();
    QTest::newRow("active-when-absent") << 20 << "E_PURSE" << QList<int>{2, 5};
    QTest::newRow("unknown-zone") << 99 << "*" << QList<int>();
}

void tst_FareManager::cappingRules()
{
    QFETCH(int, zone);
    QFETCH(QString, productType);
    QFETCH(QList<int>, expected);
    startWith(Catalogue());
    QCOMPARE(ids(mFares->findCappingRules(zone, productType)), expected);
}

void tst_FareManager::epurseProduct_data()
{
    QTest::addColumn<QJsonArray>("products");
    QTest::addColumn<int>("axis");
    QTest::addColumn<int>("zone");
    QTest::addColumn<int>("expected"); // 0: none

    QJsonObject otherMethod = epurse(11, "minutes", 60, {4});
    otherMethod["methods"] = intArray({2});
    QJsonObject otherType = epurse(11, "minutes", 60, {4});
    otherType["passengerTypes"] = intArray({2, 3});

    QTest::newRow("shortest-validity") << QJsonArray{epurse(11, "minutes", 60, {4}), epurse(12, "minutes", 30, {4})}
                                       << 100 << 10 << 12;
    QTest::newRow("equal-validity-lower-id")
        << QJsonArray{epurse(12, "minutes", 30, {4}), epurse(11, "minutes", 30, {4})}
                                             << 100 << 10 << 11;
    QTest::newRow("unit-upper-case") << QJsonArray{epurse(11, "MINUTES", 60, {4})} << 100 << 10 << 11;
    QTest::newRow("unit-days") << QJsonArray{epurse(11, "DAYS", 1, {4})} << 100 << 10 << 0;
    QTest::newRow("not-e-purse") << QJsonArray{otherMethod} << 100 << 10 << 0;
    QTest::newRow("other-passenger-type") << QJsonArray{otherType} << 100 << 10 << 0;
    QTest::newRow("axis-fare") << QJsonArray{epurse(11, "minutes", 60, {1})} << 100 << 20 << 11;
    QTest::newRow("city-zone") << QJsonArray{epurse(11, "minutes", 60, {3})} << 100 << 30 << 11;
    QTest::newRow("zone-fare-needs-to-zero") << QJsonArray{epurse(11, "minutes", 60, {2})} << 100 << 10 << 0;
    QTest::newRow("axis-products-only") << QJsonArray{epurse(11, "minutes", 10, {3}), epurse(12, "minutes", 60, {6})}
                                        << 300 << 10 << 12;
    QTest::newRow("axis-products-only-none") << QJsonArray{epurse(11, "minutes", 10, {3, 4})} << 300 << 10 << 0;
    QTest::newRow("axis-fare-of-other-axis") << QJsonArray{epurse(11, "minutes", 60, {6})} << 100 << 10 << 0;
}

void tst_FareManager::epurseProduct()
{
    QFETCH(QJsonArray, products);
    QFETCH(int, axis);
    QFETCH(int, zone);
    QFETCH(int, expected);
    Catalogue catalogue;
    for (const QJsonValue &product : products)
        catalogue.product(product.toObject());
    startWith(catalogue);
    mLog->clear();

    const FareProduct2::Ptr found = mFares->findEpurseProduct(axis, zone, 1);

    QCOMPARE(found ? found->id() : 0, expected);
    QVERIFY(mLog->contains(
        kTag + QStringLiteral("Searching for E-Purse products : axixId=%1, zoneId=%2").arg(axis).arg(zone)));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Found : ")));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Operation completed in : ")));
}

void tst_FareManager::paperTicketsOfAxis()
{
    Catalogue catalogue;
    catalogue.product(paperTicket(31, {2}))
        .product(paperTicket(32, {1}))
        .product(paperTicket(33, {5}))
        .product(paperTicket(34, {2}, 2))
        .product(paperTicket(35, {7}));
    startWith(catalogue);

    QCOMPARE(ids(mFares->findFareProducts(QStringLiteral("TM_PAPER_TICKET"), QStringLiteral("PC_DRIVER"))),
             (QList<int>{31, 32, 33, 35}));
    QCOMPARE(ids(mFares->findFareProductsFrom(100, 10, 20)), (QList<int>{31, 32}));
    QCOMPARE(ids(mFares->findFareProductsFrom(100, 20, 20)), (QList<int>{32, 33}));
    mLog->clear();

    QCOMPARE(ids(mFares->findFareProducts(100)), (QList<int>{31, 32, 33}));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Finding Fare Products for Axis : \n")));
    QCOMPARE(mLog->entries().count() > 0, true);
    int pairs = 0;
    for (const QString &line : mLog->texts())
        pairs += line.startsWith(kTag + QStringLiteral("Searching Fare Products for : ")) ? 1 : 0;
    QCOMPARE(pairs, 6);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Fare Product list : 3 product(s)")));
    // Once per pair it is valid for (six for the axis fare), then once in the list.
    QCOMPARE(mLog->count(kTag + QStringLiteral("  - [32] Ticket 32")), 7);
    QCOMPARE(mLog->count(kTag + QStringLiteral("  - [31] Ticket 31")), 2);
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("Operation completed in ")));
}

void tst_FareManager::validatorsReadConsistentSnapshots()
{
    Catalogue catalogue;
    catalogue.product(epurse(11, "minutes", 60, {4, 1})).product(paperTicket(31, {2}));
    startWith(catalogue);
    mLog.reset();
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false\ndefault.debug=false\n"
                                                    "default.warning=false"));

    std::atomic<bool> done{false};
    std::atomic<int> reads{0};
    std::atomic<int> failures{0};
    QThread *validator = QThread::create([&] {
        while (!done.load()) {
            // One tap: one snapshot of each, read all through.
            const FareSnapshot::ConstPtr fares = mFares->snapshot();
            const RouteSnapshot::ConstPtr routes = fares->route();
            const FareProduct2::Ptr epurse = fares->findEpurseProduct(100, 10, 1);
            const FareProduct2::Ptr paper = fares->findFareProduct(31);
            const Stop2::Ptr stop = routes->findStop(1);
            bool ok = epurse && paper && stop && stop->stopGroup() && stop->stopGroup()->id() == 10;
            const BaseFare::Ptr zoneFare = fares->findBaseFare(2);
            ok = ok && zoneFare && paper->baseFares().contains(zoneFare) && zoneFare->stopGroupFrom()
                && zoneFare->stopGroupFrom() == routes->findStopGroup(10);
            ok = ok && fares->findCappingRules(10, QStringLiteral("*")).size() == 3;
            ok = ok && fares->findPassengerType(QStringLiteral("PT_ADULT")) && epurse->findPassengerType(1);
            ok = ok && !mRoutes->findAxisStopsInAxis(100).isEmpty() && !mFares->findFareProducts(100).isEmpty();
            if (!ok)
                ++failures;
            ++reads;
        }
    });
    validator->start();

    // Syncs on this thread: new records, deletions and re-linking of both managers, for as
    // long as it takes the validator to tap a few hundred times.
    QVERIFY(QTest::qWaitFor([&reads] { return reads.load() > 0; }, 10000));
    QElapsedTimer deadline;
    deadline.start();
    int cycle = 0;
    for (; (cycle < 40 || reads.load() < 300) && deadline.elapsed() < 60000; ++cycle) {
        const int stopId = 1000 + cycle;
        emit mConnector->stopsReceived({Stop2::Ptr::create(QJsonObject{{"id", stopId}})});
        emit mConnector->stopGroupStopsReceived(
            {StopGroupStops::Ptr::create(QJsonObject{{"id", stopId}, {"stopGroupId", 20}, {"stopId", stopId}})});
        emit mConnector->entityDeleted(QStringLiteral("STOPS"), stopId - 1);
        emit mConnector->onRouteDataSyncEnd(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).addSecs(cycle));

        QJsonObject product = epurse(11, "minutes", 60 + cycle, {4, 1});
        product.remove("baseFares");
        emit mConnector->fareProductsReceived({FareProduct2::Ptr::create(product)});
        emit mConnector->fareProductBaseFaresReceived({FareProductBaseFare::Ptr::create(
            QJsonObject{{"id", 5000 + cycle}, {"fareProductId", 31}, {"baseFareId", 5}})});
        emit mConnector->entityDeleted(QStringLiteral("FARE_PRODUCT_BASE_FARE"), 5000 + cycle - 1);
        emit mConnector->onFareDataSyncEnd(QDateTime(QDate(2024, 3, 1), QTime(8, 0)).addSecs(cycle));
        QCoreApplication::processEvents();
    }
    done = true;
    QVERIFY(validator->wait(30000));
    delete validator;
    QLoggingCategory::setFilterRules(QString());

    QCOMPARE(failures.load(), 0);
    QVERIFY2(reads.load() >= 300, qPrintable(QStringLiteral("%1 reads in %2 syncs").arg(reads.load()).arg(cycle)));
    QCOMPARE(mFares->findFareProduct(11)->validityDuration(), 60 + cycle - 1);
}

QTEST_GUILESS_MAIN(tst_FareManager)
#include "tst_faremanager.moc"
