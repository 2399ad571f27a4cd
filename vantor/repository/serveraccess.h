#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

QT_BEGIN_NAMESPACE
class QNetworkRequest;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// How a repository's client may talk to servers: its access token goes only to the repository's own
// server (same scheme, host and port), never to object storage behind a redirect nor to a picture's
// host. Requests that carry it follow their redirects one by one, so that each hop is judged again.
class ServerAccess
{
public:
    static const QByteArray TokenHeader; // "PRIVATE-TOKEN"

    ServerAccess() = default;
    ServerAccess(const QUrl &server, const QByteArray &token);

    bool hasToken() const { return !m_token.isEmpty(); }
    bool carriesToken(const QUrl &url) const;
    QNetworkRequest request(const QUrl &url, const QByteArray &contentType) const;

    static bool isSameServer(const QUrl &a, const QUrl &b);
    // The host, and the port when it is not the scheme's own: how the user knows the server.
    static QString serverName(const QUrl &url);

private:
    QUrl m_server;
    QByteArray m_token;
};

} // namespace Internal
} // namespace Vantor
