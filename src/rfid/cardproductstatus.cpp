#include "rfid/cardproductstatus.h"

const QMap<QString, int> &CardProductStatus::statusNames()
{
    static const QMap<QString, int> names{
        {QStringLiteral("EXPIRED"), Expired},
        {QStringLiteral("ACTIVE"), Active},
        {QStringLiteral("PREALLOCATED"), Preallocated},
        {QStringLiteral("BLOCKED"), Blocked},
        {QStringLiteral("PENDING"), Pending},
    };
    return names;
}

QString CardProductStatus::statusToString(int status)
{
    static const QMap<int, QString> byCode = [] {
        QMap<int, QString> codes;
        for (auto it = statusNames().cbegin(); it != statusNames().cend(); ++it)
            codes.insert(it.value(), it.key());
        return codes;
    }();
    return byCode.value(status, QStringLiteral("UNKNOWN"));
}
