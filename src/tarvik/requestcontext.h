#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <QUrl>

namespace tarvik {

// What the back-end client remembers of one request in flight, and its time-out timer: a child
// of its reply, so both live exactly as long as the reply. Lives on the client's thread.
class RequestContext : public QObject
{
    Q_OBJECT
public:
    enum class Method { Get, Post };

    // `origin` is the URL the caller asked for: a redirected request keeps it, so its answer
    // still reaches the parser of the path that was asked for.
    RequestContext(Method method, const QUrl &origin, const QJsonObject &body, int timeoutMs, int redirects,
                   QObject *parent);
    ~RequestContext() override;

    Method method() const { return mMethod; }
    QUrl origin() const { return mOrigin; }
    QJsonObject body() const { return mBody; }
    int timeoutMs() const { return mTimeoutMs; }
    int redirects() const { return mRedirects; }
    qint64 elapsedMs() const { return mElapsed.elapsed(); }
    int lastPercent() const { return mLastPercent; }
    void setLastPercent(int percent) { mLastPercent = percent; }
    QTimer *timer() { return &mTimer; }

private:
    Q_DISABLE_COPY(RequestContext)

    Method mMethod = Method::Post;
    QUrl mOrigin;
    QJsonObject mBody;
    int mTimeoutMs = 0;
    int mRedirects = 0;
    QElapsedTimer mElapsed;
    int mLastPercent = 0;
    QTimer mTimer{this};
};

} // namespace tarvik
