#include "app/metatypes.h"

#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "inspection/inspectorresult.h"
#include "tarvik/route.h"
#include "tickets/qrticket.h"
#include "validator/results/validatorresult.h"

#include <QMetaType>

void registerMetaTypes()
{
    // Queued connections find an argument's type by the name in the signal's signature.
    qRegisterMetaType<std::shared_ptr<tarvik::Route>>("tarvik_route_ptr");
    qRegisterMetaType<ValidatorResult>("ValidatorResult");
    qRegisterMetaType<std::shared_ptr<QrTicket>>("qrticket_ptr");
    qRegisterMetaType<SCBlacklistEntry::Ptr>("SCBlacklistEntry::Ptr");
    qRegisterMetaType<EMVticketResp::Ptr>("EMVticketResp::Ptr");
    qRegisterMetaType<Employee::Ptr>("Employee::Ptr");
    qRegisterMetaType<Device::Ptr>("Device::Ptr");
    // Inspection results go to the controller's handler and may be queued on to others.
    qRegisterMetaType<InspectorResult>("InspectorResult");
}
