#include "apiclient.h"

#include "example.h"
#include "hostproxyfactory.h"
#include "ratelimiter.h"
#include "transfer.h"

#include "exampledownload.h"
#include "transferguard.h"
#include "plugin/logging.h"

#include <QtConcurrent/QtConcurrentRun>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslSocket>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>

namespace Vantor {
namespace Internal {

namespace {

std::atomic<int> s_transferTimeout{ApiClient::DefaultTransferTimeoutMs};

// How much of an answer a debug message quotes: servers choose what they send.
constexpr int QuoteLimit = 1024;

QString quoted(const QString &text)
{
    return text.left(QuoteLimit);
}

QByteArray quoted(const QJsonValue &value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).mid(1).chopped(1).left(QuoteLimit);
}

// A group object: the document's object, or the first element of an array.
QJsonObject firstObject(const QJsonDocument &document, const char *moreThanOneMessage)
{
    if (!document.isArray())
        return document.object();
    const QJsonArray array = document.array();
    if (array.size() > 1)
        qCDebug(apiLog) << moreThanOneMessage;
    return array.at(0).toObject();
}

} // namespace

// The network manager of one thread, kept for all the requests made from it so that their
// connections stay open between them. The thread that made it deletes it in close(). A completion
// handled in the client's thread uses its reply only under the mutex and only while the manager is
// still there, so it never reaches a reply that went with the manager.
struct ApiClient::Line
{
    QMutex mutex;
    QNetworkAccessManager *manager = new QNetworkAccessManager;

    Line() { manager->setProxyFactory(new HostProxyFactory); }

    void close()
    {
        QNetworkAccessManager *gone = nullptr;
        {
            QMutexLocker locker(&mutex);
            std::swap(gone, manager);
        }
        delete gone; // with the replies nobody took
    }
};

// One worker's wait for its example. The client ends it through quit() when it goes or the
// application quits; quit() does nothing once the worker has stopped waiting, so a late call never
// reaches a loop that is gone.
struct ApiClient::Wait
{
    QMutex mutex;
    QEventLoop *loop = nullptr;

    explicit Wait(QEventLoop *loop)
        : loop(loop)
    {}
    void quit()
    {
        QMutexLocker locker(&mutex);
        // Queued, so that a quit arriving before the worker entered its loop is not lost.
        if (loop)
            QMetaObject::invokeMethod(loop, &QEventLoop::quit, Qt::QueuedConnection);
    }
    void end()
    {
        QMutexLocker locker(&mutex);
        loop = nullptr;
    }
};

// What the workers of a run know of their client. The client clears it when it is destroyed and
// marks it when the application quits; both release the workers still waiting. A worker checks
// both and registers its wait under one lock, so it either stops at once or is released.
struct ApiClient::Workers
{
    QMutex mutex;
    ApiClient *client = nullptr;
    bool quitting = false;
    QList<std::shared_ptr<Wait>> waits;
};

// The examples of the downloads that no worker has taken yet. Its workers take them one after
// another, each over its own kept connections; examples added while they run join the queue, so
// that a burst handed over in slices keeps the same connections.
struct ApiClient::Run
{
    QMutex mutex;
    Repository::Examples examples;
    int workers = 0; // those that will still take an example

    // Nothing: the worker leaves, in the same step, so that what is added next gets a worker.
    Repository::ExamplePtr take()
    {
        QMutexLocker locker(&mutex);
        if (examples.isEmpty()) {
            --workers;
            return Repository::ExamplePtr();
        }
        return examples.takeFirst();
    }
    void leave()
    {
        QMutexLocker locker(&mutex);
        --workers;
    }
    // How many more workers to start for the queue with `more`, as many as it has examples, up to `width`.
    int add(const Repository::Examples &more, int width)
    {
        QMutexLocker locker(&mutex);
        examples += more;
        const int missing = std::max(0, std::min(int(examples.size()), width) - workers);
        workers += missing;
        return missing;
    }
};

namespace {

constexpr int ProgressIntervalMs = 200;

struct DownloadPool : QThreadPool
{
    DownloadPool() { setMaxThreadCount(ApiClient::DownloadWorkers); }
};

} // namespace

QThreadPool *ApiClient::downloadPool()
{
    // Destroyed when the library is unloaded, after the workers were released on quit; it waits
    // for them, so no worker runs on once the library's code is gone.
    static DownloadPool pool;
    return &pool;
}

void ApiClient::setTransferTimeout(int milliseconds)
{
    s_transferTimeout = milliseconds;
}

int ApiClient::transferTimeout()
{
    return s_transferTimeout;
}

ApiClient::ApiClient(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_workers(std::make_shared<Workers>())
    , m_line(std::make_shared<Line>())
{
    Repository::registerMetaTypes();
    m_workers->client = this;
    // Connected here, in the client's thread: a worker that starts after aboutToQuit was emitted
    // would wait for a signal that never comes again.
    if (QCoreApplication::instance()) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &ApiClient::onAboutToQuit);
    }

    m_baseUrl = url;
    m_baseUrl.setPath(QString());
    m_baseUrl.setPath(QStringLiteral("/api/v4"));
    m_access = ServerAccess(m_baseUrl, {});
    if (!m_baseUrl.isValid() || m_baseUrl.isLocalFile() || m_baseUrl.isRelative()) {
        qCDebug(apiLog) << "Provided repository url is not valid:" << url.toString();
        return;
    }
    m_group = url.path(QUrl::FullyDecoded);
    if (m_group.startsWith(QLatin1Char('/')))
        m_group.remove(0, 1);
    if (m_group.endsWith(QLatin1Char('/')))
        m_group.chop(1);
    if (m_group.isEmpty()) {
        qCDebug(apiLog) << "Provided repository url has no group:" << url.toString();
        return;
    }
    if (!QSslSocket::supportsSsl())
        qCDebug(apiLog) << "Platform SSL support is not detected - connection to the repositories most likely "
                           "will not be established!";
    m_searching = true;
    QMetaObject::invokeMethod(this, &ApiClient::search, Qt::QueuedConnection);
}

ApiClient::~ApiClient()
{
    {
        QMutexLocker locker(&m_workers->mutex);
        m_workers->client = nullptr;
    }
    stopWorkers();
    m_line->close();
}

void ApiClient::setToken(const QByteArray &token)
{
    m_access = ServerAccess(m_baseUrl, token);
}

void ApiClient::onAboutToQuit()
{
    {
        QMutexLocker locker(&m_workers->mutex);
        m_workers->quitting = true;
    }
    stopWorkers();
    // Requests of this thread end now, while the network threads still run: a manager destroyed
    // later with a request under way leaves that request's objects behind.
    QList<QNetworkReply *> replies;
    {
        QMutexLocker locker(&m_line->mutex);
        if (m_line->manager)
            replies = m_line->manager->findChildren<QNetworkReply *>();
    }
    // Outside the lock: an aborted reply's completion takes it.
    for (QNetworkReply *reply : qAsConst(replies))
        reply->abort();
}

// Ends every wait and keeps the runs from starting the examples they still hold.
void ApiClient::stopWorkers()
{
    for (QFuture<void> &run : m_runs)
        run.cancel();
    m_runs.clear();
    QMutexLocker locker(&m_workers->mutex);
    for (const std::shared_ptr<Wait> &wait : qAsConst(m_workers->waits)) {
        wait->quit();
        wait->end(); // a completion that comes now delivers nothing
    }
    m_workers->waits.clear();
}

void ApiClient::fetch()
{
    if (m_groupId == 0) {
        setStatus(tr("Repository error: group id not found - unable to fetch examples"));
        return;
    }
    setStatus(tr("Fetch examples"));
    const QUrl url(m_baseUrl.toString() + QStringLiteral("/groups/%1").arg(m_groupId));
    request(m_line, url, "application/json", [this](QNetworkReply &reply) { onFetchReply(readJson(reply)); },
            [this](const Problem &problem) { emit problemOccurred(problem); });
}

void ApiClient::search()
{
    setStatus(tr("Searching examples"));
    const QUrl url(m_baseUrl.toString() + QStringLiteral("/groups?search=\"%1\"").arg(m_group),
                   QUrl::TolerantMode);
    request(
        m_line, url, "application/json",
        [this](QNetworkReply &reply) {
            m_searching = false;
            onSearchReply(readJson(reply));
        },
        [this](const Problem &problem) {
            m_searching = false;
            emit problemOccurred(problem);
        });
}

Transfer *ApiClient::request(const std::shared_ptr<Line> &line, const QUrl &url, const QByteArray &contentType,
                             const SuccessHandler &onSuccess, const ErrorHandler &onError)
{
    qCDebug(apiLog) << "Requesting:" << quoted(url.toString());
    auto transfer = new Transfer(line->manager, m_access, url, contentType, &TransferGuard::watch);
    connect(transfer, &Transfer::waiting, this, &ApiClient::reportWait);
    // Queued when the request was made in a worker: the reply is handled in the client's thread.
    connect(transfer, &Transfer::finished, this, [this, line, transfer, onSuccess, onError] {
        QMutexLocker locker(&line->mutex);
        if (!line->manager)
            return; // the worker has ended and its manager took the transfer along
        QNetworkReply *reply = transfer->reply();
        const Problem problem = TransferGuard::problem(*reply);
        const bool success = problem.isNull();
        if (success)
            onSuccess(*reply);
        else
            setStatus(problem.message());
        // The manager keeps the connection for the next request; the transfer goes in its own thread.
        reply->close();
        transfer->deleteLater();
        locker.unlock();
        if (!success)
            onError(problem);
    });
    transfer->start();
    return transfer;
}

QNetworkRequest ApiClient::networkRequest(const QUrl &url, const QByteArray &contentType)
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", contentType);
    // Pictures and archives may live in object storage behind a redirect; never from https to http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(MaximumRedirects);
    return request;
}

QJsonDocument ApiClient::readJson(QNetworkReply &reply)
{
    const QByteArray body = reply.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        qCDebug(apiLog) << "Json response:" << body.left(QuoteLimit);
        qCDebug(apiLog).nospace() << "Json parse error: " << error.errorString();
        return {};
    }
    return document;
}

void ApiClient::onSearchReply(const QJsonDocument &document)
{
    setStatus(QString());
    if (document.isNull()) {
        reportProblem(Problem::RepositoryError, tr("Search error: request return null object"));
        return;
    }
    QJsonObject group = firstObject(document, "Search request return more than 1 object - taking first");
    // The search also finds groups whose path or name merely contains ours.
    if (document.isArray()) {
        for (const QJsonValue &value : document.array()) {
            const QJsonObject candidate = value.toObject();
            const QString fullPath = candidate.value(QLatin1String("full_path")).toString();
            if (fullPath.compare(m_group, Qt::CaseInsensitive) == 0) {
                group = candidate;
                break;
            }
        }
    }
    if (!group.contains(QLatin1String("id"))) {
        reportProblem(Problem::RepositoryError, tr("Search error: request return wrong data - no id field"));
        return;
    }
    const QJsonValue id = group.value(QLatin1String("id"));
    m_groupId = quint64(Example::toId(id));
    if (m_groupId == 0) {
        // Any other number would be the id of another group.
        qCDebug(apiLog) << "Unusable group id:" << quoted(id);
        reportProblem(Problem::RepositoryError, tr("Search error: request return wrong data - unusable group id"));
        return;
    }
    setStatus(tr("API client is ready"));
    emit ready();
}

void ApiClient::onFetchReply(const QJsonDocument &document)
{
    setStatus(QString());
    if (document.isNull()) {
        reportProblem(Problem::RepositoryError, tr("Fetch error: request return null object"));
        return;
    }
    const QJsonObject group = firstObject(document, "Fetch request return more than 1 object - taking first");
    m_listing = ProjectListing(m_baseUrl, m_groupId);
    if (m_listing.takeGroup(group))
        finishListing();
    else
        requestPage(m_listing.firstPage());
}

void ApiClient::requestPage(const QUrl &url)
{
    request(
        m_line, url, "application/json",
        [this](QNetworkReply &reply) {
            const QJsonDocument page = readJson(reply);
            if (!page.isArray()) {
                reportProblem(Problem::RepositoryError, tr("Fetch error: a page of projects is not a list"));
                return;
            }
            const QUrl next = m_listing.takePage(page.array(), reply);
            if (next.isEmpty())
                finishListing();
            else
                requestPage(next);
        },
        [this](const Problem &problem) { emit problemOccurred(problem); });
}

void ApiClient::finishListing()
{
    if (m_listing.isCapped())
        reportProblem(Problem::ListIncomplete, tr("The group has more than %1 projects; only the first %1 are listed.")
                                                   .arg(ProjectListing::maximumProjects()));
    emit fetched(m_listing.examples());
}

// A server must not make us open local files or anything else that is not a web address.
QUrl ApiClient::usablePictureUrl(const Example &example)
{
    const QString avatarUrl = example.json().value(QLatin1String("avatar_url")).toString();
    const QUrl url(avatarUrl, QUrl::TolerantMode);
    const QString scheme = url.scheme();
    if (url.isValid() && !url.host().isEmpty() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        return url;
    qCDebug(apiLog) << "No usable picture url:" << quoted(avatarUrl);
    return QUrl();
}

void ApiClient::fetchPictures(const Repository::Examples &examples)
{
    for (const Repository::ExamplePtr &example : examples) {
        if (example->hasImage() || m_picturesAsked.contains(example->id()))
            continue;
        const QUrl url = usablePictureUrl(*example);
        if (url.isEmpty())
            continue;
        m_picturesAsked.insert(example->id());
        request(m_line, url, "image/png", [this, example](QNetworkReply &reply) {
            example->setImage(reply.readAll());
            emit pictureArrived(example);
        }, [](const Problem &) {});
    }
}

void ApiClient::reportWait(qint64 milliseconds, const QString &host)
{
    reportProblem(Problem::RateLimitWait,
                  tr("waiting %1 s: %2 limits requests").arg((milliseconds + 999) / 1000).arg(host));
}

void ApiClient::reportProblem(Problem::Kind kind, const QString &status)
{
    setStatus(status);
    emit problemOccurred(Problem(kind, status));
}

void ApiClient::setStatus(const QString &status)
{
    if (!status.isEmpty())
        qCDebug(apiLog) << "Status:" << quoted(status);
    emit statusChanged(status);
}

void ApiClient::download(const Repository::Examples &examples)
{
    const auto finished = [](const QFuture<void> &worker) { return worker.isFinished(); };
    m_runs.erase(std::remove_if(m_runs.begin(), m_runs.end(), finished), m_runs.end());
    m_queues.erase(std::remove_if(m_queues.begin(), m_queues.end(),
                                  [](const std::weak_ptr<Run> &queue) { return queue.expired(); }),
                   m_queues.end());
    std::shared_ptr<Run> run = m_queues.isEmpty() ? nullptr : m_queues.last().lock();
    if (!run) {
        run = std::make_shared<Run>();
        m_queues.append(run);
    }
    const int missing = run->add(examples, downloadPool()->maxThreadCount());
    for (int i = 0; i < missing; ++i)
        m_runs.append(QtConcurrent::run(downloadPool(), &ApiClient::work, m_workers, run));
}

// The examples no worker has taken yet are dropped; those under way go on.
Repository::Examples ApiClient::cancelQueued()
{
    Repository::Examples dropped;
    for (const std::weak_ptr<Run> &queue : qAsConst(m_queues)) {
        if (const std::shared_ptr<Run> run = queue.lock()) {
            QMutexLocker locker(&run->mutex);
            dropped += run->examples;
            run->examples.clear();
        }
    }
    m_queues.clear();
    return dropped;
}

// One worker of a run: the examples one after another, their archives all over one manager of this thread.
void ApiClient::work(const std::shared_ptr<Workers> &workers, const std::shared_ptr<Run> &run)
{
    const auto line = std::make_shared<Line>();
    while (const Repository::ExamplePtr example = run->take()) {
        if (!downloadExample(workers, line, example)) {
            run->leave();
            break;
        }
    }
    // This thread runs no loop any more; the deletions requested for its replies happen now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    line->close();
}

// Requests the archive and the picture together and waits until both have ended, then hands the
// outcome to the client's thread and returns without waiting for it. False when the client is gone
// or the application quits: the worker takes no further example then.
bool ApiClient::downloadExample(const std::shared_ptr<Workers> &workers, const std::shared_ptr<Line> &line,
                                const Repository::ExamplePtr &example)
{
    QEventLoop loop;
    const auto wait = std::make_shared<Wait>(&loop);
    ExampleDownload download(line->manager, example);
    QUrl url;
    QUrl pictureUrl;
    const QString avatarUrl = example->json().value(QLatin1String("avatar_url")).toString();
    {
        // Held while the client is used, so that it cannot be destroyed meanwhile.
        QMutexLocker locker(&workers->mutex);
        ApiClient *client = workers->client;
        // A run goes on handing out examples after the quit, when no handler can end a wait.
        if (!client || workers->quitting)
            return false;
        client->setStatus(tr("Downloading example: %1").arg(example->name()));
        download.setAccess(client->m_access);
        connect(&download, &ExampleDownload::waiting, client, &ApiClient::reportWait);
        url = QUrl(client->m_baseUrl.toString()
                   + QStringLiteral("/projects/%1/repository/archive%2").arg(example->id()).arg(QStringLiteral(".tar.gz")));
        pictureUrl = usablePictureUrl(*example);
        // Reported from the client's thread, a few times a second at most.
        auto sinceReport = std::make_shared<QElapsedTimer>();
        connect(&download, &ExampleDownload::progress, client,
                [client, example, sinceReport](qint64 received, qint64 total) {
                    if (sinceReport->isValid() && sinceReport->elapsed() < ProgressIntervalMs && received != total)
                        return;
                    sinceReport->start();
                    emit client->downloadProgress(example, received, total);
                });
        workers->waits.append(wait);
    }
    connect(&download, &ExampleDownload::finished, &loop, &QEventLoop::quit);
    // An aboutToQuit emitted before this connection has quit the registered wait through the client.
    connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    download.start(url, pictureUrl);
    if (!download.isFinished())
        loop.exec();
    wait->end();
    QMutexLocker locker(&workers->mutex);
    workers->waits.removeOne(wait);
    ApiClient *client = workers->client;
    if (!client || workers->quitting || !download.isFinished())
        return false;
    const Problem problem = download.problem();
    const Problem pictureProblem = download.pictureProblem();
    const bool picture = pictureUrl.isValid() && pictureProblem.isNull();
    // A posted call is dropped with the client; the quit is checked again where it runs.
    QMetaObject::invokeMethod(client, [workers, client, example, problem, pictureProblem, picture, avatarUrl] {
        {
            QMutexLocker locker(&workers->mutex);
            if (workers->quitting)
                return;
        }
        if (!problem.isNull()) {
            client->setStatus(problem.message());
            emit client->downloadFailed(example, problem);
            return;
        }
        // An example without a picture still counts as downloaded; one that has none on the
        // server is no problem.
        if (!pictureProblem.isNull())
            client->setStatus(pictureProblem.message());
        if (!picture && !avatarUrl.isEmpty())
            client->reportProblem(Problem::PictureUnavailable, tr("Unable to download image: %1").arg(avatarUrl));
        emit client->downloaded(example);
    }, Qt::QueuedConnection);
    return true;
}

} // namespace Internal
} // namespace Vantor
