#include "qr/qrvalidatorfactory.h"

#include "qr/dynamicvalidator.h"
#include "qr/urbanmelvavalidator_v1.h"
#include "tickets/qrticket.h"

QrValidatorFactory::~QrValidatorFactory() = default;

QrValidator *QrValidatorFactory::create(const std::shared_ptr<QrTicket> &ticket, QObject *parent,
                                        DBManager &db, const Configuration *settings) const
{
    if (!ticket)
        return nullptr;
    const QString type = ticket->getQrType();
    if (type == QLatin1String("DynamicQr"))
        return new DynamicValidator(parent, db, settings);
    if (type == QLatin1String("UrbanMelva_v1"))
        return new UrbanMelvaValidator_v1(parent, db, settings);
    return nullptr;
}
