#include "validator/validator_p.h"

#include "db/dbmanager.h"
#include "framework/configuration.h"

#include "support/harness.h"
#include "support/logcapture.h"

#include <QJsonArray>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

const QDateTime kNow(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);

QVariantMap remoteTicket(const QString &id, const QString &validationTime)
{
    return {{"ticketId", id}, {"validationTime", validationTime}, {"deviceId", "D9"},
            {"routeExecutionId", 77}, {"routeId", 88}, {"stopId", 21}};
}

QString localText(qint64 offset) { return kNow.addSecs(offset).toLocalTime().toString("yyyy-MM-dd hh:mm:ss"); }

} // namespace

// The worker's data shared between the caller's thread (the facade's calls) and the validation
// thread, played here by a thread that calls the worker's slots directly; no broker. The route
// of tests/qr/data/route.json: carrier 7, axis 6, stop 21 in zone 2 where product 5 is active,
// stop 31 in zone 3 where it is not.
class tst_ValidatorPrivate : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup() { mWorker.reset(); }
    void routeProgressWhileScanning();
    void cleanTimerAgainstInserts();

private:
    TestEnv mEnv;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<manager::MqttClient> mClient; // never connected: no scanner, reader or database service
    std::unique_ptr<DBManager> mDb;
    std::shared_ptr<tarvik::Route> mRoute;
    std::unique_ptr<ValidatorPrivate> mWorker;
};

void tst_ValidatorPrivate::initTestCase()
{
    QVERIFY2(Harness::zoneKnown(), "no time-zone data for America/New_York");
    // Without the pass-back look-up a scan never waits for the database service.
    QVERIFY(Harness::useSettings(mEnv, "[validator]\nqr_passback=false\ndb_keep_minutes=1\n"));
    mLog = std::make_unique<LogCapture>();
    mClient = std::make_unique<manager::MqttClient>();
    mDb = std::make_unique<DBManager>(mClient.get());
    QVERIFY(mRoute = Harness::loadRoute(TEST_DATA_DIR "/route.json"));
}

void tst_ValidatorPrivate::init()
{
    mLog->clear();
    mWorker = std::make_unique<ValidatorPrivate>(mClient.get(), *mDb, nullptr);
    mWorker->initDb();
    mWorker->setClock([] { return kNow; });
    mWorker->routeStarted(*mRoute);
}

// The route moves, ends and restarts on this thread while scans are validated on the other;
// each verdict agrees with the one route it was taken against, and every scan has one.
void tst_ValidatorPrivate::routeProgressWhileScanning()
{
    constexpr int kScans = 200;
    QList<ValidatorResult> results; // filled on the other thread, read after its join
    connect(mWorker.get(), &ValidatorPrivate::scannedTicket, [&](const ValidatorResult &result) { results << result; });
    std::atomic<int> baskets{0};
    // In step: scan i starts once route change i is made and runs along with change i + 1.
    std::atomic<int> moves{0};
    std::atomic<int> scans{0};
    // A standard thread: its join is a hand-off the sanitizer sees, unlike QThread::wait.
    std::thread validation([&] {
        for (int i = 0; i < kScans; ++i) {
            while (moves <= i)
                std::this_thread::yield();
            const QString text = QStringLiteral("6|1234|A1|R1|2|3|%1|%2|0|0|false|PASSENGER|0|5|1|0|%3|3600|7")
                                     .arg(kNow.toSecsSinceEpoch() - 3600).arg(1000 + i).arg(kNow.toSecsSinceEpoch() - 600);
            QMetaObject::invokeMethod(mWorker.get(), "onTicketScanned", Qt::DirectConnection, Q_ARG(QString, text));
            baskets += mWorker->basketSnapshot() ? 1 : 0;
            ++scans;
        }
    });
    for (int move = 0; move <= kScans; ++move) {
        while (scans < move - 1)
            std::this_thread::yield();
        // Three steps: no rhythm of the two threads keeps seeing the same one.
        switch (move % 3) {
        case 0: mWorker->routeProgress(tarvik::RouteProgress(6, 31)); break;
        case 1: mWorker->routeEnded(); break;
        default: mWorker->routeStarted(*mRoute); break;
        }
        mWorker->setBasket(move % 2 ? std::make_shared<Basket>() : nullptr);
        ++moves;
    }
    validation.join();

    QCOMPARE(results.size(), kScans);
    QSet<int> outcomes;
    for (const ValidatorResult &result : results) {
        const int stop = result.getRouteInfo().stopId;
        const int expected = stop == 21 ? 0 : stop == 31 ? 102 : 100;
        QCOMPARE(int(result.getDenyReason()), expected);
        outcomes << expected;
    }
    QVERIFY2(outcomes.size() > 1, "the route never changed during the scans");
    QCOMPARE(baskets.load(), kScans); // a null basket reads as an empty one
    QCOMPARE(mRoute->getCurrentStop().getId(), 21); // the caller's route is never moved
}

// Inserts on this thread while the clean timer's work runs on the other; the cut-off is the
// pinned "now" less one minute, whatever the zone the remote device wrote its local time in.
void tst_ValidatorPrivate::cleanTimerAgainstInserts()
{
    for (const int age : {61, 60, 59})
        mWorker->remotelyValidatedTicket(remoteTicket(QStringLiteral("R-%1").arg(age), localText(-age)));
    mWorker->remotelyValidatedTicket(remoteTicket("R-garbled", "10/03/2026 12:00"));
    QVERIFY(mLog->contains("[validator] WARN: Remotely validated ticket R-garbled has an unreadable validationTime "
                           "'10/03/2026 12:00', stored with the time of receipt"));
    constexpr int kRounds = 20;
    std::thread validation([&] {
        for (int i = 0; i < kRounds; ++i)
            QMetaObject::invokeMethod(mWorker.get(), "onCleanTimer", Qt::DirectConnection);
    });
    for (int i = 0; i < kRounds; ++i)
        mWorker->remotelyValidatedTicket(remoteTicket(QStringLiteral("R-fresh-%1").arg(i), localText(0)));
    validation.join();
    const QString cleaned = QStringLiteral("[validator] Cleaned %1 tickets older than 2026-03-10T11:59:00Z");
    QCOMPARE(mLog->count(cleaned.arg(2)), 1);
    QCOMPARE(mLog->count(cleaned.arg(0)), kRounds - 1);

    mLog->clear();
    for (const char *id : {"R-61", "R-60", "R-59", "R-garbled", "R-fresh-19"})
        mWorker->remotelyValidatedTicket(remoteTicket(id, localText(0)));
    const QString stored = QStringLiteral("[validator] Storing remotely validated ticket with uid: ");
    QCOMPARE(mLog->texts().filter(stored), (QStringList{stored + "R-61", stored + "R-60"}));
    QVERIFY(mLog->contains("[validator] Ignoring remotely validated ticket R-fresh-19, already stored..."));

    mWorker->routeEnded();
    mWorker->remotelyValidatedTicket(remoteTicket("R-none", localText(0)));
    QVERIFY(mLog->contains("[validator] Remotely validated ticket received while not on route. Ignoring..."));
}

QTEST_GUILESS_MAIN(tst_ValidatorPrivate)
#include "tst_validatorprivate.moc"
