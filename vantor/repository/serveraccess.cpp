#include "serveraccess.h"

#include "apiclient.h"

#include <QNetworkRequest>

namespace Vantor {
namespace Internal {

namespace {

int defaultPort(const QUrl &url)
{
    return url.scheme() == QLatin1String("https") ? 443 : 80;
}

} // namespace

const QByteArray ServerAccess::TokenHeader = "PRIVATE-TOKEN";

ServerAccess::ServerAccess(const QUrl &server, const QByteArray &token)
    : m_server(server)
    , m_token(token)
{}

bool ServerAccess::carriesToken(const QUrl &url) const
{
    return hasToken() && isSameServer(url, m_server);
}

QNetworkRequest ServerAccess::request(const QUrl &url, const QByteArray &contentType) const
{
    QNetworkRequest request = ApiClient::networkRequest(url, contentType);
    if (carriesToken(url)) {
        request.setRawHeader(TokenHeader, m_token);
        // Qt would send the header on to wherever a redirect leads.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    }
    return request;
}

bool ServerAccess::isSameServer(const QUrl &a, const QUrl &b)
{
    const QString scheme = a.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && scheme == b.scheme().toLower()
           && !a.host().isEmpty() && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
           && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

QString ServerAccess::serverName(const QUrl &url)
{
    const int port = url.port(defaultPort(url));
    return port == defaultPort(url) ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(port);
}

} // namespace Internal
} // namespace Vantor
