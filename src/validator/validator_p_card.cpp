#include "validator/validator_p.h"

// The card side of the worker: card events of the reader client, the card validators, the
// reader's lights and the write-back.

void ValidatorPrivate::onCardFound(QVariantMap card)
{
    Q_UNUSED(card)
}

void ValidatorPrivate::onCardAutoread(QVariantMap card)
{
    Q_UNUSED(card)
}

void ValidatorPrivate::onCardRead(QVariantMap card)
{
    Q_UNUSED(card)
}

void ValidatorPrivate::onCardWritten(QVariantMap card)
{
    Q_UNUSED(card)
}

void ValidatorPrivate::onRfidError(QVariantMap rfidError)
{
    Q_UNUSED(rfidError)
}

void ValidatorPrivate::onFoundEmployeeCard(QString Uid, uint employee)
{
    emit foundEmployeeCard(Uid, employee);
}

bool ValidatorPrivate::isCardSupported(const QString &templateName)
{
    Q_UNUSED(templateName)
    return false;
}
