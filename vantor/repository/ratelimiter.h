#pragma once

#include <QByteArray>
#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QNetworkReply;
class QUrl;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Servers that limit requests (429, or 503 with a hint) say when to come back; until then no request of
// any client or worker goes to that server (scheme, host and port). Process-wide and thread-safe.
class RateLimiter
{
public:
    static constexpr int MaximumWaits = 3;            // per request; then its failure counts as transient
    static constexpr qint64 DefaultWaitMs = 60 * 1000; // a 429 that names no time
    static constexpr qint64 DefaultMaximumWaitMs = 10 * 60 * 1000;
    static void setMaximumWait(qint64 milliseconds); // tests shorten it
    static qint64 maximumWait();

    // How long an answer asks to wait, at most maximumWait(); -1 when it is no rate limit. A plain
    // 503 is an outage, left to the engine's retries. `nowMs`: milliseconds since the epoch.
    static qint64 waitFor(int httpStatus, const QByteArray &retryAfter, const QByteArray &rateLimitReset,
                          qint64 nowMs);
    static qint64 waitFor(const QNetworkReply &reply);

    // No request goes to the url's server for that long (or longer, when it already waits longer).
    static void pause(const QUrl &url, qint64 milliseconds);
    static qint64 remaining(const QUrl &url);
};

} // namespace Internal
} // namespace Vantor
