#pragma once

#include <QStringList>

#include <mutex>

// Records every Qt log message (from any thread) while it lives, so a test can pin
// exact log lines; the previous message handler comes back on destruction.
// One capture at a time. It takes over from manager::Logger too, which gets the messages
// back afterwards: create the logger before a capture, not during one.
class LogCapture
{
public:
    struct Entry
    {
        QtMsgType type;
        QString text;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Entry> entries() const
    {
        std::lock_guard<std::mutex> lock(mMutex);
        return mEntries;
    }
    QStringList texts() const;
    bool contains(const QString &text) const { return texts().contains(text); } // an exact line
    bool containsPart(const QString &fragment) const { return !texts().filter(fragment).isEmpty(); }
    int count(const QString &text) const { return texts().count(text); }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mEntries.clear();
    }

private:
    mutable std::mutex mMutex;
    QList<Entry> mEntries;
    QtMessageHandler mPrevious = nullptr;
};
