#include "qr/qrvalidator.h"

QrValidator::QrValidator(QObject *parent)
    : QObject(parent)
    , mClock(&QDateTime::currentDateTimeUtc)
{
}

QrValidator::~QrValidator() = default;

void QrValidator::setClock(Clock clock)
{
    mClock = clock ? std::move(clock) : Clock(&QDateTime::currentDateTimeUtc);
}

QDateTime QrValidator::now() const
{
    return mClock();
}
