#pragma once

#include "problem.h"
#include "repository.h"
#include "serveraccess.h"
#include "transfer.h"

#include <QByteArray>
#include <QFile>
#include <QObject>

QT_BEGIN_NAMESPACE
class QNetworkAccessManager;
class QNetworkReply;
class QUrl;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// One example's download in a worker thread: its archive streamed into the file the engine made
// for it, and its picture beside it in memory, both over the worker's own network manager. Both
// end in this thread, so the worker goes on to its next example without waiting for the client's.
// Lives in the thread of the manager, and aborts what is still under way when destroyed.
class ExampleDownload : public QObject
{
    Q_OBJECT

public:
    // What the reply holds of the archive, and what is read from it at a time: no more of an
    // archive is ever in memory.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;

    ExampleDownload(QNetworkAccessManager *manager, const Repository::ExamplePtr &example,
                    QObject *parent = nullptr);

    // Whom the repository's access token may reach; set before start().
    void setAccess(const ServerAccess &access) { m_access = access; }
    ~ExampleDownload() override;

    // Without a valid picture address, only the archive. finished() follows, at once when the
    // archive's file cannot be opened.
    void start(const QUrl &archiveUrl, const QUrl &pictureUrl);
    bool isFinished() const { return m_pending == 0; }
    // Of the archive; none when it arrived whole.
    Problem problem() const { return m_problem; }
    // Of the picture; none when it arrived or none was asked for.
    Problem pictureProblem() const { return m_pictureProblem; }

signals:
    void progress(qint64 received, qint64 total);
    // A server asked to wait this long before a request is sent again.
    void waiting(qint64 milliseconds, const QString &host);
    void finished();

private:
    Transfer *get(const QUrl &url, const QByteArray &contentType, const Transfer::Guard &onReply = {});
    void writeArchive();
    void onArchiveFinished();
    void onPictureFinished();
    void failSaving(const QString &reason);
    void end();

    QNetworkAccessManager *const m_manager;
    const Repository::ExamplePtr m_example;
    QFile m_file;
    QByteArray m_block;
    qint64 m_written = 0;
    ServerAccess m_access;
    Transfer *m_archive = nullptr;
    Transfer *m_picture = nullptr;
    int m_pending = 0;
    Problem m_problem;
    Problem m_pictureProblem;
};

} // namespace Internal
} // namespace Vantor
