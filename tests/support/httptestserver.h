#pragma once

#include <QHash>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QUrl>

#include <functional>

// A small HTTP/1.1 server on a free loopback port, plain or over TLS, for tests of HTTP
// clients. Records every request (method, path, query, headers, body) and answers by exact
// path from a table of canned responses (default: 404 with a JSON body). Lives on the test's
// thread: the test must run the event loop (QTRY_*, QSignalSpy::wait) while a client talks to it.
class HttpTestServer : public QTcpServer
{
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    struct Request
    {
        QByteArray method;
        QByteArray target; // as sent: path and query, percent-encoded
        Headers headers;   // as sent, in order
        QByteArray body;

        QString path() const { return QUrl::fromPercentEncoding(target.split('?').first()); }
        QString query() const { return target.contains('?') ? QString::fromUtf8(target.mid(target.indexOf('?') + 1)) : QString(); }
        QByteArray header(const QByteArray &name) const; // first of that name, any case; null when absent
    };

    struct Response
    {
        int status = 200;
        Headers headers;
        QByteArray body;
        bool never = false; // the request is read and never answered

        static Response json(int status, const QByteArray &body) { return {status, {{"Content-Type", "application/json"}}, body}; }
        static Response text(int status, const QByteArray &body) { return {status, {{"Content-Type", "text/plain"}}, body}; }
        static Response redirect(int status, const QByteArray &to) { return {status, {{"Location", to}}, {}}; }
        static Response neverAnswer() { return {0, {}, {}, true}; }
    };

    explicit HttpTestServer(QObject *parent = nullptr) : QTcpServer(parent) {}
    ~HttpTestServer() override { close(); }

    bool start() { return listen(QHostAddress::LocalHost, 0); }
    bool startTls(const QSslCertificate &certificate, const QSslKey &key)
    {
        mCertificate = certificate, mKey = key;
        return start();
    }
    // scheme://127.0.0.1:port, without a path.
    QUrl baseUrl() const { return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(mKey.isNull() ? "http" : "https").arg(serverPort())); }

    void setResponse(const QString &path, const Response &response) { mResponses.insert(path, response); }
    // Answers every request of the path from its content (takes precedence over setResponse).
    void setResponder(const QString &path, std::function<Response(const Request &)> responder)
    {
        mResponders.insert(path, std::move(responder));
    }
    void setDefaultResponse(const Response &response) { mDefault = response; }
    void clearResponses() { mResponses.clear(), mResponders.clear(); }

    QList<Request> requests() const { return mRequests; }
    int requestCount() const { return mRequests.size(); }
    Request lastRequest() const { return mRequests.value(mRequests.size() - 1); }
    void clearRequests() { mRequests.clear(); }

signals:
    void requestReceived();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    bool handleOne(QTcpSocket *socket, QByteArray &buffer);

    QSslCertificate mCertificate;
    QSslKey mKey;
    QHash<QString, Response> mResponses;
    QHash<QString, std::function<Response(const Request &)>> mResponders;
    Response mDefault = Response::json(404, R"({"error":"not found"})");
    QList<Request> mRequests;
};
