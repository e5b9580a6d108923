#pragma once

#include <QMap>
#include <QString>

// The status codes of a card product, the same in every layout that has them. Product
// records derive from it for their Status enum and the status names.
class CardProductStatus
{
public:
    enum Status : unsigned int {
        Expired = 12,
        Active = 15,
        Preallocated = 16,
        Blocked = 19,
        Pending = 33,
    };

    static QString statusToString(int status); // "UNKNOWN" for other codes

protected:
    // Codes by upper-case name.
    static const QMap<QString, int> &statusNames();
};
