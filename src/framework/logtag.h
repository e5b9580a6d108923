#pragma once

#include <QString>

#include <utility>

namespace manager {

// A component's log tag, declared once at the top of its .cpp: each line is the tag followed
// by the text, written on the default category at the chosen level. A line of a level the
// logger drops costs only the level check, but text built for it beforehand is built in vain:
// on the roads of a tap or a scan the text comes as a callable that builds it, called only
// when the line will be written:
//   kLog.info([&] { return QStringLiteral("Parsing done in %1ms").arg(elapsed); });
class LogTag
{
public:
    explicit LogTag(const QString &tag) : mTag(tag) {}

    const QString &tag() const { return mTag; }

    void debug(const QString &text) const;
    void info(const QString &text) const;
    void warning(const QString &text) const;
    void critical(const QString &text) const;

    template <typename Build, typename = decltype(std::declval<Build &>()())>
    void debug(Build build) const
    {
        if (isDebugEnabled())
            debug(QString(build()));
    }
    template <typename Build, typename = decltype(std::declval<Build &>()())>
    void info(Build build) const
    {
        if (isInfoEnabled())
            info(QString(build()));
    }
    template <typename Build, typename = decltype(std::declval<Build &>()())>
    void warning(Build build) const
    {
        if (isWarningEnabled())
            warning(QString(build()));
    }

    static bool isDebugEnabled();
    static bool isInfoEnabled();
    static bool isWarningEnabled();

private:
    QString mTag;
};

} // namespace manager
