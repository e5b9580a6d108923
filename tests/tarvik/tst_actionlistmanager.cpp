#include "tarvik/actionlistmanager.h"

#include "tarvik/actionrecordlist.h"

#include "managerfixture.h"

#include "support/httptestserver.h"

using tarvik::Action;
using tarvik::ActionListManager;
using tarvik::ActionRecord;
using tarvik::Connector;
using Response = HttpTestServer::Response;

namespace {

const QString kCompletePath = QStringLiteral("/web/abt/client/action/complete");
const QString kTag = QStringLiteral("[tarvik::ActionListManager] ");
const QString kRefused = kTag + QStringLiteral("ERROR: Could not store Action Record, retrying at next check");
const QDateTime kNow(QDate(2025, 3, 10), QTime(9, 30, 15));
const int kWaitMs = 15000;

// "5U 7C" is id 5 UNASSIGNED, id 7 COMPLETED; card "A" and token "t" unless given as "5U:B" (card B)
// or "5U/x" (token x). The counter equals the id.
Action::List actions(const QString &text)
{
    static const QRegularExpression item(QStringLiteral("^(\\d+)([UCR])(?::(\\w+))?(?:/(\\w+))?$"));
    const QMap<QString, QString> words{{"U", "UNASSIGNED"}, {"C", "COMPLETED"}, {"R", "REPLACED"}};
    Action::List list;
    for (const QString &text : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = item.match(text);
        Q_ASSERT(m.hasMatch());
        const int id = m.captured(1).toInt();
        list.append(Action::fromJson({{"id", id}, {"counter", id}, {"status", words.value(m.captured(2))},
                                      {"smartCardUuid", m.captured(3).isEmpty() ? QStringLiteral("A") : m.captured(3)},
                                      {"accountToken", m.captured(4).isEmpty() ? QStringLiteral("t") : m.captured(4)},
                                      {"actionDate", "01/03/2025 10:00:00"}}));
    }
    return list;
}

QJsonObject body(const HttpTestServer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

} // namespace

class tst_ActionListManager : public QObject, TarvikFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void loadsFileAndSyncsAtStart();
    void processesList_data();
    void processesList();
    void retriesFailedReportAtScheduleEdges_data();
    void retriesFailedReportAtScheduleEdges();
    void sendsLastDueFirstAndNextAtOnce();
    void answersEachRecordWithItsOwnAnswer();
    void dropsLateAnswerAfterWatchdog();
    void keepsRecordTheStoreRefused();
    void survivesUnwritableStorage();

private:
    void create(bool withUrl = true);
    QVariant column(const QString &sql) const { return mDirect->value(sql); }

    HttpTestServer mServer;
    std::unique_ptr<Connector> mConnector;
    std::unique_ptr<ActionListManager> mManager;
    std::unique_ptr<DirectDb> mDirect;
    int mBaseline = 0;
};

void tst_ActionListManager::initTestCase()
{
    QVERIFY(mServer.start());
    mBaseline = QSqlDatabase::connectionNames().size();
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(kNow.offsetFromUtc(), -4 * 3600);
}

void tst_ActionListManager::init()
{
    QVERIFY(setUpFolder());
    mServer.clearRequests();
    mServer.clearResponses();
    mServer.setResponse(QStringLiteral("/web/abt/client/action"), Response::json(200, "[]"));
}

void tst_ActionListManager::create(bool withUrl)
{
    mConnector = std::make_unique<Connector>(withUrl ? mServer.baseUrl() : QUrl());
    mConnector->setStoragePath(mEnv->path());
    mManager = std::make_unique<ActionListManager>(*mConnector, QStringLiteral("SN-1"), mEnv->path());
    mManager->setClock([] { return kNow; });
    mDirect = std::make_unique<DirectDb>(mEnv->filePath(ActionListManager::RecordsFileName));
    QVERIFY2(mDirect->error.isEmpty(), qPrintable(mDirect->error));
    mLog->clear();
}

void tst_ActionListManager::cleanup()
{
    mDirect.reset();
    mManager.reset();
    mConnector.reset();
    tearDownFolder();
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline);
}

void tst_ActionListManager::loadsFileAndSyncsAtStart()
{
    QJsonArray onFile;
    for (const auto &action : actions(QStringLiteral("3U 4U:B 9R")))
        onFile.append(action->toJson());
    QVERIFY(mEnv->writeFile(ActionListManager::FileName, QJsonDocument(onFile).toJson()));
    create();
    QSignalSpy synced(mManager.get(), &ActionListManager::syncStarted);
    mManager->start(10);
    QCOMPARE(ids(mManager->actions()), QStringLiteral("[3,4,9]"));
    QCOMPARE(mManager->lastActionId(), 9);
    QCOMPARE(synced.count(), 1);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Syncing Action List with Tarvik : actionId=9")));
    QTRY_COMPARE_WITH_TIMEOUT(mServer.requestCount(), 1, kWaitMs);
    QCOMPARE(mServer.lastRequest().method, QByteArray("GET"));
    QCOMPARE(mServer.lastRequest().query(), QStringLiteral("actionId=9"));
}

// The cases of data/actionlists.json: what is kept of each list, the pending actions asked and
// every line logged on the way are pinned in data/actionlists.expected.json.
void tst_ActionListManager::processesList_data()
{
    addCaseRows(sample("cases", "actionlists.json"));
}

void tst_ActionListManager::processesList()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, testCase);
    create();
    QSignalSpy changed(mManager.get(), &ActionListManager::dataChanged);
    mManager->processNewList(actions(testCase.value("list").toString()));
    QCOMPARE(changed.count(), 1);
    QStringList pending;
    for (const QJsonValue &query : testCase.value("pending").toArray()) {
        const QStringList q = query.toString().split(' ');
        pending << query.toString() + " => " + ids(mManager->actionsByUid(q.at(0), q.at(1).toInt()));
    }
    QStringList lines; // the file is saved later, on another thread
    for (const QString &line : mLog->texts().filter(QRegularExpression("^(?!.*Sav)")))
        lines << QString(line).replace(QRegularExpression("\\d+ msec"), "N msec");
    const QByteArray diff = GoldenFile::mismatch(TEST_DATA_DIR "/actionlists.expected.json", name,
                                                 QJsonObject{{"kept", ids(mManager->actions())},
                                                             {"pending", QJsonArray::fromStringList(pending)},
                                                             {"log", QJsonArray::fromStringList(lines)}});
    QVERIFY2(diff.isEmpty(), diff.constData());
}

void tst_ActionListManager::retriesFailedReportAtScheduleEdges_data()
{
    QTest::addColumn<int>("attempt"); // the transmission that fails
    QTest::addColumn<QString>("schedule");
    const auto at = [](int s) { return kNow.addSecs(s).toString(tarvik::ActionRecordList::DateFormat); };
    QTest::newRow("1") << 1 << at(60);
    QTest::newRow("3") << 3 << at(60);
    QTest::newRow("4") << 4 << at(900);
    QTest::newRow("6") << 6 << at(900);
    QTest::newRow("7") << 7 << at(3600);
    QTest::newRow("9") << 9 << at(3600);
    QTest::newRow("10") << 10 << at(21600);
    QTest::newRow("15") << 15 << at(21600);
    QTest::newRow("16") << 16 << tarvik::ActionRecordList::GivenUp;
}

void tst_ActionListManager::retriesFailedReportAtScheduleEdges()
{
    QFETCH(int, attempt);
    mServer.setResponse(kCompletePath, Response::json(503, R"({"code":"BUSY","message":"later"})"));
    create();
    QVERIFY(mManager->records().add(actionRecord(QStringLiteral("t"), 1)));
    QSqlQuery earlier(mDirect->db());
    QVERIFY(earlier.exec(QStringLiteral("UPDATE ActionRecords SET sendStatus = 503, sendAttempts = %1, sendSchedDate = '%2'")
                             .arg(attempt - 1).arg(kNow.addSecs(-1).toString(tarvik::ActionRecordList::DateFormat))));
    mLog->clear();
    mManager->checkUnsent();
    QTRY_COMPARE_WITH_TIMEOUT(column(QStringLiteral("SELECT sendAttempts FROM ActionRecords")).toInt(), attempt, kWaitMs);
    QTEST(column(QStringLiteral("SELECT sendSchedDate FROM ActionRecords")).toString(), "schedule");
    QCOMPARE(column(QStringLiteral("SELECT sendCode || '/' || sendMessage FROM ActionRecords")).toString(),
             QStringLiteral("BUSY/later"));
    QVERIFY(mLog->contains(kTag + QStringLiteral("ERROR: Result is : status=503, code=BUSY, message=later")));
    // The report's block shows the attempts made before it; the failure counts it.
    QVERIFY(mLog->contains(kTag + QStringLiteral("Send Attempts      : %1").arg(attempt - 1)));
    QVERIFY(mLog->containsPart(QStringLiteral("(attempt=%1)").arg(attempt)));
    QCOMPARE(mManager->records().failed().size(), attempt >= 16 ? 1 : 0);
    QCOMPARE(mManager->records().dueForSend().size(), 0);
}

void tst_ActionListManager::sendsLastDueFirstAndNextAtOnce()
{
    mServer.setResponse(kCompletePath, Response::json(200, R"({"code":"OK","message":"done"})"));
    create();
    QVERIFY(mManager->records().add(actionRecord(QStringLiteral("first"), 1)));
    QVERIFY(mManager->records().add(actionRecord(QStringLiteral("second"), 2)));
    mManager->setActionComplete(actionRecord(QStringLiteral("third"), 3));
    QTRY_COMPARE_WITH_TIMEOUT(mManager->records().successfull().size(), 3, kWaitMs);
    QStringList order;
    for (const auto &request : mServer.requests())
        order << body(request).value(QLatin1String("accountToken")).toString();
    QCOMPARE(order, QStringList({"third", "second", "first"}));
    QTRY_VERIFY(!mManager->isReportInFlight());
}

void tst_ActionListManager::answersEachRecordWithItsOwnAnswer()
{
    // Each answer names its request, so a record stored with another's answer shows.
    mServer.setResponder(kCompletePath, [](const HttpTestServer::Request &request) {
        const QJsonObject sent = body(request);
        const QJsonObject answer{{"code", sent.value("accountToken")}, {"message", QString::number(sent.value("counter").toInt())}};
        return Response::json(500, QJsonDocument(answer).toJson(QJsonDocument::Compact));
    });
    create();
    const int count = 12;
    std::unique_ptr<QThread> validation(QThread::create([&] {
        for (int i = 1; i <= count; ++i)
            mManager->setActionComplete(actionRecord(QStringLiteral("tok-%1").arg(i), i));
    }));
    validation->start();
    QTRY_VERIFY_WITH_TIMEOUT(validation->isFinished(), kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(column(QStringLiteral("SELECT COUNT(*) FROM ActionRecords WHERE sendStatus = 500")).toInt(),
                              count, 4 * kWaitMs);
    QCOMPARE(column(QStringLiteral("SELECT COUNT(*) FROM ActionRecords WHERE sendCode = accountToken AND "
                                   "sendMessage = CAST(counter AS TEXT) AND sendAttempts = 1")).toInt(), count);
    QSet<QString> sent;
    for (const auto &request : mServer.requests())
        sent << body(request).value(QLatin1String("accountToken")).toString();
    QCOMPARE(mServer.requestCount(), count);
    QCOMPARE(sent.size(), count);
    QVERIFY(!mLog->containsPart(QStringLiteral("there is no pending record")));
    QTRY_VERIFY(!mManager->isReportInFlight());
    // The validation thread's connection went with it.
    QTRY_COMPARE(QSqlDatabase::connectionNames().size(), mBaseline + 2);
}

void tst_ActionListManager::dropsLateAnswerAfterWatchdog()
{
    create(false);
    mManager->setWatchdogInterval(50);
    mManager->setActionComplete(actionRecord(QStringLiteral("first"), 1));
    QTRY_COMPARE_WITH_TIMEOUT(column(QStringLiteral("SELECT sendCode FROM ActionRecords")).toString(),
                              QStringLiteral("TIMEOUT"), kWaitMs);
    mLog->clear();
    emit mConnector->actionCompleteResponseReceived(200, QString(), QString());
    QVERIFY(mLog->contains(kTag + QStringLiteral("WARN: Action complete response received, but there is no pending record")));
    QCOMPARE(mManager->records().successfull().size(), 0);
    QVERIFY(!mManager->isReportInFlight());
}

void tst_ActionListManager::keepsRecordTheStoreRefused()
{
    mServer.setResponse(kCompletePath, Response::json(200, R"({"code":"OK","message":"done"})"));
    create();
    QSqlQuery hide(mDirect->db());
    QVERIFY2(hide.exec(QStringLiteral("ALTER TABLE ActionRecords RENAME TO Hidden")), qPrintable(hide.lastError().text()));
    mLog->clear();
    mManager->setActionComplete(actionRecord(QStringLiteral("kept"), 1));
    mManager->checkUnsent(); // still refused: kept again
    QCOMPARE(mLog->texts().filter(kRefused + QStringLiteral(" : cardUid=04A1B2, counter=1, actionDate=")).size(), 1);
    QCOMPARE(mLog->texts().filter(kRefused).size(), 2);
    QVERIFY(hide.exec(QStringLiteral("ALTER TABLE Hidden RENAME TO ActionRecords")));
    mManager->checkUnsent();
    QTRY_COMPARE_WITH_TIMEOUT(mManager->records().successfull().size(), 1, kWaitMs);
    QCOMPARE(mManager->records().size(), 1);
}

void tst_ActionListManager::survivesUnwritableStorage()
{
    QVERIFY(mEnv->writeFile(QStringLiteral("storage"), "a file where the folder should be"));
    const QString blocked = mEnv->filePath(QStringLiteral("storage"));
    Connector connector;
    ActionListManager manager(connector, QStringLiteral("SN-1"), blocked);
    QVERIFY(mLog->containsPart(QStringLiteral("ERROR: Database open failed : ")));
    manager.setActionComplete(actionRecord(QStringLiteral("t"), 1));
    QVERIFY(mLog->containsPart(kRefused));
    manager.processNewList(actions(QStringLiteral("1U")));
    QTRY_VERIFY_WITH_TIMEOUT(mLog->containsPart(kTag + QStringLiteral("ERROR: Could not save Action List to file : ")), kWaitMs);
    manager.start(10);
    QVERIFY(mLog->contains(kTag + QStringLiteral("Loading Action List Data from file : ") + blocked + "/action-list.json"));
    QVERIFY(mLog->containsPart(kTag + QStringLiteral("ERROR: JSON syntax error : ")));
    QCOMPARE(ids(manager.actions()), QStringLiteral("[1]"));
}

QTEST_GUILESS_MAIN(tst_ActionListManager)
#include "tst_actionlistmanager.moc"
