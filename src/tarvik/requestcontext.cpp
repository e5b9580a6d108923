#include "tarvik/requestcontext.h"

namespace tarvik {

RequestContext::RequestContext(Method method, const QUrl &origin, const QJsonObject &body, int timeoutMs,
                               int redirects, QObject *parent)
    : QObject(parent)
    , mMethod(method)
    , mOrigin(origin)
    , mBody(body)
    , mTimeoutMs(timeoutMs)
    , mRedirects(redirects)
{
    mElapsed.start();
}

RequestContext::~RequestContext() = default;

} // namespace tarvik
