#include "tickets/qrticket.h"

QrTicket::QrTicket(const char *typeName)
    : mType(QString::fromUtf8(typeName))
{
}

QrTicket::~QrTicket() = default;

bool QrTicket::isEmpty() const
{
    return true;
}

QString QrTicket::toString() const
{
    return QString();
}

int QrTicket::id() const
{
    return 0;
}
