#include "rfid/zetoluc/storedjourneys.h"

#include "rfid/zetoluc/periodpass.h"

namespace ZetoLUC {

// Both products of the layout share one status table.
QString StoredJourneys::statusToString(int status)
{
    return PeriodPass::statusToString(status);
}

} // namespace ZetoLUC
