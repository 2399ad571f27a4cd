#include "transferguard.h"

#include "apiclient.h"
#include "serveraccess.h"
#include "plugin/logging.h"

#include <QNetworkReply>
#include <QTimer>

#include <memory>

namespace Vantor {
namespace Internal {

namespace {

// Set on a reply aborted because its body grew past the limit, or because it stalled.
const char tooLargeProperty[] = "vantorTooLarge";
const char stalledProperty[] = "vantorStalled";

// How much of an address a debug message quotes: servers choose what they send.
constexpr int QuoteLimit = 1024;

} // namespace

void TransferGuard::watch(QNetworkReply *reply)
{
    const QString url = reply->url().toString().left(QuoteLimit);
    const int timeout = ApiClient::transferTimeout();
    // A server that accepts and never sends must not hold the request (and a pool thread) for ever.
    auto stallTimer = new QTimer(reply);
    stallTimer->setSingleShot(true);
    stallTimer->setInterval(timeout);
    QObject::connect(stallTimer, &QTimer::timeout, reply, [reply, url] {
        qCDebug(apiLog) << "Transfer stalled, aborting:" << url;
        reply->setProperty(stalledProperty, true);
        reply->abort();
    });
    const auto restartTimer = [stallTimer] { stallTimer->start(); };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, stallTimer, restartTimer);
    QObject::connect(reply, &QNetworkReply::downloadProgress, stallTimer, restartTimer);
    // One that announces more than the limit is refused before its body comes, one that brings
    // more while it comes.
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > ApiClient::MaximumBodyBytes)
            refuseTooLarge(reply);
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > ApiClient::MaximumBodyBytes && reply->isRunning())
            refuseTooLarge(reply);
    });
    QObject::connect(reply, &QNetworkReply::uploadProgress, stallTimer, restartTimer);
    stallTimer->start();

    // Nor one that sends a byte now and then: each period must bring the minimum rate's worth.
    auto rateTimer = new QTimer(reply);
    rateTimer->setInterval(timeout);
    auto received = std::make_shared<qint64>(0);
    auto periodStart = std::make_shared<qint64>(0);
    QObject::connect(reply, &QNetworkReply::downloadProgress, rateTimer,
                     [received](qint64 bytes, qint64) { *received = bytes; });
    QObject::connect(rateTimer, &QTimer::timeout, reply, [reply, url, received, periodStart, rateTimer] {
        const qint64 wanted = qint64(ApiClient::MinimumTransferRate) * rateTimer->interval() / 1000;
        if (*received - *periodStart < wanted) {
            qCDebug(apiLog) << "Transfer too slow, aborting:" << url;
            reply->setProperty(stalledProperty, true);
            reply->abort();
            return;
        }
        *periodStart = *received;
    });
    rateTimer->start();
}

void TransferGuard::refuseTooLarge(QNetworkReply *reply)
{
    reply->setProperty(tooLargeProperty, true);
    reply->abort();
}

Problem TransferGuard::problem(const QNetworkReply &reply)
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply.error() == QNetworkReply::NoError && status >= 200 && status <= 299)
        return Problem();
    if (reply.property(tooLargeProperty).toBool()) {
        return Problem(Problem::TooLarge, tr("Download larger than %1 MiB cancelled: %2")
                                              .arg(ApiClient::MaximumBodyBytes >> 20)
                                              .arg(reply.url().toString()));
    }
    if (status == 401 || status == 403) {
        return Problem(Problem::Unauthorized, tr("%1 refused access (HTTP %2): check the repository's access token.")
                                                  .arg(ServerAccess::serverName(reply.url()))
                                                  .arg(status));
    }
    return Problem(Problem::fromNetwork(status, reply.error(), reply.property(stalledProperty).toBool()),
                   tr("Network error: %1").arg(reply.errorString()));
}

} // namespace Internal
} // namespace Vantor
