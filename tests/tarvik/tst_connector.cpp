#include "tarvik/connector.h"

#include "support/httptestserver.h"
#include "support/jsonpath.h"
#include "support/logcapture.h"
#include "support/selfsignedcertificate.h"
#include "support/testenv.h"

#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>

using tarvik::Connector;
using Call = std::function<void(Connector &)>;
using Response = HttpTestServer::Response;
Q_DECLARE_METATYPE(Call)
Q_DECLARE_METATYPE(HttpTestServer::Response)

namespace {

const QString kSyncPath = QStringLiteral("/api/web/api/sync_bo");
const QString kSavePath = QStringLiteral("/api/web/api/deviceManager/save");
const QString kListPath = QStringLiteral("/api/web/abt/client/action");
const QString kCompletePath = QStringLiteral("/api/web/abt/client/action/complete");
const int kWaitMs = 10000;

QString line(const QString &text)
{
    return QStringLiteral("[tarvik::connector] ") + text;
}

QJsonObject object(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

bool runOnWorker(const std::function<void()> &work)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    return worker->wait(kWaitMs);
}

template <typename T>
void trace(Connector *c, void (Connector::*signal)(const QList<QSharedPointer<T>> &), const QString &name,
           QStringList *out)
{
    QObject::connect(c, signal, c, [=](const QList<QSharedPointer<T>> &list) {
        *out << QStringLiteral("%1:%2:%3").arg(name).arg(list.size()).arg(list.value(0) ? list.value(0)->id() : -1);
    });
}

// Every signal of a sync reply, as "name:args", in emission order.
QStringList *traceAll(Connector *c)
{
    auto *out = new QStringList;
    QObject::connect(c, &QObject::destroyed, [out] { delete out; });
    QObject::connect(c, &Connector::entityDeleted, c,
                     [=](const QString &table, int id) { *out << QStringLiteral("entityDeleted:%1:%2").arg(table).arg(id); });
    QObject::connect(c, &Connector::deviceParamDeleted, c,
                     [=](int id, int carrier) { *out << QStringLiteral("deviceParamDeleted:%1:%2").arg(id).arg(carrier); });
    trace(c, &Connector::deviceParamsReceived, "DeviceTypeKeyValues", out);
    trace(c, &Connector::ticketMaterialsReceived, "TicketMaterials", out);
    trace(c, &Connector::passengerTypesReceived, "PassengerTypes", out);
    trace(c, &Connector::paymentChannelsReceived, "PaymentChannels", out);
    trace(c, &Connector::paymentMethodsReceived, "PaymentMethods", out);
    trace(c, &Connector::baseFaresReceived, "BaseFares", out);
    trace(c, &Connector::fareProductsReceived, "FareProducts", out);
    trace(c, &Connector::fareProductBaseFaresReceived, "FareProductBaseFares", out);
    trace(c, &Connector::fareProductPassengerTypesReceived, "FareProductPassengerTypes", out);
    trace(c, &Connector::fareProductTicketMaterialsReceived, "FareProductTicketMaterials", out);
    trace(c, &Connector::fareProductPaymentMethodsReceived, "FareProductPaymentMethods", out);
    trace(c, &Connector::fareProductPaymentChannelsReceived, "FareProductPaymentChannels", out);
    trace(c, &Connector::stopsReceived, "Stops", out);
    trace(c, &Connector::stopGroupsReceived, "StopGroups", out);
    trace(c, &Connector::stopGroupStopsReceived, "StopGroupStops", out);
    trace(c, &Connector::axisStopsReceived, "AxisStops", out);
    trace(c, &Connector::axisReceived, "Axis", out);
    trace(c, &Connector::cappingRulesReceived, "CappingRules", out);
    trace(c, &Connector::cappingRuleStopGroupsReceived, "CappingRuleStopGroups", out);
    const auto end = [=](const char *name) {
        return [=](const QDateTime &date) { *out << QStringLiteral("%1:%2").arg(name, date.toString("dd/MM/yyyy hh:mm:ss")); };
    };
    QObject::connect(c, &Connector::onRouteDataSyncEnd, c, end("onRouteDataSyncEnd"));
    QObject::connect(c, &Connector::onFareDataSyncEnd, c, end("onFareDataSyncEnd"));
    QObject::connect(c, &Connector::onSyncEnd, c, end("onSyncEnd"));
    return out;
}

} // namespace

class tst_Connector : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    // transport
    void createUrl_data();
    void createUrl();
    void sendsRequest_data();
    void sendsRequest();
    void refusesWithoutBaseUrl_data();
    void refusesWithoutBaseUrl();
    void reportsHttpFailure_data();
    void reportsHttpFailure();
    void timesOut();
    void timeoutTakenWhenRequestIsMade();
    void followsRedirect_data();
    void followsRedirect();
    void redirectsReport_data();
    void redirectsReport();
    void selfSigned_data();
    void selfSigned();
    void sendsFromOwnThread();
    void containsThrowingReceiver();

    // messages
    void storesSyncDate();
    void parsesReplies_data();
    void parsesReplies();

private:
    std::unique_ptr<Connector> connector(const HttpTestServer &server, const QString &basePath = "/api");
    bool waitForLine(const QString &text);
    bool waitForPart(const QString &fragment);
    QString dumpLog() const { return mLog ? mLog->texts().join('\n') : QString(); }

    HttpTestServer mHttp;
    HttpTestServer mHttps;
    std::unique_ptr<LogCapture> mLog;
    std::unique_ptr<TestEnv> mEnv;
};

void tst_Connector::initTestCase()
{
    if (qgetenv("TZ") == "America/New_York")
        QCOMPARE(QDateTime(QDate(2024, 1, 1), QTime(12, 0)).offsetFromUtc(), -5 * 3600);
    QVERIFY(mHttp.start());
    const SelfSignedCertificate tls = SelfSignedCertificate::create();
    QVERIFY(!tls.isNull());
    QVERIFY(mHttps.startTls(tls.certificate(), tls.key()));
}

void tst_Connector::init()
{
    for (HttpTestServer *server : {&mHttp, &mHttps}) {
        server->clearRequests();
        server->clearResponses();
        server->setDefaultResponse(Response::json(404, R"({"error":"not found"})"));
    }
    mEnv = std::make_unique<TestEnv>();
    QVERIFY(mEnv->isValid());
    mLog = std::make_unique<LogCapture>();
}

void tst_Connector::cleanup()
{
    if (QTest::currentTestFailed())
        qWarning().noquote() << "Log of the failed test:\n" << dumpLog();
    mLog.reset();
    mEnv.reset();
}

std::unique_ptr<Connector> tst_Connector::connector(const HttpTestServer &server, const QString &basePath)
{
    QUrl base = server.baseUrl();
    base.setPath(basePath);
    auto c = std::make_unique<Connector>(base);
    c->setStoragePath(mEnv->path());
    c->setApiKey(QStringLiteral("7c1e9a04b5d36f28e0a9c41b7d2f6e53"));
    c->setTimeout(kWaitMs);
    return c;
}

bool tst_Connector::waitForLine(const QString &text)
{
    return QTest::qWaitFor([&] { return mLog->contains(line(text)); }, kWaitMs);
}

bool tst_Connector::waitForPart(const QString &fragment)
{
    return QTest::qWaitFor([&] { return mLog->containsPart(fragment); }, kWaitMs);
}

// --- transport --------------------------------------------------------------------------------

void tst_Connector::createUrl_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("expected");

    QTest::newRow("base-path-slash") << "http://h:81/api/" << "web/api/sync_bo" << "http://h:81/api/web/api/sync_bo";
    QTest::newRow("no-path") << "http://h:81" << "web/api/sync_bo" << "http://h:81/web/api/sync_bo";
    QTest::newRow("leading-slash-replaces") << "http://h:81/api" << "/web/x" << "http://h:81/web/x";
    QTest::newRow("empty-base") << "" << "web/api/sync_bo" << "/web/api/sync_bo";
}

void tst_Connector::createUrl()
{
    QFETCH(QString, base);
    QFETCH(QString, relative);
    const Connector c(QUrl(base, QUrl::TolerantMode));
    QTEST(c.createUrl(relative).toString(QUrl::FullyEncoded), "expected");
}

void tst_Connector::sendsRequest_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("query");
    QTest::addColumn<QByteArray>("body");

    const QDateTime date(QDate(2024, 3, 5), QTime(6, 7, 8));
    QTest::newRow("route-data-since")
        << Call([date](Connector &c) { c.requestRouteData("SN-1", date); }) << QByteArray("POST") << kSyncPath << ""
        << QByteArray(R"({"devicesUuid":"SN-1","lastSyncDate":"05/03/2024 06:07:08","syncAll":0,"syncTables":[1,2,3,19]})");
    QTest::newRow("fare-data-invalid-date-asks-everything")
        << Call([](Connector &c) { c.requestFareData("SN-1", QDateTime(QDate(2024, 2, 30), QTime(1, 0))); })
        << QByteArray("POST") << kSyncPath << ""
        << QByteArray(R"({"devicesUuid":"SN-1","lastSyncDate":null,"syncAll":0,"syncTables":[7,8,9,10,11,12,14,15,16,17,18,41,42]})");
    QTest::newRow("device-params-first-incremental")
        << Call([](Connector &c) { c.requestDeviceParams("SN-1"); }) << QByteArray("POST") << kSyncPath << ""
        << QByteArray(R"({"devicesUuid":"SN-1","lastSyncDate":"01/01/1970 00:00:00","syncAll":0,"syncTables":[20]})");
    QTest::newRow("device-params-full")
        << Call([](Connector &c) { c.requestDeviceParams("SN-1", false); }) << QByteArray("POST") << kSyncPath << ""
        << QByteArray(R"({"devicesUuid":"SN-1","lastSyncDate":null,"syncAll":0,"syncTables":[20]})");
    QTest::newRow("device-management")
        << Call([](Connector &c) { c.requestObuMgmtSave(object(R"({"serial":"SN-1","uptime":42})")); })
        << QByteArray("POST") << kSavePath << "" << QByteArray(R"({"serial":"SN-1","uptime":42})");
    QTest::newRow("action-list-after-id") << Call([](Connector &c) { c.requestActionList(12); })
                                          << QByteArray("GET") << kListPath << "actionId=12" << QByteArray();
    QTest::newRow("action-list-negative-id") << Call([](Connector &c) { c.requestActionList(-3); })
                                             << QByteArray("GET") << kListPath << "" << QByteArray();
    QTest::newRow("action-complete")
        << Call([](Connector &c) { c.requestActionComplete(object(R"({"accountToken":"acc-7","counter":3})")); })
        << QByteArray("POST") << kCompletePath << "" << QByteArray(R"({"accountToken":"acc-7","counter":3})");
}

void tst_Connector::sendsRequest()
{
    QFETCH(Call, call);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, query);
    QFETCH(QByteArray, body);

    auto c = connector(mHttp);
    call(*c);
    QTRY_COMPARE_WITH_TIMEOUT(mHttp.requestCount(), 1, kWaitMs);
    const HttpTestServer::Request request = mHttp.lastRequest();
    QCOMPARE(request.method, method);
    QCOMPARE(request.path(), path);
    QCOMPARE(request.query(), query);
    QCOMPARE(request.body, body);
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("User-Agent"), QByteArray("obu/vurt512"));
    QCOMPARE(request.header("Connection").toLower(), QByteArray("keep-alive"));
    QCOMPARE(request.header("x-api-key"), QByteArray("7c1e9a04b5d36f28e0a9c41b7d2f6e53"));

    QUrl url = mHttp.baseUrl();
    url.setPath(path);
    url.setQuery(query.isEmpty() ? QString() : query);
    QVERIFY(waitForPart("Received response for : "));
    QVERIFY(mLog->contains(line(QStringLiteral("Performing %1 request : %2").arg(QString(method), url.toDisplayString()))));
    QCOMPARE(mLog->contains(line("Data: " + QString::fromUtf8(body))), method == "POST");
}

void tst_Connector::refusesWithoutBaseUrl_data()
{
    QTest::addColumn<QUrl>("base");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QUrl() << line("WARN: Tarvik URL not configured. Aborting.");
    QTest::newRow("invalid") << QUrl("http://exa mple.com:99999/api", QUrl::StrictMode)
                             << line("ERROR: Invalid Tarvik URL : ");
}

void tst_Connector::refusesWithoutBaseUrl()
{
    QFETCH(QUrl, base);
    QFETCH(QString, expected);

    Connector c(base);
    c.requestRouteData("SN-1");
    c.requestActionList();
    QVERIFY2(mLog->texts().filter(expected).size() == 2, qPrintable(dumpLog()));
    // Nothing was sent: no network manager was ever made.
    QVERIFY(c.findChildren<QNetworkAccessManager *>().isEmpty());
}

void tst_Connector::reportsHttpFailure_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("path");
    QTest::addColumn<Response>("response");
    QTest::addColumn<QString>("statusLine");
    QTest::addColumn<QString>("responseLine");
    QTest::addColumn<QVariantList>("completion"); // empty: no completion signal expected

    QTest::newRow("sync-404-json") << Call([](Connector &c) { c.requestRouteData("SN-1"); }) << kSyncPath
                                   << Response::json(404, R"({"error":"nope"})") << "ERROR: HTTP Status   : 404"
                                   << "ERROR: HTTP Response : {\n    \"error\": \"nope\"\n}\n" << QVariantList();
    QTest::newRow("list-500-text") << Call([](Connector &c) { c.requestActionList(); }) << kListPath
                                   << Response::text(500, "Internal failure") << "ERROR: HTTP Status   : 500"
                                   << "ERROR: HTTP Response : " << QVariantList();
    QTest::newRow("complete-500-json") << Call([](Connector &c) { c.requestActionComplete({}); }) << kCompletePath
                                       << Response::json(500, R"({"code":"E42","message":"broken"})")
                                       << "ERROR: HTTP Status   : 500"
                                       << "ERROR: HTTP Response : {\n    \"code\": \"E42\",\n    \"message\": \"broken\"\n}\n"
                                       << QVariantList{500, "E42", "broken"};
}

void tst_Connector::reportsHttpFailure()
{
    QFETCH(Call, call);
    QFETCH(QString, path);
    QFETCH(Response, response);
    QFETCH(QString, statusLine);
    QFETCH(QString, responseLine);
    QFETCH(QVariantList, completion);

    mHttp.setResponse(path, response);
    auto c = connector(mHttp);
    QSignalSpy syncEnd(c.get(), &Connector::onSyncEnd);
    QSignalSpy actions(c.get(), &Connector::actionListReceived);
    QSignalSpy complete(c.get(), &Connector::actionCompleteResponseReceived);
    call(*c);

    QVERIFY(waitForLine(responseLine));
    QVERIFY(mLog->contains(line(statusLine)));
    QVERIFY(!mLog->texts().filter(QRegularExpression("^\\[tarvik::connector\\] ERROR: .*server replied")).isEmpty());
    QCOMPARE(syncEnd.count(), 0);
    QCOMPARE(actions.count(), 0);
    QCOMPARE(complete.count(), completion.isEmpty() ? 0 : 1);
    if (!completion.isEmpty())
        QCOMPARE(complete.at(0), completion);
}

void tst_Connector::timesOut()
{
    mHttp.setResponse(kCompletePath, Response::neverAnswer());
    mHttp.setResponse(kSyncPath, Response::neverAnswer());
    auto c = connector(mHttp);
    c->setTimeout(300);
    QSignalSpy complete(c.get(), &Connector::actionCompleteResponseReceived);
    QSignalSpy syncEnd(c.get(), &Connector::onSyncEnd);

    c->requestRouteData("SN-1");
    c->requestActionComplete(object(R"({"counter":1})"));
    QVERIFY(complete.wait(kWaitMs));
    QCOMPARE(complete.at(0), (QVariantList{0, "", ""}));
    QTRY_COMPARE_WITH_TIMEOUT(mLog->count(line("ERROR: Request timed-out (timeout=300 msec). Aborting.")), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(mLog->count(line("ERROR: HTTP Status   : 0")), 2, kWaitMs);
    QCOMPARE(mLog->count(line("ERROR: HTTP Response : ")), 2);
    QCOMPARE(mLog->count(line("ERROR: Operation canceled")), 2);
    QCOMPARE(syncEnd.count(), 0);
    QCOMPARE(complete.count(), 1);
}

// The action list manager lowers the time-out around one report and restores it at once.
void tst_Connector::timeoutTakenWhenRequestIsMade()
{
    mHttp.setResponse(kCompletePath, Response::neverAnswer());
    auto c = connector(mHttp);
    c->setTimeout(30000);
    QSignalSpy complete(c.get(), &Connector::actionCompleteResponseReceived);

    const auto report = [&c] {
        const int saved = c->timeout();
        c->setTimeout(300);
        c->requestActionComplete(object(R"({"counter":1})"));
        c->setTimeout(saved);
    };
    QVERIFY(runOnWorker(report));

    QVERIFY(complete.wait(kWaitMs));
    QCOMPARE(complete.at(0), (QVariantList{0, "", ""}));
    // The line shows the setting as it is when the timer fires.
    QVERIFY(mLog->contains(line("ERROR: Request timed-out (timeout=30000 msec). Aborting.")));
}

void tst_Connector::followsRedirect_data()
{
    QTest::addColumn<QString>("basePath");
    QTest::addColumn<Call>("call");
    QTest::addColumn<QString>("firstPath");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QString>("finalPath");

    const Call save = [](Connector &c) { c.requestObuMgmtSave(object(R"({"serial":"SN-1","uptime":42})")); };
    const Call list = [](Connector &c) { c.requestActionList(12); };
    const QByteArray absolute = mHttp.baseUrl().toEncoded() + "/abs/save";

    // Relative targets resolve against the configured base URL, not against the request's URL.
    QTest::newRow("post-relative-base-slash") << "/api/" << save << kSavePath << 302 << QByteArray("moved/save")
                                              << "/api/moved/save";
    QTest::newRow("post-absolute-url-301") << "/api" << save << kSavePath << 301 << absolute << "/abs/save";
    QTest::newRow("get-stays-get-308") << "/api" << list << kListPath << 308 << QByteArray("/x/list") << "/x/list";
}

void tst_Connector::followsRedirect()
{
    QFETCH(QString, basePath);
    QFETCH(Call, call);
    QFETCH(QString, firstPath);
    QFETCH(int, status);
    QFETCH(QByteArray, location);
    QFETCH(QString, finalPath);

    const QString first = firstPath;
    mHttp.setResponse(first, Response::redirect(status, location));
    mHttp.setResponse(finalPath, Response::json(200, "{}"));
    auto c = connector(mHttp, basePath);
    call(*c);

    QTRY_COMPARE_WITH_TIMEOUT(mHttp.requestCount(), 2, kWaitMs);
    QVERIFY(waitForPart("Request completed successfully : "));
    const QRegularExpression done("^\\[tarvik::connector\\] Request completed successfully : \\d+ msec\\(s\\)$");
    QCOMPARE(mLog->texts().filter(done).size(), 1);
    const auto requests = mHttp.requests();
    QCOMPARE(requests.at(0).path(), first);
    QCOMPARE(requests.at(1).path(), finalPath);
    QCOMPARE(requests.at(1).method, requests.at(0).method);
    QCOMPARE(requests.at(1).body, requests.at(0).body);
    QCOMPARE(requests.at(1).header("x-api-key"), requests.at(0).header("x-api-key"));
    QUrl target = mHttp.baseUrl();
    target.setPath(finalPath);
    QVERIFY(mLog->contains(line("WARN: Request was redirected to : " + target.toDisplayString())));
}

// A report moved elsewhere is still a report: the action list manager must hear its answer; a
// loop, a downgrade from TLS or another scheme end it with the redirect's status.
void tst_Connector::redirectsReport_data()
{
    QTest::addColumn<bool>("overTls");
    QTest::addColumn<QByteArray>("location");
    QTest::addColumn<QVariantList>("completion");
    QTest::addColumn<int>("requests");
    QTest::addColumn<QString>("expectedLog");

    QUrl origin = mHttp.baseUrl();
    origin.setPath(kCompletePath);
    QTest::newRow("answered-elsewhere") << false << QByteArray("/elsewhere") << QVariantList{200, "OK", "Done"} << 2
                                        << "WARN: Request was redirected to : ";
    QTest::newRow("loop") << false << QByteArray("/loop") << QVariantList{302, "", ""} << 1 + Connector::MaxRedirects
                          << "ERROR: Too many redirects (5) for : " + origin.toDisplayString() + ". Aborting.";
    QTest::newRow("https-to-http") << true << mHttp.baseUrl().toEncoded() + "/elsewhere" << QVariantList{302, "", ""}
                                   << 1 << "ERROR: Refusing redirect from ";
    QTest::newRow("file-scheme") << false << QByteArray("file:///etc/hostname") << QVariantList{302, "", ""} << 1
                                 << "ERROR: Refusing redirect from ";
}

void tst_Connector::redirectsReport()
{
    QFETCH(bool, overTls);
    QFETCH(QByteArray, location);
    QFETCH(QVariantList, completion);
    QFETCH(int, requests);
    QFETCH(QString, expectedLog);

    HttpTestServer &server = overTls ? mHttps : mHttp;
    server.setResponse(kCompletePath, Response::redirect(302, location));
    mHttp.setResponse("/loop", Response::redirect(302, "/loop"));
    mHttp.setResponse("/elsewhere", Response::json(200, R"({"code":"OK","message":"Done"})"));
    auto c = connector(server);
    c->setIgnoreSslErrors(true);
    QSignalSpy complete(c.get(), &Connector::actionCompleteResponseReceived);
    c->requestActionComplete(object(R"({"counter":1})"));

    QVERIFY(complete.wait(kWaitMs));
    QCOMPARE(complete.at(0), completion);
    QCOMPARE(mHttp.requestCount() + (overTls ? mHttps.requestCount() : 0), requests);
    QVERIFY2(mLog->containsPart(expectedLog), qPrintable(dumpLog()));
    QCOMPARE(mLog->texts().filter("WARN: Request was redirected to : ").size(), requests - 1);
}

// Self-signed certificates are refused unless the configuration says otherwise, asked from any thread.
void tst_Connector::selfSigned_data()
{
    QTest::addColumn<bool>("ignore");
    QTest::newRow("refused-by-default") << false;
    QTest::newRow("accepted-with-flag") << true;
}

void tst_Connector::selfSigned()
{
    QFETCH(bool, ignore);
    mHttps.setResponse(kListPath, Response::json(200, R"([{"id":1}])"));
    auto c = connector(mHttps);
    c->setIgnoreSslErrors(ignore);
    QSignalSpy actions(c.get(), &Connector::actionListReceived);
    QVERIFY(runOnWorker([&c] { c->requestActionList(); }));

    if (ignore)
        QVERIFY(actions.wait(kWaitMs));
    else
        QVERIFY(waitForLine("ERROR: HTTP Status   : 0"));
    QVERIFY(mLog->contains(line("SSL Error(s) occured : ")));
    QVERIFY(!mLog->texts().filter(QRegularExpression("^\\[tarvik::connector\\]  - .+")).isEmpty());
    QCOMPARE(mLog->count(line("Ignoring SSL Errors ('ignoreSslErrors' is set to 'true' in configuration)")), ignore ? 1 : 0);
    QCOMPARE(actions.count(), ignore ? 1 : 0);
    QCOMPARE(mHttps.requestCount(), ignore ? 1 : 0);
}

void tst_Connector::sendsFromOwnThread()
{
    mHttp.setResponse(kListPath, Response::json(200, R"([{"id":1}])"));
    auto c = connector(mHttp);
    QList<QThread *> handlers;
    connect(c.get(), &Connector::actionListReceived, c.get(),
            [&handlers](const tarvik::Action::List &) { handlers << QThread::currentThread(); });

    QVERIFY(runOnWorker([&c] { c->requestActionList(1); }));
    QVERIFY(runOnWorker([&c] { c->requestActionList(2); }));
    c->requestActionList(3);
    QTRY_COMPARE_WITH_TIMEOUT(handlers.size(), 3, kWaitMs);

    for (QThread *thread : handlers)
        QCOMPARE(thread, QThread::currentThread());
    const auto managers = c->findChildren<QNetworkAccessManager *>();
    QCOMPARE(managers.size(), 1);
    QCOMPARE(managers.at(0)->thread(), c->thread());
    QCOMPARE(mLog->texts().filter("Creating new Network Access Manager for thread ").size(), 1);
    QVERIFY2(mLog->texts().filter("thread", Qt::CaseInsensitive).size() == 1, qPrintable(dumpLog()));
}

void tst_Connector::containsThrowingReceiver()
{
    mHttp.setResponse(kListPath, Response::json(200, R"([{"id":1}])"));
    auto c = connector(mHttp);
    connect(c.get(), &Connector::actionListReceived, c.get(),
            [](const tarvik::Action::List &) { throw std::runtime_error("boom"); });
    c->requestActionList();
    QVERIFY(waitForPart("failed : boom"));
    QVERIFY(mLog->containsPart("ERROR: Handling the response of "));
}

// --- messages ---------------------------------------------------------------------------------

void tst_Connector::storesSyncDate()
{
    auto c = connector(mHttp);
    QSignalSpy params(c.get(), &Connector::deviceParamsReceived);
    c->parseSyncBoResponse(object(R"({"resp":"OK","newsyncdate":"05/03/2024 06:07:08","DeviceTypeKeyValues":[]})"));
    QCOMPARE(params.count(), 0);
    QVERIFY(mLog->contains(line("Setting Last Sync Date to : 05/03/2024 06:07:08")));
    QCOMPARE(c->lastSyncDate(), QString("05/03/2024 06:07:08"));
    QVERIFY(mLog->contains(line("Last Sync Date is : 05/03/2024 06:07:08")));

    QFile file(mEnv->filePath(".sync"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("lastSyncDate=05/03/2024 06:07:08"));

    // The next incremental request sends exactly the stored text.
    c->requestDeviceParams("SN-1");
    QTRY_COMPARE_WITH_TIMEOUT(mHttp.requestCount(), 1, kWaitMs);
    QCOMPARE(object(mHttp.lastRequest().body).value("lastSyncDate").toString(), QString("05/03/2024 06:07:08"));

    c->parseSyncBoResponse(object(R"({"resp":"OK","newsyncdate":"06/03/2024 00:00:01",
        "DeviceTypeKeyValues":[{"id":1,"key":"volume","value":"7"}]})"));
    QCOMPARE(params.count(), 1);
    QCOMPARE(params.at(0).at(0).value<tarvik::KeyValue::List>().at(0)->key(), QString("volume"));
    QCOMPARE(c->lastSyncDate(), QString("06/03/2024 00:00:01"));
}

// Replies of the back-end as each parser receives them, from data/replies.json: {"parser": one
// of sync, actions, management, complete; "lastSyncDate": set before; "reply"}. What came of each
// (every signal in order with its records' count and first id, the lines logged, the sync date
// kept and whether it was stored) is pinned in data/replies.expected.json; ZUB_WRITE_GOLDEN=1
// writes that file.
void tst_Connector::parsesReplies_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QJsonObject>("testCase");
    const QJsonObject cases = JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/replies.json")).object();
    QVERIFY(!cases.isEmpty());
    for (auto it = cases.begin(); it != cases.end(); ++it)
        QTest::addRow("%s", qPrintable(it.key())) << it.key() << it.value().toObject();
}

void tst_Connector::parsesReplies()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, testCase);
    Connector c;
    c.setStoragePath(mEnv->path());
    if (testCase.contains("lastSyncDate"))
        c.setLastSyncDate(testCase.value("lastSyncDate").toString());
    QStringList *trace = traceAll(&c);
    QObject::connect(&c, &Connector::actionListReceived, &c, [=](const tarvik::Action::List &list) {
        QStringList statuses;
        for (const auto &action : list)
            statuses << QString::number(action->id()) + '/' + action->status();
        *trace << "actionListReceived:" + statuses.join(',');
    });
    QObject::connect(&c, &Connector::actionCompleteResponseReceived, &c, [=](int status, const QString &code, const QString &text) {
        *trace << QStringLiteral("actionCompleteResponseReceived:%1:%2:%3").arg(status).arg(code, text);
    });
    const QString parser = testCase.value("parser").toString();
    const QJsonValue reply = testCase.value("reply");
    if (parser == "sync")
        c.parseSyncBoResponse(reply.toObject());
    else if (parser == "actions")
        c.parseActionListResponse(reply.toArray());
    else if (parser == "management")
        c.parseObuMgmtResponse(reply.toObject());
    else
        c.parseActionCompleteResponse(testCase.value("status").toInt(), reply.toObject());
    const QJsonObject actual{{"signals", QJsonArray::fromStringList(*trace)}, {"log", QJsonArray::fromStringList(mLog->texts())},
                             {"lastSyncDate", c.lastSyncDate()}, {"stored", QFile::exists(mEnv->filePath(".sync"))}};
    const QString file = QStringLiteral(TEST_DATA_DIR "/replies.expected.json");
    QJsonObject expected = JsonPath::readFile(file).object();
    if (qEnvironmentVariableIsSet("ZUB_WRITE_GOLDEN")) {
        expected.insert(name, actual);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QJsonDocument(expected).toJson());
    }
    QVERIFY2(actual == expected.value(name).toObject(),
             JsonPath::describeMismatch(actual, expected.value(name).toObject()).constData());
}

QTEST_GUILESS_MAIN(tst_Connector)
#include "tst_connector.moc"
