#include "support/httptestserver.h"

#include <QSslSocket>
#include <QUrlQuery>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

QString HttpTestServer::Request::path() const
{
    const int mark = target.indexOf('?');
    return QUrl::fromPercentEncoding(mark < 0 ? target : target.left(mark));
}

QString HttpTestServer::Request::query() const
{
    const int mark = target.indexOf('?');
    return mark < 0 ? QString() : QString::fromUtf8(target.mid(mark + 1));
}

QByteArray HttpTestServer::Request::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second.isNull() ? QByteArray("") : header.second;
    }
    return QByteArray();
}

bool HttpTestServer::Request::hasHeader(const QByteArray &name) const
{
    return !header(name).isNull();
}

HttpTestServer::Response HttpTestServer::Response::json(int status, const QByteArray &json)
{
    return Response{status, {{"Content-Type", "application/json"}}, json, Framing::Length};
}

HttpTestServer::Response HttpTestServer::Response::text(int status, const QByteArray &body)
{
    return Response{status, {{"Content-Type", "text/plain"}}, body, Framing::Length};
}

HttpTestServer::Response HttpTestServer::Response::redirect(int status, const QByteArray &location)
{
    return Response{status, {{"Location", location}}, QByteArray(), Framing::Length};
}

HttpTestServer::Response HttpTestServer::Response::withoutLength(const QByteArray &json)
{
    return Response{200, {{"Content-Type", "application/json"}}, json, Framing::CloseDelimited};
}

HttpTestServer::Response HttpTestServer::Response::neverAnswer()
{
    return Response{0, {}, QByteArray(), Framing::Never};
}

HttpTestServer::HttpTestServer(QObject *parent)
    : QTcpServer(parent)
    , mDefault(Response::json(404, R"({"error":"not found"})"))
{
}

HttpTestServer::~HttpTestServer()
{
    close();
}

bool HttpTestServer::start()
{
    mTls = false;
    return listen(QHostAddress::LocalHost, 0);
}

bool HttpTestServer::startTls(const QSslCertificate &certificate, const QSslKey &key)
{
    mTls = true;
    mCertificate = certificate;
    mKey = key;
    return listen(QHostAddress::LocalHost, 0);
}

QUrl HttpTestServer::baseUrl() const
{
    QUrl url;
    url.setScheme(mTls ? QStringLiteral("https") : QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(serverPort());
    return url;
}

void HttpTestServer::setResponse(const QString &path, const Response &response)
{
    mResponses.insert(path, response);
}

void HttpTestServer::setDefaultResponse(const Response &response)
{
    mDefault = response;
}

void HttpTestServer::setResponder(const QString &path, std::function<Response(const Request &)> responder)
{
    mResponders.insert(path, std::move(responder));
}

void HttpTestServer::clearResponses()
{
    mResponses.clear();
    mResponders.clear();
}

void HttpTestServer::incomingConnection(qintptr descriptor)
{
    QTcpSocket *socket = nullptr;
    if (mTls) {
        auto *ssl = new QSslSocket(this);
        if (!ssl->setSocketDescriptor(descriptor)) {
            delete ssl;
            return;
        }
        ssl->setLocalCertificate(mCertificate);
        ssl->setPrivateKey(mKey);
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        ssl->startServerEncryption();
        socket = ssl;
    } else {
        socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    mBuffers.insert(socket, QByteArray());
    connect(socket, &QTcpSocket::readyRead, this, &HttpTestServer::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        mBuffers.remove(socket);
        socket->deleteLater();
    });
}

void HttpTestServer::onReadyRead()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket || !mBuffers.contains(socket))
        return;
    QByteArray &buffer = mBuffers[socket];
    buffer += socket->readAll();
    while (handleOne(socket, buffer)) {
    }
}

// Takes one complete request off the front of the buffer and answers it; false when the
// buffer holds no complete request yet.
bool HttpTestServer::handleOne(QTcpSocket *socket, QByteArray &buffer)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    int length = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        const int colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
            length = value.toInt();
    }
    if (buffer.size() < headEnd + 4 + length)
        return false;
    request.body = buffer.mid(headEnd + 4, length);
    buffer.remove(0, headEnd + 4 + length);

    mRequests.append(request);
    const auto responder = mResponders.value(request.path());
    const Response response = responder ? responder(request) : mResponses.value(request.path(), mDefault);
    emit requestReceived();
    answer(socket, response);
    return true;
}

void HttpTestServer::answer(QTcpSocket *socket, const Response &response)
{
    if (response.framing == Response::Framing::Never)
        return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    if (response.framing == Response::Framing::Length)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    else
        head += "Connection: close\r\n";
    head += "\r\n";
    socket->write(head);
    socket->write(response.body);
    if (response.framing == Response::Framing::CloseDelimited)
        socket->disconnectFromHost();
}
