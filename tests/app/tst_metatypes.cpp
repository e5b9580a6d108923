#include "app/metatypes.h"

#include "db/device.h"
#include "db/employee.h"
#include "db/emvticketresp.h"
#include "db/scblacklistentry.h"
#include "tarvik/route.h"
#include "tickets/qrticket.h"

#include <QtTest>

// The names the signals of the gateway, the OBU link and the validation service write: a
// queued connection finds its argument types by these names.
class tst_MetaTypes : public QObject
{
    Q_OBJECT
private slots:
    void registeredUnderTheirNames();
};

void tst_MetaTypes::registeredUnderTheirNames()
{
    registerMetaTypes();
    const QList<QPair<const char *, int>> types{
        {"tarvik_route_ptr", qMetaTypeId<std::shared_ptr<tarvik::Route>>()},
        {"qrticket_ptr", qMetaTypeId<std::shared_ptr<QrTicket>>()},
        {"SCBlacklistEntry::Ptr", qMetaTypeId<SCBlacklistEntry::Ptr>()},
        {"EMVticketResp::Ptr", qMetaTypeId<EMVticketResp::Ptr>()},
        {"Employee::Ptr", qMetaTypeId<Employee::Ptr>()},
        {"Device::Ptr", qMetaTypeId<Device::Ptr>()},
    };
    for (const auto &type : types)
        QVERIFY2(QMetaType::type(type.first) == type.second, type.first);
}

QTEST_GUILESS_MAIN(tst_MetaTypes)
#include "tst_metatypes.moc"
