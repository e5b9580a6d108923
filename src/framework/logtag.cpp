#include "framework/logtag.h"

#include <QDebug>
#include <QLoggingCategory>

namespace manager {

void LogTag::debug(const QString &text) const
{
    qDebug().noquote() << mTag + text;
}

void LogTag::info(const QString &text) const
{
    qInfo().noquote() << mTag + text;
}

void LogTag::warning(const QString &text) const
{
    qWarning().noquote() << mTag + text;
}

void LogTag::critical(const QString &text) const
{
    qCritical().noquote() << mTag + text;
}

bool LogTag::isDebugEnabled()
{
    return QLoggingCategory::defaultCategory()->isDebugEnabled();
}

} // namespace manager
