#include "framework/logger.h"

#include <QLoggingCategory>
#include <QString>

#include <syslog.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace manager {

namespace {

// Set while this thread is inside the handler or a setter: the mutex is not recursive,
// so a message raised from in there must not come back through the lock.
thread_local bool tInsideLogger = false;

class InsideGuard
{
public:
    explicit InsideGuard(QMutex *mutex) : mLock(mutex) { tInsideLogger = true; }
    ~InsideGuard() { tInsideLogger = false; }

private:
    QMutexLocker mLock;
};

// Seconds since start must not jump when the device sets its clock during start-up.
double monotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (double(now.tv_sec) * 1e9 + double(now.tv_nsec)) / 1e6;
}

void writeToSyslog(int priority, const QByteArray &record)
{
    // The text is an argument, never the format: a '%' in a message must stay a '%'.
    ::syslog(priority, "%s", record.constData());
}

// A record is one line of text: a line break or other control character in a message (a
// peer's text, say) would forge a record or reach the terminal, so it is written escaped.
bool mustEscape(ushort c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

QString escaped(const QString &text)
{
    const ushort *data = reinterpret_cast<const ushort *>(text.constData());
    const int size = text.size();
    int at = 0;
    while (at < size && !mustEscape(data[at]))
        ++at;
    if (at == size)
        return text;
    QString out;
    out.reserve(size + 8);
    out.append(text.constData(), at);
    for (; at < size; ++at) {
        const ushort c = data[at];
        if (!mustEscape(c))
            out.append(QChar(c));
        else if (c == '\n')
            out.append(QLatin1String("\\n"));
        else if (c == '\r')
            out.append(QLatin1String("\\r"));
        else if (c == '\t')
            out.append(QLatin1String("\\t"));
        else if (c <= 0xff)
            out.append(QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0')));
        else
            out.append(QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0')));
    }
    return out;
}

void writeToStderr(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

const char *const PlainPattern =
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - %{endif}%{message}";

const char *const ColorPattern =
    "%{if-category}[%{category}] %{endif}"
    "%{if-info}%{message}%{endif}"
    "%{if-warning}\x1b[33m%{message}\x1b[39m%{endif}"
    "%{if-debug}\x1b[35m%{message}\x1b[39m%{endif}"
    "%{if-critical}\x1b[31m%{message}\x1b[39m%{endif}"
    "%{if-fatal}%{function} at %{file}:%{line} (%{pid}:%{threadid}:%{qthreadptr}) - \x1b[31m%{message}\x1b[39m%{endif}";

const char *const LevelRules[] = {
    "*=true\n*.warning=false\n*.info=false\n*.debug=false\nqt.*=false",
    "*=true\n*.info=false\n*.debug=false\nqt.*=false",
    "*=true\n*.debug=false\nqt.*=false",
    "*=true\nqt.*=false",
    "*=true",
};

struct SyslogKind
{
    int priority;
    const char *word;
};

SyslogKind syslogKind(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return {LOG_DEBUG, "[debug] "};
    case QtWarningMsg:
        return {LOG_WARNING, "[warning] "};
    case QtCriticalMsg:
        return {LOG_CRIT, "[error] "};
    case QtFatalMsg:
        return {LOG_ERR, "[fatal] "};
    case QtInfoMsg:
        break;
    }
    return {LOG_INFO, ""};
}

} // namespace

Logger::Logger()
{
    mClock = monotonicMilliseconds;
    mSyslogWriter = writeToSyslog;
    mStderrWriter = writeToStderr;
    mStartTime = mClock();
    setColor(false);
    setLevel(2);
    installMessageHandler();
}

Logger *Logger::instance()
{
    // Never destroyed: threads may still log while static objects are torn down.
    static Logger *const logger = new Logger;
    return logger;
}

void Logger::setSyslog(bool on)
{
    InsideGuard guard(&mMutex);
    mSyslog = on;
}

void Logger::setStderr(bool on)
{
    InsideGuard guard(&mMutex);
    mStderr = on;
}

void Logger::setColor(bool on)
{
    InsideGuard guard(&mMutex);
    qSetMessagePattern(QString::fromLatin1(on ? ColorPattern : PlainPattern));
}

void Logger::setLevel(Level level)
{
    if (level < Errors || level > Everything)
        return;
    InsideGuard guard(&mMutex);
    QLoggingCategory::setFilterRules(QString::fromLatin1(LevelRules[level]));
}

void Logger::setLevel(int level)
{
    setLevel(level >= Errors && level <= Everything ? Level(level) : Info);
}

QMutex *Logger::getMutex()
{
    return &mMutex;
}

bool Logger::getSyslog() const
{
    QMutexLocker lock(&mMutex);
    return mSyslog;
}

bool Logger::getStderr() const
{
    QMutexLocker lock(&mMutex);
    return mStderr;
}

double Logger::getStartTime() const
{
    QMutexLocker lock(&mMutex);
    return mStartTime;
}

void Logger::setSyslogWriter(SyslogWriter writer)
{
    InsideGuard guard(&mMutex);
    mSyslogWriter = writer ? std::move(writer) : SyslogWriter(writeToSyslog);
}

void Logger::setStderrWriter(StderrWriter writer)
{
    InsideGuard guard(&mMutex);
    mStderrWriter = writer ? std::move(writer) : StderrWriter(writeToStderr);
}

void Logger::setClock(Clock clock)
{
    InsideGuard guard(&mMutex);
    mClock = clock ? std::move(clock) : Clock(monotonicMilliseconds);
    mStartTime = mClock();
}

QString Logger::joinLines(const QStringList &lines)
{
    QStringList escapedLines;
    escapedLines.reserve(lines.size());
    for (const QString &line : lines)
        escapedLines << escaped(line);
    return escapedLines.join(QLatin1Char('\n'));
}

void Logger::installMessageHandler()
{
    qInstallMessageHandler(&Logger::messageHandler);
}

void Logger::messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (tInsideLogger) {
        // Raised from inside the logger on this thread: taking the lock again would hang.
        const QByteArray line = escaped(text).toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        if (type == QtFatalMsg)
            std::abort();
        return;
    }
    instance()->handle(type, context, text);
}

void Logger::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    InsideGuard guard(&mMutex);
    // The text alone: the coloured pattern's own escape sequences stay.
    const QByteArray message = qFormatLogMessage(type, context, escaped(text)).toUtf8();
    const double elapsed = (mClock() - mStartTime) / 1000.0;

    char prefix[64];
    const int prefixLength = std::snprintf(prefix, sizeof prefix, "[%9.03f] ", elapsed);
    const int usable = qBound(0, prefixLength, int(sizeof prefix) - 1);

    if (!mHolding) {
        write(type, prefix, usable, message, mSyslog, mStderr);
    } else if (type != QtFatalMsg && mHeld.size() < MaxHeld) {
        mHeld.append({type, QByteArray(prefix, usable), message});
    } else {
        // Nowhere else to go yet.
        writeHeldToStderr();
        write(type, prefix, usable, message, false, true);
    }
    if (type == QtFatalMsg)
        std::abort();
}

void Logger::write(QtMsgType type, const char *prefix, int prefixLength, const QByteArray &message, bool syslog,
                   bool toStderr)
{
    if (syslog) {
        const SyslogKind kind = syslogKind(type);
        QByteArray record;
        record.reserve(prefixLength + 10 + message.size());
        record.append(prefix, prefixLength).append(kind.word).append(message);
        mSyslogWriter(kind.priority, record);
    }
    if (toStderr) {
        QByteArray line;
        line.reserve(prefixLength + message.size() + 1);
        line.append(prefix, prefixLength).append(message).append('\n');
        mStderrWriter(line);
    }
}

void Logger::hold()
{
    {
        InsideGuard guard(&mMutex);
        mHolding = true;
    }
    // A start that ends early (a bad command line, help) still says why.
    static const bool registered = std::atexit(&Logger::releaseAtExit) == 0;
    Q_UNUSED(registered)
}

void Logger::release()
{
    InsideGuard guard(&mMutex);
    mHolding = false;
    for (const HeldRecord &record : qAsConst(mHeld))
        write(record.type, record.prefix.constData(), record.prefix.size(), record.message, mSyslog, mStderr);
    mHeld = QVector<HeldRecord>();
}

void Logger::writeHeldToStderr()
{
    for (const HeldRecord &record : qAsConst(mHeld))
        write(record.type, record.prefix.constData(), record.prefix.size(), record.message, false, true);
    mHeld.clear();
}

void Logger::releaseAtExit()
{
    Logger *logger = instance();
    InsideGuard guard(&logger->mMutex);
    logger->writeHeldToStderr();
}

} // namespace manager
