#include "managerfixture.h"

#include "support/httptestserver.h"
#include "support/selfsignedcertificate.h"

#include <QNetworkAccessManager>

#include <functional>
#include <stdexcept>

using tarvik::Connector;
using Response = HttpTestServer::Response;

namespace {

const int kWaitMs = 10000;

QString line(const QString &text)
{
    return QStringLiteral("[tarvik::connector] ") + text;
}

bool runOnWorker(const std::function<void()> &work)
{
    std::unique_ptr<QThread> worker(QThread::create(work));
    worker->start();
    return worker->wait(kWaitMs);
}

// A signal's arguments as the transcript shows them: a list of records by its size and first id.
QString arg(int n) { return QString::number(n); }
QString arg(const QString &text) { return text; }
QString arg(const QDateTime &date) { return date.toString("dd/MM/yyyy hh:mm:ss"); }
template <typename T>
QString arg(const QList<QSharedPointer<T>> &list)
{
    return QStringLiteral("%1:%2").arg(list.size()).arg(list.value(0) ? list.value(0)->id() : -1);
}
QString arg(const tarvik::Action::List &list)
{
    QStringList statuses;
    for (const auto &action : list)
        statuses << QString::number(action->id()) + '/' + action->status();
    return statuses.join(',');
}
QString arg(const tarvik::Customer::Ptr &customer)
{
    return QStringLiteral("%1:%2:%3:%4").arg(customer->id()).arg(customer->image()).arg(QFile::exists(customer->image()))
        .arg(customer->toJson().contains("customerImageBase64"));
}

template <typename... Args>
void trace(Connector *c, void (Connector::*signal)(Args...), QStringList *out)
{
    const QString name = QString::fromLatin1(QMetaMethod::fromSignal(signal).name());
    QObject::connect(c, signal, c, [=](Args... args) { *out << QStringList{name, arg(args)...}.join(':'); });
}

// Every signal of a reply, as "name:args", in emission order.
void traceAll(Connector *c, QStringList *out)
{
    using C = Connector;
    const auto all = [&](auto... signal) { (trace(c, signal, out), ...); };
    all(&C::entityDeleted, &C::deviceParamDeleted, &C::deviceParamsReceived, &C::ticketMaterialsReceived,
        &C::passengerTypesReceived, &C::paymentChannelsReceived, &C::paymentMethodsReceived, &C::baseFaresReceived,
        &C::fareProductsReceived, &C::fareProductBaseFaresReceived, &C::fareProductPassengerTypesReceived,
        &C::fareProductTicketMaterialsReceived, &C::fareProductPaymentMethodsReceived,
        &C::fareProductPaymentChannelsReceived, &C::stopsReceived, &C::stopGroupsReceived, &C::stopGroupStopsReceived,
        &C::axisStopsReceived, &C::axisReceived, &C::cappingRulesReceived, &C::cappingRuleStopGroupsReceived,
        &C::onRouteDataSyncEnd, &C::onFareDataSyncEnd, &C::onSyncEnd, &C::actionListReceived,
        &C::customerInfoReceived, &C::actionCompleteResponseReceived);
}

} // namespace

class tst_Connector : public QObject, TarvikFixture
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void createUrl_data();
    void createUrl();
    void transport_data();
    void transport();
    void timesOut();
    void sendsFromOwnThread();

private:
    std::unique_ptr<Connector> connector(const HttpTestServer &server, const QString &basePath = "/api");
    // What the .sync file holds, null when there is none.
    QJsonValue stored() const
    {
        QFile file(mEnv->filePath(".sync"));
        return file.open(QIODevice::ReadOnly) ? QJsonValue(QString::fromUtf8(file.readAll())) : QJsonValue();
    }

    HttpTestServer mHttp;
    HttpTestServer mHttps;
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
    QVERIFY(setUpFolder());
}

void tst_Connector::cleanup()
{
    tearDownFolder();
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

// Sessions of data/transport.json: {"base": the base path or URL ("none": no URL), "lastSyncDate":
// stored before, "tls", "ignoreSsl", "worker": calls made from another thread, "throwing": a receiver
// that throws, "responses": by path ("tls:" for the TLS server) a "status" with a "json" or "text"
// body or a "redirect" status "to" a location, or a list of them given one after the other,
// "calls": each a "call" with its "date", "id", "card" or "body"}. Every request the servers
// received (method, path, headers, body), every signal with its records' count and first id, every
// line logged, the sync date kept and stored and the files written are pinned in
// data/transport.expected.json. The "reply-" sessions are the back-end's replies as each parser
// receives them.
void tst_Connector::transport_data()
{
    addCaseRows(JsonPath::readFile(QStringLiteral(TEST_DATA_DIR "/transport.json")).object());
}

void tst_Connector::transport()
{
    QFETCH(QString, name);
    QFETCH(QJsonObject, testCase);
    const QString http = mHttp.baseUrl().toString(QUrl::StripTrailingSlash);
    const QString https = mHttps.baseUrl().toString(QUrl::StripTrailingSlash);
    const QJsonObject responses = testCase.value("responses").toObject();
    const auto response = [&http](const QJsonObject &r) {
        if (r.contains("redirect"))
            return Response::redirect(r.value("redirect").toInt(), r.value("to").toString().replace("<http>", http).toUtf8());
        if (r.contains("text"))
            return Response::text(r.value("status").toInt(), r.value("text").toString().toUtf8());
        const QJsonValue json = r.value("json");
        return Response::json(r.value("status").toInt(), (json.isArray() ? QJsonDocument(json.toArray()) : QJsonDocument(json.toObject())).toJson(QJsonDocument::Compact));
    };
    for (auto it = responses.begin(); it != responses.end(); ++it) {
        HttpTestServer &server = it.key().startsWith("tls:") ? mHttps : mHttp;
        const QJsonArray replies = it.value().isArray() ? it.value().toArray() : QJsonArray{it.value()}; // one after the other
        const auto next = std::make_shared<int>(0); // the responder is copied for each request
        server.setResponder(it.key().mid(&server == &mHttps ? 4 : 0), [=](const HttpTestServer::Request &) {
            return response(replies.at(qMin((*next)++, replies.size() - 1)).toObject());
        });
    }
    const QString base = testCase.value("base").toString("/api");
    QStringList trace; // outlives the connector
    std::unique_ptr<Connector> c = connector(testCase.value("tls").toBool() ? mHttps : mHttp, base);
    if (base == "none" || base.contains("://"))
        c->setUrl(QUrl(base == "none" ? QString() : base, QUrl::StrictMode));
    c->setIgnoreSslErrors(testCase.value("ignoreSsl").toBool());
    if (testCase.contains("lastSyncDate"))
        c->setLastSyncDate(testCase.value("lastSyncDate").toString());
    traceAll(c.get(), &trace);
    if (testCase.value("throwing").toBool())
        connect(c.get(), &Connector::actionListReceived, c.get(), [](const tarvik::Action::List &) { throw std::runtime_error("boom"); });
    const QJsonArray calls = testCase.value("calls").toArray();
    const auto call = [&c, &calls] {
        for (const QJsonValue &value : calls) {
            const QJsonObject o = value.toObject();
            const QString what = o.value("call").toString();
            const QDateTime date = QDateTime::fromString(o.value("date").toString(), Qt::ISODate);
            if (what == "routeData")
                c->requestRouteData("SN-1", date);
            else if (what == "fareData")
                c->requestFareData("SN-1", date);
            else if (what == "deviceParams")
                c->requestDeviceParams("SN-1", !o.contains("full"));
            else if (what == "save")
                c->requestObuMgmtSave(o.value("body").toObject());
            else if (what == "customer" && o.contains("card"))
                c->requestCustomerInfo(o.value("card").toString());
            else if (what == "customer")
                c->requestCustomerInfo(o.value("id").toInt());
            else if (what == "actionList")
                c->requestActionList(o.value("id").toInt(-1));
            else
                c->requestActionComplete(o.value("body").toObject());
        }
    };
    if (testCase.value("worker").toBool())
        QVERIFY(runOnWorker(call));
    else
        call();

    // Each call ends with one of these lines.
    const QRegularExpression end("Request completed successfully|HTTP Response : |Too many redirects|Refusing redirect|URL not configured|Invalid Tarvik URL");
    QVERIFY2(QTest::qWaitFor([&] { return mLog->texts().filter(end).size() >= calls.size(); }, kWaitMs), qPrintable(dumpLog()));
    QStringList requests;
    for (HttpTestServer *server : {&mHttp, &mHttps}) {
        for (const HttpTestServer::Request &r : server->requests()) {
            requests << QStringLiteral("%1 %2%3 %4 | %5 | %6 | %7 | %8 | %9")
                            .arg(QString(r.method), server == &mHttps ? "tls:" : "", r.path(), r.query(), QString(r.header("Content-Type")),
                                 QString(r.header("User-Agent")), QString(r.header("Connection").toLower()), QString(r.header("x-api-key")),
                                 QString(r.body));
        }
    }
    QStringList log;
    for (QString text : mLog->texts()) {
        if (text.contains("] Downloaded ")) // as many as the body's chunks
            continue;
        log << text.replace(mEnv->path(), "<dir>").replace(https, "<https>").replace(http, "<http>").replace(QRegularExpression(": \\d+ msec"), ": N msec")
                   .replace(QRegularExpression("0x[0-9a-f]+"), "0x?");
    }
    trace.replaceInStrings(mEnv->path(), "<dir>");
    QStringList files;
    QDirIterator it(mEnv->path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QStringLiteral("%1 %2").arg(QDir(mEnv->path()).relativeFilePath(it.next())).arg(it.fileInfo().size());
    files.sort();
    const QByteArray diff = GoldenFile::mismatch(
        TEST_DATA_DIR "/transport.expected.json", name,
        QJsonObject{{"requests", QJsonArray::fromStringList(requests)}, {"signals", QJsonArray::fromStringList(trace)},
                    {"lastSyncDate", c->lastSyncDate()}, {"stored", stored()}, {"files", QJsonArray::fromStringList(files)},
                    {"log", QJsonArray::fromStringList(log)}});
    QVERIFY2(diff.isEmpty(), diff.constData());
}

// The action list manager lowers the time-out around one report from the validation thread and
// restores it at once: the requests keep the lowered time-out, the line shows the setting as it is
// when the timer fires.
void tst_Connector::timesOut()
{
    mHttp.setResponse("/api/web/abt/client/action/complete", Response::neverAnswer());
    mHttp.setResponse("/api/web/api/sync_bo", Response::neverAnswer());
    auto c = connector(mHttp);
    c->setTimeout(30000);
    QSignalSpy complete(c.get(), &Connector::actionCompleteResponseReceived);
    QSignalSpy syncEnd(c.get(), &Connector::onSyncEnd);
    QVERIFY(runOnWorker([&c] {
        const int saved = c->timeout();
        c->setTimeout(300);
        c->requestRouteData("SN-1");
        c->requestActionComplete({{"counter", 1}});
        c->setTimeout(saved);
    }));

    QVERIFY(complete.wait(kWaitMs));
    QCOMPARE(complete.at(0), (QVariantList{0, "", ""}));
    QTRY_COMPARE_WITH_TIMEOUT(mLog->count(line("ERROR: Request timed-out (timeout=30000 msec). Aborting.")), 2, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(mLog->count(line("ERROR: HTTP Status   : 0")), 2, kWaitMs);
    QCOMPARE(mLog->count(line("ERROR: HTTP Response : ")), 2);
    QCOMPARE(mLog->count(line("ERROR: Operation canceled")), 2);
    QCOMPARE(syncEnd.count(), 0);
    QCOMPARE(complete.count(), 1);
}

void tst_Connector::sendsFromOwnThread()
{
    mHttp.setResponse("/api/web/abt/client/action", Response::json(200, R"([{"id":1}])"));
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
    QCOMPARE(c->findChildren<QNetworkAccessManager *>().size(), 1);
    QCOMPARE(c->findChild<QNetworkAccessManager *>()->thread(), c->thread());
    QCOMPARE(mLog->texts().filter("Creating new Network Access Manager for thread ").size(), 1);
    QVERIFY2(mLog->texts().filter("thread", Qt::CaseInsensitive).size() == 1, qPrintable(dumpLog()));
}

QTEST_GUILESS_MAIN(tst_Connector)
#include "tst_connector.moc"
