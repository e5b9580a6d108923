#include "framework/logtag.h"

#include <QDebug>
#include <QLoggingCategory>

namespace manager {

void LogTag::debug(const QString &text) const
{
    if (isDebugEnabled())
        qDebug().noquote() << mTag + text;
}

void LogTag::info(const QString &text) const
{
    if (isInfoEnabled())
        qInfo().noquote() << mTag + text;
}

void LogTag::warning(const QString &text) const
{
    if (isWarningEnabled())
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

bool LogTag::isInfoEnabled()
{
    return QLoggingCategory::defaultCategory()->isInfoEnabled();
}

bool LogTag::isWarningEnabled()
{
    return QLoggingCategory::defaultCategory()->isWarningEnabled();
}

} // namespace manager
