#include "repository/apiclient.h"
#include "repository/example.h"
#include "repository/repository.h"

#include <gitlabserver.h>
#include <messagelog.h>
#include <testprojects.h>

#include <QElapsedTimer>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

namespace {

// Download statuses come from worker threads too: they are read from the debug log, not a spy.
QStringList statuses()
{
    const QRegularExpression status("^Status: ");
    return MessageLog::messages().filter(status).replaceInStrings(status, QString());
}

QString pathOf(const Repository::ExamplePtr &example) { return example->json().value("path").toString(); }
QString pathOf(const QList<QVariant> &arguments) { return pathOf(arguments.at(0).value<Repository::ExamplePtr>()); }
int activeWorkers() { return ApiClient::downloadPool()->activeThreadCount(); }

// The most requests of the route that the server was answering at one time.
int maxOverlap(const QList<HttpRequest> &requests, const QString &route)
{
    QList<QPair<qint64, int>> events; // time, +1 at arrival, -1 at answer; answers first on a tie
    for (const HttpRequest &request : requests) {
        if (QRegularExpression(route).match(QString::fromLatin1(request.path)).hasMatch())
            events << qMakePair(request.receivedAt, 1) << qMakePair(request.answeredAt, -1);
    }
    std::sort(events.begin(), events.end());
    int current = 0, most = 0;
    for (const auto &event : events)
        most = std::max(most, current += event.second);
    return most;
}

constexpr int PoolSize = 6;
constexpr int ExampleCount = 8;

} // namespace

class tst_Download : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void parallel_data();
    void parallel();
    void archiveFails_data();
    void archiveFails();
    void pictureFails_data();
    void pictureFails();
    void redirects_data();
    void redirects();
    void lessSafeRedirect_data();
    void lessSafeRedirect();
    void selection();
    void busyPaths();
    void restart();
    void quitDuringWait_data();
    void quitDuringWait();

private:
    QString serverPath(qint64 id) const { return m_server.projectJson(id).value("path").toString(); }
    QSet<QString> firstPaths(int count) const
    {
        QSet<QString> paths;
        for (int i = 0; i < count; ++i)
            paths.insert(serverPath(m_ids.at(i)));
        return paths;
    }

    QTemporaryDir m_folders;
    GitLabServer m_server;
    QList<qint64> m_ids;         // examples with a picture
    qint64 m_noAvatar = 0;       // "avatar_url" null
    qint64 m_missingAvatar = 0;  // no "avatar_url" key
    qint64 m_duplicate = 0;      // another project with the path of m_noAvatar
    qint64 m_localAvatar = 0;    // "avatar_url" a local file
    std::unique_ptr<Repository> m_repository; // a fetched one for each test
};

void tst_Download::initTestCase()
{
    MessageLog::start("tas.vantor.plugin.api.debug=true");
    QVERIFY(ApiClient::downloadPool() != QThreadPool::globalInstance());
    QCOMPARE(ApiClient::downloadPool()->maxThreadCount(), PoolSize);

    QVERIFY(m_folders.isValid());
    QVERIFY(m_server.listen());
    const qint64 group = m_server.addGroupPath("norvel/examples");
    for (int i = 0; i < ExampleCount + 2; ++i) {
        const QString folder = m_folders.filePath(QString("Example %1").arg(i));
        QVERIFY(i % 2 ? TestProjects::writeQmakeProject(folder, QString("example%1").arg(i))
                      : TestProjects::writeCMakeProject(folder, QString("example%1").arg(i)));
        GitLabServer::ProjectOptions options;
        if (i < ExampleCount) {
            options.avatarFile = m_folders.filePath(QString("avatar%1.png").arg(i));
            QVERIFY(TestProjects::writePng(options.avatarFile, QSize(32 + 16 * i, 32)));
        }
        const qint64 id = m_server.addProject(group, folder, options);
        QVERIFY2(id, qPrintable(m_server.errorString()));
        if (i < ExampleCount)
            m_ids.append(id);
    }
    m_noAvatar = m_ids.last() + 1;
    m_missingAvatar = m_ids.last() + 2;
    m_server.setProjectField(m_missingAvatar, "avatar_url", QJsonValue::Undefined);
    m_duplicate = m_server.addProject(group, m_folders.filePath("Example 1"));
    m_server.setProjectField(m_duplicate, "path", m_server.projectJson(m_noAvatar).value("path"));
    m_localAvatar = m_server.addProject(group, m_folders.filePath("Example 1"));
    m_server.setProjectField(m_localAvatar, "path", "local-avatar");
    m_server.setProjectField(m_localAvatar, "avatar_url", "file:///etc/passwd");
}

void tst_Download::init()
{
    m_repository = std::make_unique<Repository>(m_server.groupUrl("norvel/examples"));
    QVERIFY(QSignalSpy(m_repository.get(), &Repository::fetched).wait(5000));
    m_server.clearRequests();
    m_server.resetMaxInFlight();
    MessageLog::clear();
}

void tst_Download::cleanup()
{
    m_repository.reset();
    m_server.clearBehaviours();
    ApiClient::setTransferTimeout(ApiClient::DefaultTransferTimeoutMs);
    QTRY_COMPARE(activeWorkers(), 0);
    QTRY_COMPARE(m_server.inFlight(), 0);
    m_server.clearRequests();
}

void tst_Download::parallel_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("one") << 1;
    QTest::newRow("as many as the pool") << PoolSize;
    QTest::newRow("more than the pool") << ExampleCount;
}

// Each worker keeps its connections for its next example; archive and picture go side by side.

void tst_Download::parallel()
{
    QFETCH(int, count);
    m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::delay(300));
    const QSet<QString> paths = firstPaths(count);
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    QElapsedTimer elapsed;
    elapsed.start();
    m_repository->download(paths);
    QVERIFY(elapsed.elapsed() < 100); // the caller does not wait
    const int workers = std::min(count, PoolSize);
    QTRY_COMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), workers);
    // The network waits hold no thread of the application's global pool.
    QCOMPARE(activeWorkers(), workers);
    QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(downloaded.count(), count, 10000);
    QTRY_COMPARE(activeWorkers(), 0);
    QTest::qWait(50);
    QCOMPARE(downloaded.count(), count);

    const QList<HttpRequest> requests = m_server.requests();
    QCOMPARE(maxOverlap(requests, GitLabServer::ArchiveRoute), workers);
    QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), count);
    QCOMPARE(m_server.requestCount(GitLabServer::AvatarRoute), count);
    QVERIFY2(m_server.connectionCount() <= 2 * workers, qPrintable(QString::number(m_server.connectionCount())));
    for (const HttpRequest &request : requests) {
        const bool picture = request.path.startsWith("/uploads");
        QCOMPARE(request.header("Content-Type"), QByteArray(picture ? "image/png" : "application/zip"));
        if (!picture)
            continue;
        // The picture was asked for while its archive was still on its way.
        const QByteArray id = request.path.split('/').value(6);
        const auto archive = std::find_if(requests.cbegin(), requests.cend(), [&id](const HttpRequest &other) {
            return other.path.startsWith("/api/v4/projects/" + id + "/");
        });
        QVERIFY(archive != requests.cend());
        QVERIFY(request.receivedAt < archive->answeredAt);
    }
    QCOMPARE(statuses().filter(QRegularExpression("^\"Downloading example: Example \\d\"$")).size(), count);

    QSet<QString> delivered;
    for (const QList<QVariant> &arguments : downloaded) {
        const auto example = arguments.at(0).value<Repository::ExamplePtr>();
        const qint64 id = example->json().value("id").toVariant().toLongLong();
        delivered.insert(pathOf(example));
        QCOMPARE(example->archive(), m_server.archive(id));
        QVERIFY(m_repository->isBusy(pathOf(example))); // installing until released
        const int index = m_ids.indexOf(id);
        QCOMPARE(example->image().size(), QSize(128, 128 * 32 / (32 + 16 * index)));
    }
    QCOMPARE(delivered, paths);
}

void tst_Download::archiveFails_data()
{
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("timeout"); // of a stalled transfer, shortened; 0: the default
    QTest::newRow("404") << GitLabBehaviour::reply(404) << "^\"Network error: .*archive.tar.gz.* Not Found\"$" << 0;
    QTest::newRow("429") << GitLabBehaviour::reply(429) << "^\"Network error: .* Too Many Requests\"$" << 0;
    QTest::newRow("closed mid-body") << GitLabBehaviour::closeMidBody() << "^\"Network error: .+\"$" << 0;
    QTest::newRow("redirect") << GitLabBehaviour::redirect("/elsewhere.tar.gz") << "^\"Network error: .+\"$" << 0;
    QTest::newRow("stalled") << GitLabBehaviour::noAnswer() << "^\"Network error: Operation canceled\"$" << 300;
    // Held in memory: refused while it arrives.
    QTest::newRow("larger than 256 MiB")
        << GitLabBehaviour::reply(200, QByteArray(ApiClient::MaximumBodyBytes + 1, 'x'), "application/gzip")
        << "^\"Download larger than 256 MiB cancelled: .*archive.tar.gz\"$" << 0;
    // A byte every 50 ms keeps the transfer from stalling, but is far below the minimum rate.
    QTest::newRow("slow drip") << GitLabBehaviour::drip(50) << "^\"Network error: Operation canceled\"$" << 300;
}

void tst_Download::archiveFails()
{
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(QString, status);
    QFETCH(int, timeout);
    if (timeout)
        ApiClient::setTransferTimeout(timeout);
    const qint64 broken = m_ids.at(0);
    const qint64 good = m_ids.at(1);
    const QString brokenPath = serverPath(broken);
    const QString goodPath = serverPath(good);
    m_server.setBehaviour(GitLabServer::archiveRoute(broken), behaviour);

    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    QSignalSpy failed(m_repository->client(), &ApiClient::downloadFailed);
    QElapsedTimer elapsed;
    std::atomic<qint64> failedAfter{-1};
    QObject receiver;
    connect(m_repository->client(), &ApiClient::downloadFailed, &receiver,
            [&] { failedAfter = elapsed.elapsed(); }, Qt::DirectConnection);
    elapsed.start();
    m_repository->download({brokenPath, goodPath});
    QTRY_COMPARE(downloaded.count(), 1);
    QTRY_COMPARE(failed.count(), 1);
    QVERIFY(failedAfter >= timeout * 95 / 100); // coarse timers may fire 5 % early
    QTRY_COMPARE(activeWorkers(), 0);
    QCOMPARE(pathOf(downloaded.first()), goodPath);
    QCOMPARE(pathOf(failed.first()), brokenPath);
    QVERIFY(failed.first().first().value<Repository::ExamplePtr>()->archive().isEmpty());
    QCOMPARE(m_server.requestCount(GitLabServer::avatarRoute(good)), 1);
    const QString networkError = statuses().filter(QRegularExpression("Network error|Download larger")).value(0);
    QVERIFY2(QRegularExpression(status).match(networkError).hasMatch(), qPrintable(networkError));
    QVERIFY(!m_repository->isBusy(brokenPath));
    QVERIFY(m_repository->isBusy(goodPath));
}

void tst_Download::pictureFails_data()
{
    QTest::addColumn<qint64>("id");
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<QString>("lastStatus");
    QTest::addColumn<bool>("requested");

    const GitLabBehaviour normal;
    const QString avatar = QString("%1/uploads/-/system/project/avatar/%2/avatar0.png")
                               .arg(m_server.url().toString()).arg(m_ids.at(0));
    // No request is made for a picture URL that is empty or no web address.
    QTest::newRow("avatar_url null") << m_duplicate << normal << "Unable to download image: " << false;
    QTest::newRow("avatar_url missing") << m_missingAvatar << normal << "Unable to download image: " << false;
    QTest::newRow("avatar_url a local file") << m_localAvatar << normal << "Unable to download image: file:///etc/passwd"
                                             << false;
    QTest::newRow("picture 404") << m_ids.at(0) << GitLabBehaviour::reply(404)
                                 << "Unable to download image: " + avatar << true;
    QTest::newRow("redirect to a local file") << m_ids.at(0) << GitLabBehaviour::redirect("file:///etc/passwd", 302)
                                              << "Unable to download image: " + avatar << true;
    QTest::newRow("not a picture") << m_ids.at(0) << GitLabBehaviour::reply(200, "GIF87a?", "image/png") << ""
                                   << true;
}

void tst_Download::pictureFails()
{
    QFETCH(qint64, id);
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(QString, lastStatus);
    QFETCH(bool, requested);
    m_server.setBehaviour(GitLabServer::AvatarRoute, behaviour);
    QSignalSpy statusSpy(m_repository->client(), &ApiClient::statusChanged);

    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    m_repository->download({serverPath(id)});
    QTRY_COMPARE(downloaded.count(), 1);
    QTRY_COMPARE(activeWorkers(), 0);
    const auto example = downloaded.first().first().value<Repository::ExamplePtr>();
    QCOMPARE(example->archive(), m_server.archive(id));
    QVERIFY(example->image().isNull());
    const QStringList all = statuses();
    if (lastStatus.isEmpty()) {
        QVERIFY(all.filter("Unable to download image").isEmpty());
    } else {
        QCOMPARE(all.last(), '"' + lastStatus + '"');
        // Reported by the request first, when there was one.
        QCOMPARE(all.at(all.size() - 2).startsWith("\"Network error: "), requested);
    }
    QCOMPARE(m_server.requests().size(), requested ? 2 : 1);
}

void tst_Download::redirects_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<bool>("delivered");

    // Relative targets: the same address again, now answered normally.
    const qint64 id = m_ids.at(0);
    const QString archive = QString("/api/v4/projects/%1/repository/archive.tar.gz").arg(id);
    const QString avatar = QString("/uploads/-/system/project/avatar/%1/avatar0.png").arg(id);
    for (const int status : {301, 302, 307, 308}) {
        QTest::addRow("archive %d", status) << GitLabServer::archiveRoute(id)
                                             << GitLabBehaviour::redirect(archive, status).only(1) << true;
    }
    QTest::newRow("picture 302") << GitLabServer::avatarRoute(id) << GitLabBehaviour::redirect(avatar, 302).only(1)
                                 << true;
    QTest::newRow("archive, 5 hops") << GitLabServer::archiveRoute(id) << GitLabBehaviour::redirect(archive).only(5)
                                     << true;
    QTest::newRow("archive, endless") << GitLabServer::archiveRoute(id) << GitLabBehaviour::redirect(archive) << false;
}

void tst_Download::redirects()
{
    QFETCH(QString, route);
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(bool, delivered);
    const qint64 id = m_ids.at(0);
    m_server.setBehaviour(route, behaviour);
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    QSignalSpy failed(m_repository->client(), &ApiClient::downloadFailed);
    m_repository->download({serverPath(id)});
    QTRY_COMPARE(downloaded.count() + failed.count(), 1);
    QCOMPARE(downloaded.count(), int(delivered));
    // At most 5 hops, where Qt would follow 50; it may send a request again when a kept connection closes.
    const int requests = m_server.requestCount(GitLabServer::ArchiveRoute);
    QVERIFY2(requests <= 3 * (1 + ApiClient::MaximumRedirects), qPrintable(QString::number(requests)));
    if (delivered) {
        const auto example = downloaded.first().first().value<Repository::ExamplePtr>();
        QCOMPARE(example->archive(), m_server.archive(id));
        QVERIFY(!example->image().isNull());
    }
}

void tst_Download::lessSafeRedirect_data()
{
    QTest::addColumn<QString>("scheme"); // of the redirect's target
    QTest::newRow("https to https, followed") << "https";
    QTest::newRow("https to http, refused") << "http";
}

// The picture on a server of its own over TLS, trusted through its certificate, which redirects.
void tst_Download::lessSafeRedirect()
{
    QFETCH(QString, scheme);
    QFile certificateFile(QFINDTESTDATA("data/localhost-cert.pem"));
    QFile keyFile(QFINDTESTDATA("data/localhost-key.pem"));
    QVERIFY(certificateFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    const QSslCertificate certificate(&certificateFile);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates({certificate});
    QSslConfiguration::setDefaultConfiguration(configuration);
    GitLabServer secure;
    secure.useTls(certificate, QSslKey(&keyFile, QSsl::Rsa));
    QVERIFY(secure.listen());

    const qint64 id = m_ids.at(0);
    const QJsonValue avatar = m_server.projectJson(id).value("avatar_url");
    secure.setBehaviour("^/picture$", GitLabBehaviour::reply(200, TestProjects::png({32, 32}), "image/png"));
    secure.setBehaviour("^/moved$", GitLabBehaviour::redirect(scheme == "https" ? secure.url().toString() + "/picture"
                                                                                  : avatar.toString(), 302));
    m_server.setProjectField(id, "avatar_url", secure.url().toString() + "/moved");
    QSignalSpy fetched(m_repository.get(), &Repository::fetched);
    m_repository->client()->fetch();
    QVERIFY(fetched.wait(5000));
    m_server.setProjectField(id, "avatar_url", avatar);
    m_server.clearRequests();

    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    m_repository->download({serverPath(id)});
    QTRY_COMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.first().first().value<Repository::ExamplePtr>()->image().isNull(), scheme == "http");
    QCOMPARE(secure.requestCount("^/moved$"), 1);
    QCOMPARE(m_server.requestCount(GitLabServer::AvatarRoute), 0); // never asked over plain http
    QCOMPARE(statuses().filter("Network error: Insecure redirect").size(), scheme == "http" ? 1 : 0);
}

void tst_Download::selection()
{
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);

    m_repository->download({});
    m_repository->download({"unknown", serverPath(m_ids.at(0)).toUpper()});
    QTest::qWait(200);
    QCOMPARE(downloaded.count(), 0);
    QCOMPARE(m_server.requests().size(), 0);
    QVERIFY(statuses().isEmpty());
    QVERIFY(!m_repository->isBusy("unknown"));

    // Of two examples with one path only the first in list order is downloaded.
    const QString path = serverPath(m_duplicate);
    const Repository::Examples examples = m_repository->examples();
    const auto first = *std::find_if(examples.cbegin(), examples.cend(),
                                     [&path](const Repository::ExamplePtr &example) { return pathOf(example) == path; });
    QCOMPARE(first->id(), m_duplicate); // the newest comes first
    m_repository->download({path});
    QTRY_COMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.first().first().value<Repository::ExamplePtr>(), first);
    QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);
    QCOMPARE(m_server.requestCount(GitLabServer::archiveRoute(m_duplicate)), 1);
}

void tst_Download::busyPaths()
{
    m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::delay(300));
    const QString path = serverPath(m_ids.at(3));
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);

    m_repository->download({path});
    QVERIFY(m_repository->isBusy(path));
    m_repository->download({path});
    QVERIFY(MessageLog::contains(QString("Skip example already in progress: \"%1\"").arg(path)));
    QTRY_COMPARE(downloaded.count(), 1);
    QVERIFY(m_repository->isBusy(path)); // installing now
    m_repository->download({path});
    QTest::qWait(400);
    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);

    m_repository->release(path);
    QVERIFY(!m_repository->isBusy(path));
    m_repository->download({path});
    QTRY_COMPARE(downloaded.count(), 2);
    QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 2);
}

void tst_Download::restart()
{
    QVERIFY(m_repository->isReady());
    const Repository::Examples before = m_repository->examples();
    m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::delay(400));
    const QString first = serverPath(m_ids.at(1));
    const QString second = serverPath(m_ids.at(2));
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    QSignalSpy fetched(m_repository.get(), &Repository::fetched);

    m_repository->download({first, second});
    QTRY_COMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 2);
    m_repository->restart();
    QVERIFY(!m_repository->isReady());
    QCOMPARE(m_repository->examples(), before);
    QVERIFY(!m_repository->isBusy(first));
    QVERIFY(!m_repository->isBusy(second));
    // The old client's workers are released at once, not when their answers come.
    QTRY_COMPARE_WITH_TIMEOUT(activeWorkers(), 0, 300);

    QTRY_COMPARE(fetched.count(), 1);
    QVERIFY(m_repository->isReady());
    QCOMPARE(m_repository->examples().size(), before.size());
    QVERIFY(m_repository->examples().first() != before.first()); // a new list
    QTest::qWait(500);
    QCOMPARE(downloaded.count(), 0);

    m_repository->download({first, second});
    QTRY_COMPARE(downloaded.count(), 2);
}

void tst_Download::quitDuringWait_data()
{
    QTest::addColumn<QString>("route");
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<int>("count");
    QTest::newRow("waiting for archives") << GitLabServer::ArchiveRoute << GitLabBehaviour::noAnswer() << 2;
    QTest::newRow("waiting for pictures") << GitLabServer::AvatarRoute << GitLabBehaviour::delay(400) << 2;
    // The run still holds examples that no pool thread has started yet.
    QTest::newRow("more examples than threads") << GitLabServer::ArchiveRoute << GitLabBehaviour::noAnswer()
                                                << ExampleCount;
}

void tst_Download::quitDuringWait()
{
    QFETCH(QString, route);
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(int, count);
    m_server.setBehaviour(route, behaviour);
    QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
    QSignalSpy failed(m_repository->client(), &ApiClient::downloadFailed);

    m_repository->download(firstPaths(count));
    const int started = std::min(count, PoolSize);
    QTRY_COMPARE(m_server.requestCount(route), started);
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    // Without the event loop, as when the application has quit: the workers end by themselves.
    QVERIFY(ApiClient::downloadPool()->waitForDone(2000));
    // Answers that come late find no wait to end and deliver nothing; nothing else is requested.
    QTest::qWait(600);
    QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), started);
    QCOMPARE(downloaded.count(), 0);
    QCOMPARE(failed.count(), 0);
    QTRY_COMPARE(m_server.inFlight(), 0);
}

QTEST_GUILESS_MAIN(tst_Download)

#include "tst_download.moc"
