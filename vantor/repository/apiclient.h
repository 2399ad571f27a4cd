#pragma once

#include "problem.h"
#include "projectlisting.h"
#include "repository.h"
#include "serveraccess.h"

#include <QFuture>
#include <QJsonDocument>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QNetworkReply;
class QThreadPool;
class QNetworkRequest;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class Transfer;

// REST client of one repository: finds the group, fetches its projects and downloads examples.
class ApiClient : public QObject
{
    Q_OBJECT

public:
    using SuccessHandler = std::function<void(QNetworkReply &)>;
    using ErrorHandler = std::function<void(const Problem &)>;

    // A transfer that receives nothing for this long is aborted and fails like a network error.
    static constexpr int DefaultTransferTimeoutMs = 60 * 1000;
    static constexpr qint64 MaximumBodyBytes = qint64(256) << 20;
    static void setTransferTimeout(int milliseconds); // tests shorten it
    static int transferTimeout();
    // Every period of that length must bring at least this many bytes per second, or the transfer
    // is aborted: a server that sends a byte now and then must not hold a worker for ever.
    static constexpr int MinimumTransferRate = 1024;
    static constexpr int MaximumRedirects = 5;

    // Downloads wait on the network, not on the processor: they run on a pool of the plugin's own,
    // as wide as the per-host connection limit of browsers and Qt's network manager, so that they
    // never hold a thread of the IDE's global pool.
    static constexpr int DownloadWorkers = 6;
    static QThreadPool *downloadPool();

    // The request of every transfer: its content type and the redirect policy.
    static QNetworkRequest networkRequest(const QUrl &url, const QByteArray &contentType);

    explicit ApiClient(const QUrl &url, QObject *parent = nullptr);
    ~ApiClient() override;

    // The repository's access token, sent to its own server only; before the search starts.
    void setToken(const QByteArray &token);

    quint64 groupId() const { return m_groupId; }
    QUrl baseUrl() const { return m_baseUrl; }
    QString group() const { return m_group; }
    // The group search is queued or under way: restarting now would only start it again.
    bool isSearching() const { return m_searching; }

    // Each archive goes into the example's archive file, which must be there; see ExampleDownload.
    void download(const Repository::Examples &examples);
    // Asks for the pictures of the examples that have none yet, once each; pictureArrived() follows.
    void fetchPictures(const Repository::Examples &examples);
    // Drops the examples of the downloads that no worker has started yet, and returns them.
    Repository::Examples cancelQueued();

public slots:
    void fetch();

signals:
    void ready();
    void statusChanged(const QString &status);
    void fetched(const Vantor::Internal::Repository::Examples &examples);
    // The example's archive is in its archive file, whole, and its picture in the record when it came.
    void downloaded(Vantor::Internal::Repository::ExamplePtr example);
    // The archive of an example could not be downloaded; no downloaded() follows for it.
    void downloadFailed(Vantor::Internal::Repository::ExamplePtr example, const Vantor::Internal::Problem &problem);
    // Bytes of an example's archive so far; `total` is -1 while unknown. At most a few times a second.
    void downloadProgress(Vantor::Internal::Repository::ExamplePtr example, qint64 received, qint64 total);
    void pictureArrived(Vantor::Internal::Repository::ExamplePtr example);
    // The group search or the project list failed, or a picture did not arrive; or a notice: a server
    // asked to wait, the group has more projects than are listed.
    void problemOccurred(const Vantor::Internal::Problem &problem);

private:
    struct Line;      // one thread's network manager, kept for all its requests, and who disposes of it
    struct Wait;      // one worker's wait for its example
    struct Workers;   // what the workers know of the client; outlives it
    struct Run;       // the examples of the downloads that no worker has taken yet

    void search();
    void onAboutToQuit();
    void stopWorkers();
    Transfer *request(const std::shared_ptr<Line> &line, const QUrl &url, const QByteArray &contentType,
                      const SuccessHandler &onSuccess, const ErrorHandler &onError);
    QJsonDocument readJson(QNetworkReply &reply);
    void onSearchReply(const QJsonDocument &document);
    void onFetchReply(const QJsonDocument &document);
    void requestPage(const QUrl &url);
    void finishListing();
    void setStatus(const QString &status);
    // A status that is a problem of the repository as a whole.
    void reportProblem(Problem::Kind kind, const QString &status);
    void reportWait(qint64 milliseconds, const QString &host);
    static QUrl usablePictureUrl(const Example &example);
    static void work(const std::shared_ptr<Workers> &workers, const std::shared_ptr<Run> &run);
    static bool downloadExample(const std::shared_ptr<Workers> &workers, const std::shared_ptr<Line> &line,
                                const Repository::ExamplePtr &example);

    QUrl m_baseUrl;
    ServerAccess m_access;
    ProjectListing m_listing;
    QString m_group;
    quint64 m_groupId = 0;
    bool m_searching = false;
    std::shared_ptr<Workers> m_workers;
    std::shared_ptr<Line> m_line; // for the search and the project list
    // Workers of the runs that may still start on the pool; cancelled when the application quits.
    QList<QFuture<void>> m_runs;
    QList<std::weak_ptr<Run>> m_queues;
    QSet<qint64> m_picturesAsked; // by project id // of the runs, while they hold examples nobody has taken
};

} // namespace Internal
} // namespace Vantor
