#include "repository/apiclient.h"
#include "repository/example.h"
#include "repository/repository.h"

#include <gitlabserver.h>
#include <messagelog.h>
#include <testprojects.h>

#include <QtConcurrent/QtConcurrentRun>

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

namespace {

Repository::ExamplePtr exampleOf(const QList<QVariant> &signal) { return signal.at(0).value<Repository::ExamplePtr>(); }
QByteArray archiveOf(const Repository::ExamplePtr &example) { return TestProjects::readFile(example->archiveFile()); }
int activeWorkers() { return ApiClient::downloadPool()->activeThreadCount(); }

constexpr int PoolSize = 6;
constexpr int ExampleCount = 8;
enum Outcome { Failed, Delivered, WithPicture };

} // namespace

class tst_Download : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MessageLog::start("tas.vantor.plugin.api.debug=true");
        QCOMPARE(ApiClient::downloadPool()->maxThreadCount(), PoolSize);

        QVERIFY(m_server.listen());
        const qint64 group = m_server.addGroupPath("norvel/examples");
        for (int i = 0; i < ExampleCount; ++i) {
            const QString folder = m_folders.filePath(QString("Example %1").arg(i));
            QVERIFY(TestProjects::writeQmakeProject(folder, QString("example%1").arg(i)));
            GitLabServer::ProjectOptions options;
            options.avatarFile = m_folders.filePath(QString("avatar%1.png").arg(i));
            QVERIFY(TestProjects::writePng(options.avatarFile, QSize(32 + 16 * i, 32)));
            m_ids.append(m_server.addProject(group, folder, options));
            QVERIFY2(m_ids.last(), qPrintable(m_server.errorString()));
        }
        // Copies of one example under other paths, with other pictures.
        const auto copy = [&](const QString &path, const QJsonValue &avatar) {
            const qint64 id = m_server.addProject(group, m_folders.filePath("Example 1"));
            m_server.setProjectField(id, "path", path);
            m_server.setProjectField(id, "avatar_url", avatar);
            return id;
        };
        copy("twice", QJsonValue::Null);
        m_duplicate = copy("twice", QJsonValue::Null);
        m_localAvatar = copy("local-avatar", "file:///etc/passwd");

        const QSslCertificate certificate(TestProjects::readFile(QFINDTESTDATA("data/localhost-cert.pem")));
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setCaCertificates({certificate});
        QSslConfiguration::setDefaultConfiguration(configuration);
        m_secure.useTls(certificate, QSslKey(TestProjects::readFile(QFINDTESTDATA("data/localhost-key.pem")), QSsl::Rsa));
        QVERIFY(m_secure.listen());
        const QString secure = m_secure.url().toString();
        m_secure.setBehaviour("^/picture$", GitLabBehaviour::reply(200, TestProjects::png({32, 32}), "image/png"));
        m_secure.setBehaviour("^/https$", GitLabBehaviour::redirect(secure + "/picture", 302));
        m_secure.setBehaviour("^/http$", GitLabBehaviour::redirect(m_server.url().toString() + "/uploads/x.png", 302));
        m_httpsAvatar = copy("https-avatar", secure + "/https");
        m_httpAvatar = copy("http-avatar", secure + "/http");
    }

    void init()
    {
        m_repository = std::make_unique<Repository>("norvel", m_server.groupUrl("norvel/examples"));
        QVERIFY(QSignalSpy(m_repository.get(), &Repository::fetched).wait(5000));
        QVERIFY(makeArchiveFiles());
        m_server.clearRequests();
        MessageLog::clear();
    }

    void cleanup()
    {
        m_repository.reset();
        m_server.clearBehaviours();
        ApiClient::setTransferTimeout(ApiClient::DefaultTransferTimeoutMs);
        QTRY_COMPARE(activeWorkers(), 0);
        QTRY_COMPARE(m_server.inFlight(), 0);
    }

    void parallel_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("one") << 1;
        QTest::newRow("more than the pool") << ExampleCount;
    }

    // Each worker keeps its connection for its next archive; pictures go beside them over the client's own.
    void parallel()
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

        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), count);
        QCOMPARE(m_server.requestCount(GitLabServer::AvatarRoute), count);
        QVERIFY2(m_server.connectionCount() <= 2 * workers, qPrintable(QString::number(m_server.connectionCount())));
        const QList<HttpRequest> requests = m_server.requests();
        qint64 firstAnswer = std::numeric_limits<qint64>::max(); // of an archive
        for (const HttpRequest &request : requests) {
            const bool picture = request.path.startsWith("/uploads");
            QCOMPARE(request.header("Content-Type"), QByteArray(picture ? "image/png" : "application/zip"));
            if (!picture)
                firstAnswer = std::min(firstAnswer, request.answeredAt);
        }
        // Each worker asks for an archive and its picture together, and for its next example only once
        // the archive has come.
        QCOMPARE(int(std::count_if(requests.cbegin(), requests.cend(),
                                   [&](const HttpRequest &request) { return request.receivedAt < firstAnswer; })),
                 2 * workers);
        // Statuses come from worker threads too: they are read from the debug log.
        const QRegularExpression status("^Status: \"Downloading example: Example \\d\"$");
        QCOMPARE(MessageLog::messages().filter(status).size(), count);

        QSet<QString> delivered;
        for (const QList<QVariant> &arguments : downloaded) {
            const auto example = exampleOf(arguments);
            delivered.insert(example->path());
            QCOMPARE(archiveOf(example), m_server.archive(example->id()));
            QCOMPARE(example->image().size(), QSize(128, 128 * 32 / (32 + 16 * m_ids.indexOf(example->id()))));
        }
        QCOMPARE(delivered, paths);
    }

    void failures_data()
    {
        QTest::addColumn<qint64>("id");
        QTest::addColumn<QString>("route");
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<int>("timeout"); // of a stalled transfer, shortened; 0: the default
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("log"); // what the debug messages, one per line, match
        QTest::addColumn<int>("problem"); // of the failed archive, or of the picture of a delivered one
        QTest::addColumn<bool>("saved");  // false: the archive has no file to go into

        const qint64 id = m_ids.at(0);
        const QString archive = GitLabServer::archiveRoute(id);
        const QString picture = GitLabServer::avatarRoute(id);
        const QString archivePath = QString("/api/v4/projects/%1/repository/archive.tar.gz").arg(id);
        const QString noPicture = "^Status: \"Unable to download image: ";
        QTest::newRow("archive 404") << id << archive << GitLabBehaviour::reply(404) << 0 << int(Failed)
                                     << "^Status: \"Network error: .*archive.tar.gz.* Not Found\"$" << int(Problem::NetworkError) << true;
        QTest::newRow("archive stalled") << id << archive << GitLabBehaviour::noAnswer() << 300 << int(Failed)
                                         << "^Transfer stalled, aborting: .*archive" << int(Problem::TimedOut) << true;
        // A byte every 50 ms keeps the transfer from stalling, but is far below the minimum rate.
        QTest::newRow("archive slow drip") << id << archive << GitLabBehaviour::drip(50) << 300 << int(Failed)
                                           << "^Transfer too slow, aborting: .*archive" << int(Problem::TimedOut) << true;
        // Refused as soon as it is announced, before a byte of it is written.
        QTest::newRow("archive larger than 256 MiB")
            << id << archive << GitLabBehaviour::reply(200, QByteArray(ApiClient::MaximumBodyBytes + 1, 'x'), "application/gzip")
            << 0 << int(Failed) << "^Status: \"Download larger than 256 MiB cancelled: .*archive.tar.gz\"$" << int(Problem::TooLarge) << true;
        // Many times the read buffer: it reaches its file whole.
        QByteArray large(3 << 20, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(large.data()), large.size() / 4);
        QTest::newRow("archive of 3 MiB")
            << id << archive << GitLabBehaviour::reply(200, large, "application/gzip") << 0
            << int(WithPicture) << "" << int(Problem::None) << true;
        // Nothing is asked of the server for an archive that has nowhere to go.
        QTest::newRow("archive without a file") << id << archive << GitLabBehaviour() << 0 << int(Failed)
            << "^Status: \"Unable to save downloaded example: no staging folder\"$" << int(Problem::LocalError) << false;
        // At most 5 hops, where Qt would follow 50.
        QTest::newRow("archive, 5 hops") << id << archive << GitLabBehaviour::redirect(archivePath).only(5) << 0
                                         << int(WithPicture) << "" << int(Problem::None) << true;
        QTest::newRow("archive, endless") << id << archive << GitLabBehaviour::redirect(archivePath) << 0 << int(Failed)
                                          << "^Status: \"Network error: " << int(Problem::NetworkError) << true;
        // No request is made for a picture URL that is empty or no web address.
        // None on the server is no problem.
        QTest::newRow("avatar_url null") << m_duplicate << picture << GitLabBehaviour() << 0 << int(Delivered)
                                         << "^No usable picture url: \"\"" << int(Problem::None) << true;
        QTest::newRow("avatar_url a local file") << m_localAvatar << picture << GitLabBehaviour() << 0 << int(Delivered)
            << "^No usable picture url: \"file:///etc/passwd\".*" + noPicture + "file:///etc/passwd\"$" << int(Problem::PictureUnavailable) << true;
        // Reported by the request first.
        const QString failedPicture = "^Status: \"Network error: .*" + noPicture + m_server.url().toString();
        QTest::newRow("picture 404") << id << picture << GitLabBehaviour::reply(404) << 0 << int(Delivered)
                                     << failedPicture << int(Problem::PictureUnavailable) << true;
        QTest::newRow("picture https to https") << m_httpsAvatar << picture << GitLabBehaviour() << 0 << int(WithPicture)
                                               << "" << int(Problem::None) << true;
        QTest::newRow("picture https to http, refused") << m_httpAvatar << picture << GitLabBehaviour() << 0
            << int(Delivered) << "^Status: \"Network error: Insecure redirect\".*" + noPicture + "https://" << int(Problem::PictureUnavailable) << true;
        QTest::newRow("picture redirect to a local file") << id << picture
            << GitLabBehaviour::redirect("file:///etc/passwd", 302) << 0 << int(Delivered) << failedPicture << int(Problem::PictureUnavailable) << true;
    }

    // One example fails in part or whole; another downloaded beside it still arrives.
    void failures()
    {
        QFETCH(qint64, id);
        QFETCH(QString, route);
        QFETCH(GitLabBehaviour, behaviour);
        QFETCH(int, timeout);
        QFETCH(int, outcome);
        QFETCH(QString, log);
        QFETCH(int, problem);
        QFETCH(bool, saved);
        if (timeout)
            ApiClient::setTransferTimeout(timeout);
        m_server.setBehaviour(route, behaviour);
        const QString path = serverPath(id);
        const QString goodPath = serverPath(m_ids.at(1));
        for (const Repository::ExamplePtr &example : m_repository->examples()) {
            if (!saved && example->path() == path)
                example->setArchiveFile({});
        }
        QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
        QSignalSpy failed(m_repository->client(), &ApiClient::downloadFailed);
        QSignalSpy problems(m_repository.get(), &Repository::problemOccurred);
        QElapsedTimer elapsed;
        elapsed.start();
        m_repository->download({path, goodPath});
        QTRY_COMPARE(failed.count() + downloaded.count(), 2);
        QVERIFY(elapsed.elapsed() >= timeout * 95 / 100); // coarse timers may fire 5 % early
        QCOMPARE(failed.count(), outcome == Failed ? 1 : 0);
        const QVariantList reported = failed.isEmpty() ? problems.value(0) : failed.first().mid(1);
        QCOMPARE(int(reported.value(0).value<Problem>().kind()), problem);
        QCOMPARE(problems.count(), outcome == Delivered && problem != Problem::None ? 1 : 0);
        for (const QList<QVariant> &arguments : failed + downloaded) {
            const auto example = exampleOf(arguments);
            const bool broken = example->path() == path;
            if (broken && outcome == Failed) {
                // Only a transfer cut short leaves what had come; an error page or a body over the
                // limit is never written.
                if (problem != Problem::TimedOut)
                    QCOMPARE(archiveOf(example), QByteArray());
                continue;
            }
            const bool replaced = broken && route == GitLabServer::archiveRoute(id) && behaviour.kind == GitLabBehaviour::Reply;
            QCOMPARE(archiveOf(example), replaced ? behaviour.body : m_server.archive(example->id()));
            QCOMPARE(example->image().isNull(), broken && outcome == Delivered);
        }
        QCOMPARE(m_server.requestCount("^/uploads/x.png$"), 0); // never asked over plain http
        const QString messages = MessageLog::messages().join('\n');
        const auto options = QRegularExpression::MultilineOption | QRegularExpression::DotMatchesEverythingOption;
        QVERIFY2(QRegularExpression(log, options).match(messages).hasMatch(), qPrintable(messages));
        // Qt may send a request again when a kept connection closes.
        QVERIFY(m_server.requestCount(route) <= (saved ? 3 * (1 + ApiClient::MaximumRedirects) : 0));
    }

    // Of two examples with one path only the first in list order (the newest) is downloaded.
    void selection()
    {
        QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
        const QString twice = serverPath(m_duplicate);
        m_repository->download({twice});
        QTRY_COMPARE(downloaded.count(), 1);
        QCOMPARE(exampleOf(downloaded.first())->id(), m_duplicate);
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);
    }

    void restart()
    {
        const Repository::Examples before = m_repository->examples();
        m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::delay(400));
        const QSet<QString> paths{serverPath(m_ids.at(1)), serverPath(m_ids.at(2))};
        QSignalSpy downloaded(m_repository.get(), &Repository::downloaded);
        QSignalSpy fetched(m_repository.get(), &Repository::fetched);

        m_repository->download(paths);
        QTRY_COMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 2);
        m_repository->restart();
        QVERIFY(!m_repository->isReady());
        QCOMPARE(m_repository->examples(), before);
        // The old client's workers are released at once, not when their answers come.
        QTRY_COMPARE_WITH_TIMEOUT(activeWorkers(), 0, 300);

        QTRY_COMPARE(fetched.count(), 1);
        QVERIFY(m_repository->examples().first() != before.first()); // a new list
        QVERIFY(makeArchiveFiles());
        QTest::qWait(500);
        QCOMPARE(downloaded.count(), 0);
        m_repository->download(paths);
        QTRY_COMPARE(downloaded.count(), 2);
    }

    void quitDuringWait_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<int>("count");
        QTest::newRow("waiting for pictures") << GitLabServer::AvatarRoute << GitLabBehaviour::delay(400) << 2;
        // Waiting for archives, with examples in the run that no pool thread has started yet.
        QTest::newRow("more examples than threads") << GitLabServer::ArchiveRoute << GitLabBehaviour::noAnswer()
                                                    << ExampleCount;
    }

    void quitDuringWait()
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
        QCOMPARE(downloaded.count() + failed.count(), 0);
    }

private:
    // As the engine does: every archive has an empty file to go into, made while it waits.
    bool makeArchiveFiles()
    {
        for (const Repository::ExamplePtr &example : m_repository->examples()) {
            const QString file = m_files.filePath(example->path() + ".tar.gz");
            if (!TestProjects::writeFile(m_files.path(), example->path() + ".tar.gz", {}))
                return false;
            example->setArchiveFile(QtConcurrent::run([file] { return file; }));
        }
        return true;
    }
    QString serverPath(qint64 id) const { return m_server.projectJson(id).value("path").toString(); }
    QSet<QString> firstPaths(int count) const
    {
        QSet<QString> paths;
        for (int i = 0; i < count; ++i)
            paths.insert(serverPath(m_ids.at(i)));
        return paths;
    }

    QTemporaryDir m_folders;
    QTemporaryDir m_files;       // the files the archives go into
    GitLabServer m_server;
    QList<qint64> m_ids;         // examples with a picture
    qint64 m_duplicate = 0;      // the newer of two projects with one path, "avatar_url" null
    qint64 m_localAvatar = 0;    // "avatar_url" a local file
    qint64 m_httpsAvatar = 0;    // "avatar_url" on an https server that redirects to https
    qint64 m_httpAvatar = 0;     // "avatar_url" on an https server that redirects to plain http
    GitLabServer m_secure;       // over TLS, trusted through its certificate
    std::unique_ptr<Repository> m_repository; // a fetched one for each test
};

QTEST_GUILESS_MAIN(tst_Download)

#include "tst_download.moc"
