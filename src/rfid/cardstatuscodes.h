#pragma once

#include <QString>

// The card status codes, the same in every layout that has them; 0, 6, 7 and 8 deny
// nothing. A layout's state record derives from it with the integer type it stores the
// status in.
template <typename Code>
class CardStatusCodes
{
public:
    enum Status : Code {
        Active = 0,
        NotIssued = 1,
        BlockedStolen = 2,
        BlockedLost = 3,
        BlockedRefunded = 4,
        BlockedOverlimit = 5,
        Monitored = 6,
        AutoRealoadDisabled = 7,
        Unblocked = 8,
        BlockedMisuse = 9,
        BlockedDamaged = 13,
    };

    static QString statusToString(int status) // "Unknown" for other codes
    {
        switch (status) {
        case Active: return QStringLiteral("Active");
        case NotIssued: return QStringLiteral("NotIssued");
        case BlockedStolen: return QStringLiteral("BlockedStolen");
        case BlockedLost: return QStringLiteral("BlockedLost");
        case BlockedRefunded: return QStringLiteral("BlockedRefunded");
        case BlockedOverlimit: return QStringLiteral("BlockedOverlimit");
        case Monitored: return QStringLiteral("Monitored");
        case AutoRealoadDisabled: return QStringLiteral("AutoRealoadDisabled");
        case Unblocked: return QStringLiteral("Unblocked");
        case BlockedMisuse: return QStringLiteral("BlockedMisuse");
        case BlockedDamaged: return QStringLiteral("BlockedDamaged");
        default: return QStringLiteral("Unknown");
        }
    }
};
