#include "support/fakebroker.h"

#include <QTcpSocket>

FakeBroker::FakeBroker(QObject *parent)
    : QObject(parent)
{
    connect(&mServer, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = mServer.nextPendingConnection()) {
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            mSockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

void FakeBroker::send(const QByteArray &bytes)
{
    for (const auto &s : mSockets) {
        if (s && s->state() == QAbstractSocket::ConnectedState)
            s->write(bytes);
    }
}

void FakeBroker::onReadyRead(QTcpSocket *socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    forever {
        // Fixed header: one type byte, then the remaining length in 7-bit groups.
        int length = 0;
        int pos = 1;
        bool complete = false;
        for (int shift = 0; !complete && pos < buffer.size() && pos <= 4; shift += 7) {
            length |= (quint8(buffer.at(pos)) & 0x7f) << shift;
            complete = !(quint8(buffer.at(pos++)) & 0x80);
        }
        if (!complete || buffer.size() < pos + length)
            break;
        const quint8 type = quint8(buffer.at(0)) >> 4;
        const QByteArray body = buffer.mid(pos, length);
        buffer.remove(0, pos + length);
        mPackets.append(type);
        if (type == Connect && mConnackCode >= 0) {
            socket->write(QByteArray::fromHex("200200") + char(mConnackCode));
            if (mConnackCode != 0)
                socket->disconnectFromHost();
            else
                socket->write(mAfterConnack);
        } else if (type == Subscribe) {
            // Packet id, then (topic length, topic, QoS) per filter: grant QoS 0 to each.
            QByteArray ack = body.left(2);
            for (int at = 2; at + 2 <= body.size(); at += 3 + ((quint8(body.at(at)) << 8) | quint8(body.at(at + 1))))
                ack.append('\0');
            socket->write(char(0x90) + QByteArray(1, char(ack.size())) + ack);
        } else if (type == PingReq && mAnswerPings) {
            socket->write(QByteArray::fromHex("d000"));
        }
    }
    socket->setProperty("buffer", buffer);
}
