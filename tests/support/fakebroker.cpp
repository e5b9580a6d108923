#include "support/fakebroker.h"

#include <QTcpServer>
#include <QTcpSocket>

FakeBroker::FakeBroker(QObject *parent)
    : QObject(parent)
    , mServer(new QTcpServer(this))
{
    connect(mServer, &QTcpServer::newConnection, this, &FakeBroker::onNewConnection);
}

FakeBroker::~FakeBroker() = default;

bool FakeBroker::listen()
{
    return mServer->listen(QHostAddress::LocalHost, 0);
}

quint16 FakeBroker::port() const
{
    return mServer->serverPort();
}

int FakeBroker::openConnections() const
{
    int n = 0;
    for (const auto &s : mSockets)
        n += (s && s->state() == QAbstractSocket::ConnectedState) ? 1 : 0;
    return n;
}

void FakeBroker::send(const QByteArray &bytes)
{
    for (const auto &s : mSockets) {
        if (s && s->state() == QAbstractSocket::ConnectedState)
            s->write(bytes);
    }
}

void FakeBroker::onNewConnection()
{
    while (QTcpSocket *socket = mServer->nextPendingConnection()) {
        ++mConnections;
        mSockets.append(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            emit connectionClosed();
            socket->deleteLater();
        });
    }
}

void FakeBroker::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    forever {
        // Fixed header: one type byte, then the remaining length in 7-bit groups.
        if (buffer.size() < 2)
            break;
        int length = 0;
        int shift = 0;
        int pos = 1;
        bool complete = false;
        while (pos < buffer.size() && pos <= 4) {
            const quint8 byte = quint8(buffer.at(pos++));
            length |= (byte & 0x7f) << shift;
            shift += 7;
            if (!(byte & 0x80)) {
                complete = true;
                break;
            }
        }
        if (!complete || buffer.size() < pos + length)
            break;
        const quint8 header = quint8(buffer.at(0));
        const QByteArray body = buffer.mid(pos, length);
        buffer.remove(0, pos + length);
        handle(socket, header, body);
    }
    socket->setProperty("buffer", buffer);
}

void FakeBroker::handle(QTcpSocket *socket, quint8 header, const QByteArray &body)
{
    const quint8 type = header >> 4;
    mPackets.append(type);
    switch (type) {
    case Connect:
        if (mConnackCode >= 0) {
            socket->write(QByteArray::fromHex("20020000").replace(3, 1, QByteArray(1, char(mConnackCode))));
            if (mConnackCode != 0)
                socket->disconnectFromHost();
            else if (!mAfterConnack.isEmpty())
                socket->write(mAfterConnack);
        }
        break;
    case Subscribe: {
        // Packet id, then (topic length, topic, QoS) per filter: grant QoS 0 to each.
        QByteArray ack = body.left(2);
        for (int pos = 2; pos + 2 <= body.size();) {
            const int len = (quint8(body.at(pos)) << 8) | quint8(body.at(pos + 1));
            pos += 2 + len + 1;
            ack.append('\0');
        }
        socket->write(QByteArray(1, char(0x90)) + QByteArray(1, char(ack.size())) + ack);
        break;
    }
    case PingReq:
        if (mAnswerPings)
            socket->write(QByteArray::fromHex("d000"));
        break;
    default:
        break;
    }
    emit packetReceived(type);
}
