#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

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

    QList<Entry> entries() const;
    QStringList texts() const;
    bool contains(const QString &text) const { return texts().contains(text); } // an exact line
    bool containsPart(const QString &fragment) const;                           // a line containing the fragment
    int count(const QString &text) const { return texts().count(text); }
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    mutable std::mutex mMutex;
    QList<Entry> mEntries;
    QtMessageHandler mPrevious = nullptr;
};
