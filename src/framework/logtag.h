#pragma once

#include <QString>

namespace manager {

// A component's log tag, declared once at the top of its .cpp: each line is the tag followed
// by the text, written on the default category at the chosen level.
class LogTag
{
public:
    explicit LogTag(const QString &tag) : mTag(tag) {}

    const QString &tag() const { return mTag; }

    void debug(const QString &text) const;
    void info(const QString &text) const;
    void warning(const QString &text) const;
    void critical(const QString &text) const;

    // For lines written once per message: callers skip building them when nobody reads them.
    static bool isDebugEnabled();

private:
    QString mTag;
};

} // namespace manager
