#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>

class QTcpSocket;

// A scripted MQTT 3.1.1 broker on a free loopback port, for what a real broker will not do on
// request: refuse a CONNECT with a given code, never answer it, send malformed packets. It reads
// just enough of each frame (type and remaining length) to answer CONNECT, SUBSCRIBE and PINGREQ,
// and records the type of every packet it receives.
class FakeBroker : public QObject
{
    Q_OBJECT
public:
    enum PacketType : quint8 { Connect = 1, Publish = 3, Subscribe = 8, PingReq = 12, Disconnect = 14 };

    explicit FakeBroker(QObject *parent = nullptr);

    bool listen() { return mServer.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return mServer.serverPort(); }

    // CONNACK return code for every CONNECT; -1 never answers. A refusal closes the connection.
    void setConnackCode(int code) { mConnackCode = code; }
    // Bytes written right after an accepting CONNACK.
    void setAfterConnack(const QByteArray &bytes) { mAfterConnack = bytes; }
    void setAnswerPings(bool answer) { mAnswerPings = answer; }

    int connectionCount() const { return mSockets.size(); } // TCP connections accepted so far
    int count(PacketType type) const { return mPackets.count(type); }
    // Writes raw bytes to every open connection.
    void send(const QByteArray &bytes);

private:
    void onReadyRead(QTcpSocket *socket); // answers each whole packet received

    QTcpServer mServer;
    QList<QPointer<QTcpSocket>> mSockets;
    int mConnackCode = 0;
    QByteArray mAfterConnack;
    bool mAnswerPings = true;
    QList<quint8> mPackets;
};
