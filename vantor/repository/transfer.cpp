#include "transfer.h"

#include "apiclient.h"
#include "ratelimiter.h"

#include "plugin/logging.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace Vantor {
namespace Internal {

Transfer::Transfer(QNetworkAccessManager *manager, const ServerAccess &access, const QUrl &url,
                   const QByteArray &contentType, const Guard &guard)
    : QObject(manager)
    , m_manager(manager)
    , m_access(access)
    , m_url(url)
    , m_contentType(contentType)
    , m_guard(guard)
{}

void Transfer::start()
{
    const qint64 wait = RateLimiter::remaining(m_url);
    if (wait > 0)
        QTimer::singleShot(int(wait), Qt::PreciseTimer, this, &Transfer::send);
    else
        send();
}

void Transfer::send()
{
    if (m_reply)
        m_reply->deleteLater();
    m_reply = m_manager->get(m_access.request(m_url, m_contentType));
    m_reply->setParent(this); // goes with the transfer, or with the manager before that
    connect(m_reply, &QNetworkReply::downloadProgress, this, &Transfer::downloadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &Transfer::onFinished);
    if (m_guard)
        m_guard(m_reply);
}

void Transfer::onFinished()
{
    const qint64 wait = m_reply->error() == QNetworkReply::OperationCanceledError ? -1 : RateLimiter::waitFor(*m_reply);
    if (wait >= 0 && m_waits < RateLimiter::MaximumWaits) {
        ++m_waits;
        RateLimiter::pause(m_url, wait);
        emit waiting(wait, m_url.host());
        start();
        return;
    }
    if (followRedirect())
        return;
    emit finished();
}

// Qt follows the redirects of requests without the token itself.
bool Transfer::followRedirect()
{
    if (m_reply->request().attribute(QNetworkRequest::RedirectPolicyAttribute).toInt()
        != QNetworkRequest::ManualRedirectPolicy)
        return false;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QUrl location = m_reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (status < 300 || status > 399 || location.isEmpty() || m_redirects >= ApiClient::MaximumRedirects)
        return false;
    const QUrl target = m_reply->url().resolved(location);
    const QString scheme = target.scheme();
    // As Qt's own policy: never from https to http, and only to web addresses.
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || (m_url.scheme() == QLatin1String("https") && scheme == QLatin1String("http"))) {
        qCDebug(apiLog) << "Redirect not followed:" << target.toString().left(1024);
        return false;
    }
    ++m_redirects;
    m_url = target;
    send();
    return true;
}

} // namespace Internal
} // namespace Vantor
