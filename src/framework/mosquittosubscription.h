#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace manager {

// One message as a subscription hands it to its receivers.
struct MosquittoMessage
{
    QString topic;
    QByteArray payload;
    quint8 qos = 0;
    bool retain = false;
    int id = 0; // packet id, 0 for QoS 0
};

// A subscription made by MosquittoClient on the current connection: emits every message whose
// topic matches its filter, right after the client's own messageReceived. It stays silent once
// the connection that made it has gone; whoever holds it may delete it at any time.
class MosquittoSubscription : public QObject
{
    Q_OBJECT
public:
    MosquittoSubscription(const QString &filter, quint8 qos, QObject *parent = nullptr);
    ~MosquittoSubscription() override;
    Q_DISABLE_COPY(MosquittoSubscription)

    QString filter() const { return mFilter; }
    quint8 qos() const { return mQos; }

signals:
    void messageReceived(const manager::MosquittoMessage &message);

private:
    QString mFilter;
    quint8 mQos = 0;
};

} // namespace manager

Q_DECLARE_METATYPE(manager::MosquittoMessage)
