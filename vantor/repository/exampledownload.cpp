#include "exampledownload.h"

#include "apiclient.h"
#include "example.h"
#include "transferguard.h"
#include "plugin/logging.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace Vantor {
namespace Internal {

ExampleDownload::ExampleDownload(QNetworkAccessManager *manager, const Repository::ExamplePtr &example,
                                 QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_example(example)
{}

ExampleDownload::~ExampleDownload()
{
    for (Transfer *transfer : {m_archive, m_picture}) {
        if (!transfer)
            continue;
        transfer->disconnect(this);
        if (QNetworkReply *reply = transfer->reply()) {
            reply->disconnect(this);
            reply->abort();
        }
        delete transfer;
    }
}

void ExampleDownload::start(const QUrl &archiveUrl, const QUrl &pictureUrl)
{
    m_pending = pictureUrl.isValid() ? 2 : 1;
    // Made by the engine in the example's staging folder, perhaps only now: a file that is not
    // there is not ours to make.
    m_file.setFileName(m_example->archiveFile());
    if (m_file.fileName().isEmpty()
        || !m_file.open(QIODevice::WriteOnly | QIODevice::ExistingOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        failSaving(m_file.fileName().isEmpty()
                       ? QCoreApplication::translate("Vantor::Internal::DownloadService", "no staging folder")
                       : m_file.errorString());
        m_pending = 0;
        emit finished();
        return;
    }
    m_block.resize(int(ReadBufferBytes));
    // Each reply of the transfer (a redirect followed, a request sent again after a wait) streams.
    m_archive = get(archiveUrl, "application/zip", [this](QNetworkReply *reply) {
        reply->setReadBufferSize(ReadBufferBytes);
        connect(reply, &QNetworkReply::readyRead, this, &ExampleDownload::writeArchive);
        connect(reply, &QNetworkReply::downloadProgress, this, &ExampleDownload::progress);
    });
    connect(m_archive, &Transfer::finished, this, &ExampleDownload::onArchiveFinished);
    if (pictureUrl.isValid()) {
        m_picture = get(pictureUrl, "image/png");
        connect(m_picture, &Transfer::finished, this, &ExampleDownload::onPictureFinished);
    }
    m_archive->start();
    if (m_picture)
        m_picture->start();
}

Transfer *ExampleDownload::get(const QUrl &url, const QByteArray &contentType, const Transfer::Guard &onReply)
{
    qCDebug(apiLog) << "Requesting:" << url.toString().left(1024);
    auto transfer = new Transfer(m_manager, m_access, url, contentType, [onReply](QNetworkReply *reply) {
        TransferGuard::watch(reply);
        if (onReply)
            onReply(reply);
    });
    connect(transfer, &Transfer::waiting, this, &ExampleDownload::waiting);
    return transfer;
}

// The limit holds for what reaches the file, whatever the server announced. An error page is no
// part of the archive.
void ExampleDownload::writeArchive()
{
    QNetworkReply *reply = m_archive->reply();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        reply->skip(reply->bytesAvailable());
        return;
    }
    while (reply->isOpen() && reply->bytesAvailable() > 0) {
        const qint64 read = reply->read(m_block.data(), m_block.size());
        if (read <= 0)
            return;
        if (m_written + read > ApiClient::MaximumBodyBytes) {
            TransferGuard::refuseTooLarge(reply);
            return;
        }
        if (m_file.write(m_block.constData(), read) != read) {
            failSaving(m_file.errorString());
            reply->abort();
            return;
        }
        m_written += read;
    }
}

void ExampleDownload::onArchiveFinished()
{
    if (m_problem.isNull()) {
        writeArchive(); // what came with the end
        if (m_problem.isNull())
            m_problem = TransferGuard::problem(*m_archive->reply());
    }
    m_file.close();
    end();
}

void ExampleDownload::onPictureFinished()
{
    m_pictureProblem = TransferGuard::problem(*m_picture->reply());
    if (m_pictureProblem.isNull())
        m_example->setImage(m_picture->reply()->readAll());
    end();
}

// A full disk or a lost staging area is no fault of the server.
void ExampleDownload::failSaving(const QString &reason)
{
    m_problem = Problem(Problem::LocalError,
                        QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                    "Unable to save downloaded example: %1").arg(reason));
}

void ExampleDownload::end()
{
    if (--m_pending == 0)
        emit finished();
}

} // namespace Internal
} // namespace Vantor
