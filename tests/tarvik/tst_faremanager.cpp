#include "tarvik/faremanager.h"

#include "managerfixture.h"

#include <atomic>

using namespace tarvik;

namespace {
const QString kTag = QStringLiteral("[tarvik::FareManager] ");

// The network and the catalogue's tables other than the products, from data/fares.json.
QJsonObject sample(const char *key)
{
    return ::sample(key, "fares.json");
}

// A fare catalogue built product by product. A product entry holds its own keys plus the
// ids it links: "baseFares", "passengerTypes", "methods", "channels", "materials".
class Catalogue
{
public:
    // The products of these cases of data/farecases.json.
    explicit Catalogue(const QStringList &cases) : mTables(sample("fares"))
    {
        for (const QString &name : cases) {
            for (const QJsonValue &product : ::sample("cases", "farecases.json").value(name).toObject().value("products").toArray())
                add(product.toObject());
        }
    }

    QByteArray toFile() const { return QJsonDocument(mTables).toJson(); }

private:
    void add(QJsonObject entry)
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
    }

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

} // namespace

class tst_FareManager : public QObject, ManagerFixture
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void cases_data();
    void cases();
    void validatorsReadConsistentSnapshots();

private:
    void startWith(const Catalogue &catalogue);

    std::unique_ptr<FareManager> mFares;
};

void tst_FareManager::init()
{
    QVERIFY(setUp());
    QVERIFY(mEnv->writeFile(QStringLiteral("routes.json"), QJsonDocument(sample("routes")).toJson()));
    mFares = std::make_unique<FareManager>(*mConnector, *mRoutes, QStringLiteral("SN-1"), mEnv->path());
}

void tst_FareManager::cleanup()
{
    mFares.reset();
    tearDown();
}

void tst_FareManager::startWith(const Catalogue &catalogue)
{
    QVERIFY(mEnv->writeFile(QStringLiteral("fares.json"), catalogue.toFile()));
    mRoutes->start(0);
    mFares->start(0);
}

// The cases of data/farecases.json: a catalogue and look-ups; the answers and every line logged from
// the start on are pinned in data/farecases.expected.json. ZUB_WRITE_GOLDEN=1 writes that file.
void tst_FareManager::cases_data()
{
    addCaseRows(::sample("cases", "farecases.json"));
}

void tst_FareManager::cases()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, testCase);
    startWith(Catalogue({name}));
    const auto zone = [this](const StopGroup2::Ptr &group) {
        // A zone of a fare is the route manager's own record.
        return !group ? QStringLiteral("-") : QString::number(group->id()) + (group == mRoutes->findStopGroup(group->id()) ? "" : "?");
    };
    QStringList answers;
    for (const QJsonValue &query : testCase.value("queries").toArray()) {
        const QStringList q = query.toString().split(' ');
        const QString verb = q.at(0);
        const int a = q.value(1).toInt(), b = q.value(2).toInt(), c = q.value(3).toInt();
        QString answer = "-";
        if (verb == "baseFare") {
            if (const BaseFare::Ptr fare = mFares->findBaseFare(a))
                answer = QStringLiteral("%1 %2-%3 %4").arg(fare->code(), zone(fare->stopGroupFrom()), zone(fare->stopGroupTo()),
                                                          joined(fare->cityZoneFareStopGroups(), zone));
        } else if (verb == "product" || verb == "productCode") {
            if (const FareProduct2::Ptr p = verb == "product" ? mFares->findFareProduct(a) : mFares->findFareProduct(q.value(1)))
                answer = QStringLiteral("%1 paper=%2 baseFares=%3 types=%4").arg(p->id()).arg(p->isPaperTicket())
                             .arg(ids(p->baseFares(), true)).arg(p->passengerTypes().size());
        } else if (verb == "passengerType" || verb == "passengerTypeCode") {
            if (const PassengerType::Ptr t = verb == "passengerType" ? mFares->findPassengerType(a) : mFares->findPassengerType(q.value(1)))
                answer = QStringLiteral("%1 %2").arg(t->id()).arg(t->code());
        } else if (verb == "paymentMethod") {
            answer = mFares->findPaymentMethod(a)->code();
        } else if (verb == "paymentChannel") {
            answer = mFares->findPaymentChannel(a)->code();
        } else if (verb == "ticketMaterial") {
            answer = mFares->findTicketMaterial(a)->code();
        } else if (verb == "joins") {
            answer = QStringLiteral("types=%1 baseFares=%2 methods=%3 channels=%4 materials=%5")
                         .arg(ids(mFares->findPassengerTypes(a), true), ids(mFares->findBaseFares(a), true),
                              ids(mFares->findPaymentMethods(a), true), ids(mFares->findPaymentChannels(a), true),
                              ids(mFares->findTicketMaterials(a), true));
        } else if (verb == "ruleZones") {
            answer = ids(mFares->findCappingRuleStopGroupIds(a), true);
        } else if (verb == "capping") {
            answer = ids(mFares->findCappingRules(a, q.value(2)));
        } else if (verb == "epurse") {
            if (const FareProduct2::Ptr found = mFares->findEpurseProduct(a, b, c))
                answer = QString::number(found->id());
        } else if (verb == "products") {
            answer = ids(mFares->findFareProducts(q.value(1), q.value(2)));
        } else if (verb == "productsFrom") {
            answer = ids(mFares->findFareProductsFrom(a, b, c));
        } else if (verb == "productsOfAxis") {
            answer = ids(mFares->findFareProducts(a));
        }
        answers << query.toString() + " => " + answer;
    }
    compareGolden(TEST_DATA_DIR "/farecases.expected.json", name, answers);
}

void tst_FareManager::validatorsReadConsistentSnapshots()
{
    startWith(Catalogue({"links-fares-to-route-zones", "epurse-shortest-validity"}));
    mLog.reset();
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false\ndefault.debug=false\ndefault.warning=false"));
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, failures{0};
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
            failures += ok ? 0 : 1;
            ++reads;
        }
    });
    validator->start();

    // Syncs on this thread: new records, deletions and re-linking of both managers, for as
    // long as it takes the validator to tap a few hundred times.
    QVERIFY(QTest::qWaitFor([&reads] { return reads.load() > 0; }, 10000));
    const QDeadlineTimer deadline(60000);
    const QDateTime date(QDate(2024, 3, 1), QTime(8, 0));
    int cycle = 0;
    for (; (cycle < 40 || reads.load() < 300) && !deadline.hasExpired(); ++cycle) {
        const int stopId = 1000 + cycle;
        emit mConnector->stopsReceived({Stop2::Ptr::create(QJsonObject{{"id", stopId}})});
        emit mConnector->stopGroupStopsReceived(
            {StopGroupStops::Ptr::create(QJsonObject{{"id", stopId}, {"stopGroupId", 20}, {"stopId", stopId}})});
        emit mConnector->entityDeleted(QStringLiteral("STOPS"), stopId - 1);
        emit mConnector->onRouteDataSyncEnd(date.addSecs(cycle));

        emit mConnector->fareProductsReceived({FareProduct2::Ptr::create(
            QJsonObject{{"id", 11}, {"code", "EP11"}, {"validityUnit", "minutes"}, {"validityDuration", 60 + cycle}})});
        emit mConnector->fareProductBaseFaresReceived({FareProductBaseFare::Ptr::create(
            QJsonObject{{"id", 5000 + cycle}, {"fareProductId", 31}, {"baseFareId", 5}})});
        emit mConnector->entityDeleted(QStringLiteral("FARE_PRODUCT_BASE_FARE"), 5000 + cycle - 1);
        emit mConnector->onFareDataSyncEnd(date.addSecs(cycle));
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
