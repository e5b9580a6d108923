#pragma once

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

#include <functional>

namespace manager {

// The one sink of every Qt log message of the process: installs itself as the message
// handler and writes each line, prefixed with the seconds since start, to the system log
// and/or standard error. Created once by instance(), never destroyed; any thread may log.
class Logger
{
public:
    enum Level {
        Errors = 0,     // critical and fatal
        Warnings = 1,
        Info = 2,
        Debug = 3,
        Everything = 4  // Qt's own categories too
    };

    // Where records go and what times them; tests swap these so nothing reaches the
    // real system log and the prefix is predictable. An empty function restores the default.
    using SyslogWriter = std::function<void(int priority, const QByteArray &record)>;
    using StderrWriter = std::function<void(const QByteArray &line)>;
    using Clock = std::function<double()>; // milliseconds on a clock that never jumps

    static Logger *instance();

    void setSyslog(bool on);
    void setStderr(bool on);
    void setColor(bool on);
    void setLevel(Level level);
    void setLevel(int level);

    // Until release(), records are kept in memory: at start the outputs are not known before
    // the command line and the settings file are read. Records still kept when the process
    // exits, or when too many pile up, go to standard error.
    void hold();
    // Writes the kept records, in order and with their own times, to the outputs as now set.
    void release();

    QMutex *getMutex();
    bool getSyslog() const;
    bool getStderr() const;
    double getStartTime() const;

    void setSyslogWriter(SyslogWriter writer);
    void setStderrWriter(StderrWriter writer);
    // Also restarts the elapsed time: instants of two different clocks don't compare.
    void setClock(Clock clock);
    // Takes the process's messages back after something else installed its own handler.
    void installMessageHandler();

    static void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    // A dump for the log, each line escaped on its own and joined by '\n': cut at '\n' into
    // records, it gives back exactly these lines, so a value inside one cannot begin a record.
    static QString joinLines(const QStringList &lines);

private:
    Logger();
    Q_DISABLE_COPY(Logger)

    void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);
    void write(QtMsgType type, const char *prefix, int prefixLength, const QByteArray &message, bool syslog,
               bool toStderr);
    void writeHeldToStderr();
    static void releaseAtExit();

    struct HeldRecord
    {
        QtMsgType type;
        QByteArray prefix;
        QByteArray message;
    };
    static constexpr int MaxHeld = 10000;

    mutable QMutex mMutex;
    bool mSyslog = true;
    bool mStderr = false;
    double mStartTime = 0.0;
    bool mHolding = false;
    QVector<HeldRecord> mHeld;
    SyslogWriter mSyslogWriter;
    StderrWriter mStderrWriter;
    Clock mClock;
};

} // namespace manager
