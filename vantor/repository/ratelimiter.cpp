#include "ratelimiter.h"

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkReply>
#include <QUrl>

#include <atomic>

namespace Vantor {
namespace Internal {

namespace {

std::atomic<qint64> s_maximumWait{RateLimiter::DefaultMaximumWaitMs};

struct Pauses
{
    QMutex mutex;
    QHash<QString, qint64> until; // by server, in milliseconds since the epoch
};

Pauses &pauses()
{
    static Pauses instance;
    return instance;
}

QString serverKey(const QUrl &url)
{
    return url.scheme().toLower() + QLatin1Char('|') + url.host().toLower() + QLatin1Char('|')
           + QString::number(url.port(-1));
}

// An HTTP date: IMF-fixdate, or the obsolete RFC 850 and asctime forms.
qint64 httpDateMs(const QByteArray &text)
{
    const QString value = QString::fromLatin1(text.simplified());
    for (const char *format : {"ddd, dd MMM yyyy hh:mm:ss 'GMT'", "dddd, dd-MMM-yy hh:mm:ss 'GMT'",
                               "ddd MMM d hh:mm:ss yyyy"}) {
        QDateTime date = QLocale::c().toDateTime(value, QLatin1String(format));
        if (date.isValid()) {
            date.setTimeSpec(Qt::UTC);
            return date.toMSecsSinceEpoch();
        }
    }
    return -1;
}

} // namespace

void RateLimiter::setMaximumWait(qint64 milliseconds)
{
    s_maximumWait = milliseconds;
}

qint64 RateLimiter::maximumWait()
{
    return s_maximumWait;
}

qint64 RateLimiter::waitFor(int httpStatus, const QByteArray &retryAfter, const QByteArray &rateLimitReset,
                            qint64 nowMs)
{
    const bool hinted = !retryAfter.trimmed().isEmpty() || !rateLimitReset.trimmed().isEmpty();
    if (httpStatus != 429 && !(httpStatus == 503 && hinted))
        return -1;
    qint64 wait = DefaultWaitMs;
    bool isNumber = false;
    const qint64 seconds = retryAfter.trimmed().toLongLong(&isNumber);
    if (isNumber) {
        wait = seconds * 1000;
    } else if (const qint64 date = httpDateMs(retryAfter); date >= 0) {
        wait = date - nowMs;
    } else {
        const qint64 reset = rateLimitReset.trimmed().toLongLong(&isNumber);
        if (isNumber)
            wait = reset * 1000 - nowMs;
    }
    return qBound<qint64>(0, wait, maximumWait());
}

qint64 RateLimiter::waitFor(const QNetworkReply &reply)
{
    return waitFor(reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply.rawHeader("Retry-After"),
                   reply.rawHeader("RateLimit-Reset"), QDateTime::currentMSecsSinceEpoch());
}

void RateLimiter::pause(const QUrl &url, qint64 milliseconds)
{
    Pauses &all = pauses();
    QMutexLocker locker(&all.mutex);
    qint64 &until = all.until[serverKey(url)];
    until = qMax(until, QDateTime::currentMSecsSinceEpoch() + milliseconds);
}

qint64 RateLimiter::remaining(const QUrl &url)
{
    Pauses &all = pauses();
    QMutexLocker locker(&all.mutex);
    const auto found = all.until.constFind(serverKey(url));
    return found == all.until.cend() ? 0 : qMax<qint64>(0, *found - QDateTime::currentMSecsSinceEpoch());
}

} // namespace Internal
} // namespace Vantor
