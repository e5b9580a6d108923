#include "db/scblacklistentry.h"

#include "framework/logger.h"
#include "tarvik/jsonread.h"

#include <QStringList>

using namespace tarvik::json;

SCBlacklistEntry::SCBlacklistEntry(const QJsonObject &json)
    : mJson(json)
{
}

int SCBlacklistEntry::id() const
{
    return readInt(mJson, QLatin1String("id"));
}

QString SCBlacklistEntry::uid() const
{
    return readString(mJson, QLatin1String("smartCardBlacklistUid"));
}

QDateTime SCBlacklistEntry::timestamp() const
{
    return toLocalDateTime(mJson.value(QLatin1String("logDate")), QStringLiteral("yyyy-MM-dd'T'hh:mm:ss"));
}

int SCBlacklistEntry::deviceId() const
{
    return readInt(mJson, QLatin1String("deviceId"));
}

int SCBlacklistEntry::cardStatus() const
{
    return readInt(mJson, QLatin1String("status"));
}

SCBlacklistEntry::BlockReason SCBlacklistEntry::blockReason() const
{
    return static_cast<BlockReason>(readInt(mJson, QLatin1String("reason")));
}

int SCBlacklistEntry::userId() const
{
    return readInt(mJson, QLatin1String("userId"));
}

QString SCBlacklistEntry::toString() const
{
    return manager::Logger::joinLines({
        QStringLiteral("+--- BLACKLIST ENTRY --------------------"),
        QStringLiteral("| Entry ID     : ") + QString::number(id()),
        QStringLiteral("| Card UID     : ") + uid(),
        QStringLiteral("| Card Status  : ") + QString::number(cardStatus()),
        QStringLiteral("| Block Reason : ") + QString::number(static_cast<int>(blockReason())),
        QStringLiteral("| Block Date   : ") + timestamp().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
        QStringLiteral("| Block Device : ") + QString::number(deviceId()),
        QStringLiteral("| Block User   : ") + QString::number(userId()),
        QStringLiteral("+-----------------------------------------"),
    });
}
