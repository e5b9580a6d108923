#include "rfid/zetoluc/periodpass.h"

namespace ZetoLUC {

QString PeriodPass::statusToString(int status)
{
    switch (status) {
    case Expired: return QStringLiteral("EXPIRED");
    case Active: return QStringLiteral("ACTIVE");
    case Preallocated: return QStringLiteral("PREALLOCATED");
    case Blocked: return QStringLiteral("BLOCKED");
    case Pending: return QStringLiteral("PENDING");
    default: return QStringLiteral("UNKNOWN");
    }
}

} // namespace ZetoLUC
