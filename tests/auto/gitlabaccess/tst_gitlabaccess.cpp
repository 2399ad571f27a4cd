#include "repository/repository.h"
#include "repository/serveraccess.h"
#include "service/downloadservice.h"
#include "service/tokenstore.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/icore.h>

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <memory>

using namespace Vantor::Internal;

namespace {

// A program of the test's own, ended by the test.
struct Daemon
{
    QProcess process;

    ~Daemon()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }
};

// The desktop's keychain of this test: a session bus of its own with a Secret Service on it, whose
// login keyring is created or unlocked with the password it reads.
struct Keyring
{
    Daemon bus;
    Daemon secrets;
    QString address;

    bool start()
    {
        const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/bus";
        QFile::remove(socket);
        bus.process.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address=1",
                                          "--address=unix:path=" + socket});
        if (!bus.process.waitForReadyRead(5000))
            return false;
        address = QString::fromLatin1(bus.process.readLine()).trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        secrets.process.setProcessEnvironment(environment);
        secrets.process.start("gnome-keyring-daemon", {"--foreground", "--unlock", "--components=secrets"});
        secrets.process.write("vantor-test");
        secrets.process.closeWriteChannel();
        return secrets.process.waitForStarted(5000);
    }
};

std::unique_ptr<DownloadService> startService()
{
    Settings settings;
    settings.load(Core::ICore::settings());
    return std::make_unique<DownloadService>(settings, Core::ICore::settings());
}

GitLabServer::ProjectOptions named(const QString &name)
{
    GitLabServer::ProjectOptions options;
    options.name = name;
    return options;
}

QByteArray settingsFile()
{
    QFile file(Core::ICore::settings()->fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Private groups, other hosts and proxies: what the servers saw, and what the user sees.
class tst_GitLabAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        QVERIFY(m_server.listen() && m_cdn.listen());
        QVERIFY(TestProjects::writeQmakeProject(m_folders.filePath("hello"), "hello"));
        GitLabServer::ProjectOptions withPicture;
        withPicture.avatarFile = m_folders.filePath("hello.png");
        QVERIFY(TestProjects::writePng(withPicture.avatarFile, {32, 32}));

        // A private group whose picture lies on another host and whose other archive is redirected there.
        const qint64 secret = m_server.addGroup("secret");
        m_server.setGroupToken(secret, "s3cret");
        const qint64 hello = m_server.addProject(secret, m_folders.filePath("hello"));
        const qint64 calc = m_server.addProjectCopy(hello, secret, named("Calc"));
        const qint64 cdn = m_cdn.addGroup("cdn");
        const qint64 cdnHello = m_cdn.addProject(cdn, m_folders.filePath("hello"), withPicture);
        QVERIFY(hello && calc && cdnHello);
        m_server.setProjectField(hello, "avatar_url", m_cdn.projectJson(cdnHello).value("avatar_url"));
        m_server.setBehaviour(GitLabServer::archiveRoute(calc),
                              GitLabBehaviour::redirect(m_cdn.url().toString()
                                                            + QString("/api/v4/projects/%1/repository/archive.tar.gz")
                                                                  .arg(cdnHello),
                                                        302));
        // A public group with its picture on its own host.
        const qint64 open = m_server.addGroup("open");
        QVERIFY(m_server.addProject(open, m_folders.filePath("hello"), withPicture));
        QVERIFY(m_server.addProjectCopy(hello, open, named("Calc")));
    }

    void cleanup()
    {
        m_server.clearRequests();
        m_cdn.clearRequests();
    }

    // The token goes to the repository's own server only: not to a picture's host, not to where a
    // redirect leads.
    void tokenRouting_data()
    {
        QTest::addColumn<GitLabBehaviour>("group"); // how the group's details are answered
        QTest::addColumn<int>("downloaded");
        QTest::addColumn<int>("ownRequests");       // search, group, archives, and the own host's pictures
        QTest::addColumn<QString>("status");

        QTest::newRow("own host gets it; picture host and redirect target do not") << GitLabBehaviour() << 2 << 4
                                                                                   << "";
        QTest::newRow("401") << GitLabBehaviour::reply(401) << 0 << 2
                             << QString("127.0.0.1:%1 refused access (HTTP 401): check the repository's access token.")
                                    .arg(m_server.url().port());
    }

    void tokenRouting()
    {
        QFETCH(GitLabBehaviour, group);
        QFETCH(int, downloaded);
        QFETCH(int, ownRequests);
        QFETCH(QString, status);

        m_server.setBehaviour(GitLabServer::GroupRoute, group.only(1));
        Repository repository("secret", m_server.groupUrl("secret"), nullptr, Repository::Start::WithToken);
        QSignalSpy fetched(&repository, &Repository::fetched);
        QSignalSpy problems(&repository, &Repository::problemOccurred);
        QSignalSpy arrived(&repository, &Repository::downloaded);
        repository.setToken("s3cret");
        QVERIFY(QTest::qWaitFor([&] { return fetched.count() || problems.count(); }, 10000));
        QSet<QString> paths;
        for (const Repository::ExamplePtr &example : repository.examples())
            paths.insert(example->path());
        QVERIFY(makeArchiveFiles(repository));
        repository.download(paths);
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), downloaded, 10000);

        QCOMPARE(m_server.requests().size(), ownRequests);
        QCOMPARE(m_server.requestCount(".", ServerAccess::TokenHeader), ownRequests);
        QCOMPARE(m_cdn.requestCount(GitLabServer::ArchiveRoute), downloaded / 2);
        QCOMPARE(m_cdn.requestCount(GitLabServer::AvatarRoute), downloaded / 2);
        QCOMPARE(m_cdn.requestCount(".", ServerAccess::TokenHeader), 0);
        QStringList messages;
        for (const QList<QVariant> &arguments : qAsConst(problems))
            messages << arguments.first().value<Problem>().message();
        QCOMPARE(messages.join('\n'), status);
        for (const QList<QVariant> &arguments : qAsConst(arrived))
            QVERIFY(QFileInfo(arguments.first().value<Repository::ExamplePtr>()->archiveFile()).size() > 0);
    }

    // The token typed on the options page is kept in the desktop's keychain, never in the settings, and
    // used from then on; without a keychain service the page says so and the repository stays public.
    void keychain_data()
    {
        QTest::addColumn<bool>("keychainRuns");
        QTest::addColumn<int>("access");
        QTest::addColumn<QString>("status");

        // The session bus is looked up once it is reached: the row without one comes first.
        QTest::newRow("no keychain service") << false << int(RepositoryState::NoKeychain)
                                             << "No keychain service answers (*): repository secret is used "
                                                "without an access token.";
        QTest::newRow("keychain runs") << true << int(RepositoryState::WithToken) << "";
    }

    void keychain()
    {
        QFETCH(bool, keychainRuns);
        QFETCH(int, access);
        QFETCH(QString, status);

        m_server.clearBehaviours();
        if (keychainRuns) {
            QVERIFY(m_keyring.start());
            qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring.address.toLatin1());
        } else {
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + qgetenv("XDG_RUNTIME_DIR") + "/no-bus");
        }
        TestSupport::writeVantorSettings({"secret|" + m_server.groupUrl("secret").toString() + '|'});
        auto service = startService();
        QSignalSpy reported(service.get(), &DownloadService::problemReported);
        service->setToken("secret", "s3cret");
        QTRY_COMPARE_WITH_TIMEOUT(int(service->repositoryState("secret").access), access, 10000);
        QStringList notices;
        for (const QList<QVariant> &arguments : qAsConst(reported)) {
            const Problem problem = arguments.first().value<Problem>();
            if (problem.kind() == Problem::NoKeychain)
                notices << problem.text();
        }
        QCOMPARE(notices.size(), status.isEmpty() ? 0 : 1);
        QVERIFY2(status.isEmpty() || QRegularExpression(QRegularExpression::wildcardToRegularExpression(status))
                                         .match(notices.first()).hasMatch(), qPrintable(notices.join('\n')));
        QVERIFY(!settingsFile().contains("s3cret"));
        QCOMPARE(settingsFile().contains("RepositoriesWithToken=secret"), keychainRuns);

        // The next start reads it from the keychain before the group is searched.
        service.reset();
        // What the first start still had on its way is not the next start's.
        QTest::qWait(100);
        QTRY_COMPARE(m_server.inFlight(), 0);
        m_server.clearRequests();
        service = startService();
        QTRY_COMPARE_WITH_TIMEOUT(service->repositoryState("secret").state,
                                  keychainRuns ? RepositoryState::Ready : RepositoryState::Failed, 10000);
        QCOMPARE(service->examples("secret").size(), keychainRuns ? 2 : 0);
        // Without a token stored, the keychain is not asked again: the repository is public.
        QCOMPARE(service->repositoryState("secret").access,
                 keychainRuns ? RepositoryState::WithToken : RepositoryState::Public);
        QCOMPARE(m_server.requestCount(GitLabServer::SearchRoute), 1);
        QCOMPARE(m_server.requestCount(GitLabServer::SearchRoute, ServerAccess::TokenHeader), keychainRuns ? 1 : 0);
        QVERIFY(!settingsFile().contains("s3cret"));
    }

    // Every request, from the client's thread and from the download workers, goes through the host's
    // proxy; the server refuses any that did not come through it.
    void throughProxy()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QFile config(m_folders.filePath("tinyproxy.conf"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(QString("Port %1\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nMaxClients 20\n"
                             "LogLevel Warning\nLogFile \"%2\"\n")
                         .arg(port)
                         .arg(m_folders.filePath("tinyproxy.log"))
                         .toUtf8());
        config.close();
        Daemon proxy;
        proxy.process.start("tinyproxy", {"-d", "-c", config.fileName()});
        QVERIFY(proxy.process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QTcpSocket().bind(QHostAddress::LocalHost, port) == false, 5000);

        // What the last test's engine still had on its way reached the server directly: not counted.
        QTest::qWait(200);
        QTRY_COMPARE(m_server.inFlight(), 0);
        m_server.clearRequests();
        m_server.setRequiredHeader("Via");
        QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, "127.0.0.1", port));
        Repository repository("open", m_server.groupUrl("open"));
        QSignalSpy fetched(&repository, &Repository::fetched);
        QSignalSpy arrived(&repository, &Repository::downloaded);
        QVERIFY(fetched.wait(10000));
        QVERIFY(makeArchiveFiles(repository));
        repository.download({"hello", "calc"});
        QTRY_COMPARE_WITH_TIMEOUT(arrived.count(), 2, 10000);
        const int requests = m_server.requests().size();
        // Search, group, two archives, one picture; Qt sends one again when the proxy closed its connection.
        QVERIFY2(requests >= 5, qPrintable(QString::number(requests)));
        QCOMPARE(m_server.requestCount(".", "Via"), requests);

        // The direct route is refused.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QNetworkAccessManager direct;
        std::unique_ptr<QNetworkReply> reply(direct.get(QNetworkRequest(m_server.groupUrl("open"))));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait());
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 403);
        m_server.setRequiredHeader({});
    }

    // A token set once every repository is ready starts a new search; when that fails, the restart
    // check, which had stopped, tries again.
    void searchAgainWithToken()
    {
        if (m_keyring.address.isEmpty())
            QVERIFY(m_keyring.start());
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_keyring.address.toLatin1());
        m_server.clearBehaviours();
        TestSupport::writeVantorSettings({"open|" + m_server.groupUrl("open").toString() + '|'},
                                         {{"ServiceRestartTimeoutSeconds", 1}});
        auto service = startService();
        QTRY_COMPARE_WITH_TIMEOUT(service->repositoryState("open").state, RepositoryState::Ready, 10000);
        QTest::qWait(1500); // the check's next tick finds every repository ready
        m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::reply(500).only(1));
        m_server.clearRequests();
        QList<RepositoryState::State> states;
        connect(service.get(), &DownloadService::stateChanged, this, [&](const QString &name, const QString &path) {
            const RepositoryState::State state = service->repositoryState(name).state;
            if (path.isEmpty() && (states.isEmpty() || states.last() != state))
                states.append(state);
        });
        service->setToken("open", "t0ken");
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(GitLabServer::SearchRoute), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(service->repositoryState("open").state, RepositoryState::Ready, 10000);
        QCOMPARE(states.mid(0, 4), (QList<RepositoryState::State>{RepositoryState::Ready, RepositoryState::Connecting,
                                                                 RepositoryState::Failed, RepositoryState::Connecting}));
        QCOMPARE(m_server.requestCount(GitLabServer::SearchRoute, ServerAccess::TokenHeader), 2);
        QCOMPARE(service->repositoryState("open").access, RepositoryState::WithToken);
    }

    // What the client only tells, a wait for a limiting server here, reaches the user through the
    // engine, and the search goes on.
    void noticeReported()
    {
        m_server.clearBehaviours();
        TestSupport::writeVantorSettings({"open|" + m_server.groupUrl("open").toString() + '|'});
        m_server.setBehaviour(GitLabServer::SearchRoute,
                              GitLabBehaviour::rateLimited(429, GitLabBehaviour::RetryAfterSeconds, 1).only(1));
        auto service = startService();
        QSignalSpy reported(service.get(), &DownloadService::problemReported);
        QTRY_COMPARE_WITH_TIMEOUT(service->repositoryState("open").state, RepositoryState::Ready, 10000);
        QStringList texts;
        for (const QList<QVariant> &arguments : qAsConst(reported))
            texts << arguments.first().value<Problem>().text();
        QVERIFY2(texts.contains("waiting 1 s: 127.0.0.1 limits requests"), qPrintable(texts.join('\n')));
    }

private:
    // As the engine does: every archive has an empty file to go into.
    bool makeArchiveFiles(const Repository &repository)
    {
        for (const Repository::ExamplePtr &example : repository.examples()) {
            const QString file = m_folders.filePath(example->path() + ".tar.gz");
            if (!TestProjects::writeFile(m_folders.path(), example->path() + ".tar.gz", {}))
                return false;
            example->setArchiveFile(QtConcurrent::run([file] { return file; }));
        }
        return true;
    }

    QTemporaryDir m_folders;
    GitLabServer m_server;
    GitLabServer m_cdn;
    Keyring m_keyring;
};

QTEST_GUILESS_MAIN(tst_GitLabAccess)

#include "tst_gitlabaccess.moc"
