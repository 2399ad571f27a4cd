#pragma once

#include "serveraccess.h"

#include <QObject>
#include <QUrl>

#include <functional>

QT_BEGIN_NAMESPACE
class QNetworkAccessManager;
class QNetworkReply;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// One GET as its requester sees it: the request, the redirects that a request with the token follows
// hop by hop, and the waits that a limiting server asks for. Lives in its manager's thread, as a child
// of the manager; finished() hands over the last reply.
class Transfer : public QObject
{
    Q_OBJECT

public:
    // Called for every reply the transfer makes, in the manager's thread: the transfer guards.
    using Guard = std::function<void(QNetworkReply *)>;

    Transfer(QNetworkAccessManager *manager, const ServerAccess &access, const QUrl &url,
             const QByteArray &contentType, const Guard &guard);

    // Sends the request once the server's pause, if any, is over.
    void start();
    QNetworkReply *reply() const { return m_reply; }

signals:
    // The server asked to wait this long before the request is sent again.
    void waiting(qint64 milliseconds, const QString &host);
    void downloadProgress(qint64 received, qint64 total);
    void finished();

private:
    void send();
    void onFinished();
    bool followRedirect();

    QNetworkAccessManager *const m_manager;
    const ServerAccess m_access;
    QUrl m_url;
    const QByteArray m_contentType;
    const Guard m_guard;
    QNetworkReply *m_reply = nullptr;
    int m_waits = 0;
    int m_redirects = 0;
};

} // namespace Internal
} // namespace Vantor
