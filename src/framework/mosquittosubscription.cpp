#include "framework/mosquittosubscription.h"

namespace manager {

MosquittoSubscription::MosquittoSubscription(const QString &filter, quint8 qos, QObject *parent)
    : QObject(parent)
    , mFilter(filter)
    , mQos(qos)
{
    // Receivers are connected queued, so the message type must be known to the meta-type system.
    static const int registered = qRegisterMetaType<manager::MosquittoMessage>("manager::MosquittoMessage");
    Q_UNUSED(registered)
}

MosquittoSubscription::~MosquittoSubscription() = default;

} // namespace manager
