#include "inspection/rfidinspectorfactory.h"

#include "inspection/zetodesinspector_v2.h"
#include "inspection/zetodesinspector_v3.h"
#include "inspection/zetolucinspector.h"
#include "inspection/zetolucinspector_v2.h"
#include "rfid/zetodes_v2/card.h"
#include "rfid/zetodes_v3/card.h"
#include "rfid/zetoluc/card.h"
#include "rfid/zetolucv2/card.h"

namespace {

using Maker = RfidInspector *(*)(DBManager &db);

template <typename Inspector>
RfidInspector *make(DBManager &db)
{
    return new Inspector(db);
}

struct Row
{
    const QString &templateName;
    Maker make;
};

// Tried in this order; a new card layout adds its row.
const Row kInspectors[] = {
    {ZetoDes_v3::Card::MyTemplate, &make<ZetoDesInspector_v3>},
    {ZetoDes_v2::Card::MyTemplate, &make<ZetoDesInspector_v2>},
    {ZetoLUC::Card::MyTemplate, &make<ZetoLucInspector>},
    {ZetoLUCv2::Card::MyTemplate, &make<ZetoLUCInspector_v2>},
};

} // namespace

RfidInspector *RfidInspectorFactory::create(const QString &templateName, DBManager &db, std::shared_ptr<Basket>)
{
    for (const Row &row : kInspectors) {
        if (templateName == row.templateName)
            return row.make(db);
    }
    return nullptr;
}
