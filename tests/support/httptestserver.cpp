#include "support/httptestserver.h"

#include <QSslSocket>

#include <memory>

QByteArray HttpTestServer::Request::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second.isNull() ? QByteArray("") : header.second;
    }
    return QByteArray();
}

void HttpTestServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QSslSocket(this); // plain TCP until encryption starts
    if (!socket->setSocketDescriptor(descriptor))
        return delete socket;
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (!mKey.isNull()) {
        socket->setLocalCertificate(mCertificate);
        socket->setPrivateKey(mKey);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        socket->startServerEncryption();
    }
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
        *buffer += socket->readAll();
        while (handleOne(socket, *buffer)) {
        }
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

// Takes one complete request off the front of the buffer and answers it; false when the
// buffer holds no complete request yet.
bool HttpTestServer::handleOne(QTcpSocket *socket, QByteArray &buffer)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    Request request{requestLine.value(0), requestLine.value(1), {}, {}};
    for (const QByteArray &line : lines.mid(1)) {
        if (line.contains(':'))
            request.headers.append({line.left(line.indexOf(':')).trimmed(), line.mid(line.indexOf(':') + 1).trimmed()});
    }
    const int length = request.header("Content-Length").toInt();
    if (buffer.size() < headEnd + 4 + length)
        return false;
    request.body = buffer.mid(headEnd + 4, length);
    buffer.remove(0, headEnd + 4 + length);

    mRequests.append(request);
    const auto responder = mResponders.value(request.path());
    const Response response = responder ? responder(request) : mResponses.value(request.path(), mDefault);
    emit requestReceived();
    if (response.never)
        return true;
    // The client logs the reason phrase of a failure.
    static const QHash<int, QByteArray> reasons = {{200, "OK"}, {301, "Moved Permanently"}, {302, "Found"},
        {303, "See Other"}, {307, "Temporary Redirect"}, {308, "Permanent Redirect"}, {400, "Bad Request"},
        {404, "Not Found"}, {500, "Internal Server Error"}};
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasons.value(response.status, "Status") + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    socket->write(head + "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n\r\n" + response.body);
    return true;
}
