#include "repository/apiclient.h"
#include "repository/example.h"
#include "repository/projectlisting.h"
#include "repository/ratelimiter.h"

#include <gitlabserver.h>
#include <messagelog.h>
#include <testprojects.h>
#include <testsupport.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

class tst_ApiClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MessageLog::start("tas.vantor.plugin.api.debug=true");
        QVERIFY(m_server.listen());
        m_server.addGroup("alpha-examples", "Alpha examples");
        m_examplesId = m_server.addGroup("examples");
        m_subId = m_server.addGroup("sub", "sub", m_examplesId);
        m_server.addGroup("more-examples");

        const QString hello = m_folders.filePath("Hello");
        const QString calc = m_folders.filePath("Calc");
        QVERIFY(TestProjects::writeQmakeProject(hello, "hello"));
        QVERIFY(TestProjects::writeCMakeProject(calc, "calc"));
        GitLabServer::ProjectOptions options;
        options.avatarFile = m_folders.filePath("hello.png");
        options.description = "Says hello";
        options.tags = QStringList{"qml"};
        QVERIFY(TestProjects::writePng(options.avatarFile, {64, 64}));
        const qint64 helloId = m_server.addProject(m_examplesId, hello, options);
        const qint64 calcId = m_server.addProject(m_examplesId, calc);
        QVERIFY2(helloId && calcId, qPrintable(m_server.errorString()));
        m_server.addProject(m_subId, hello); // a subgroup's project is not the group's
        // Projects that are no valid examples.
        m_server.setProjectField(m_server.addProject(m_examplesId, calc), "id", 0);
        m_server.setProjectField(m_server.addProject(m_examplesId, calc), "path", "..");
        m_valid = {calcId, helloId};

        // Groups of 20 and of 150 projects, for the listings.
        for (const auto &[group, count] : {qMakePair(QString("twenty"), 20), qMakePair(QString("big"), 150)}) {
            const qint64 id = m_server.addGroup(group);
            for (int i = 1; i <= count; ++i) {
                GitLabServer::ProjectOptions copy;
                copy.name = QString("%1 %2").arg(group).arg(i);
                QVERIFY(m_server.addProjectCopy(calcId, id, copy));
            }
        }
        RateLimiter::setMaximumWait(3000);
    }

    void cleanup()
    {
        m_server.setEmbedProjects(true);
        m_server.setTotalsLimit(10000);
        ProjectListing::setMaximumProjects(ProjectListing::DefaultMaximumProjects);
        QTRY_COMPARE(RateLimiter::remaining(m_server.url()), 0);
        m_server.clearBehaviours();
        m_server.clearRequests();
        QTRY_COMPARE(m_server.inFlight(), 0);
        MessageLog::clear();
    }

    void urlSplitting_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("group"); // empty: unusable

        QTest::newRow("group") << "http://127.0.0.1:8080/examples" << "examples";
        QTest::newRow("trailing slash") << "http://127.0.0.1:8080/examples/" << "examples";
        QTest::newRow("subgroup") << "https://127.0.0.1/norvel/examples" << "norvel/examples";
        QTest::newRow("encoded") << "http://127.0.0.1/my%20group" << "my group";
        QTest::newRow("root") << "http://127.0.0.1:8080/" << "";
        QTest::newRow("no scheme") << "127.0.0.1/examples" << "";
        QTest::newRow("local file") << "file:///srv/examples" << "";
    }

    void urlSplitting()
    {
        QFETCH(QString, url);
        QFETCH(QString, group);
        ApiClient client{QUrl(url)};
        QCOMPARE(client.group(), group);
        QCOMPARE(client.groupId(), 0u);
        // An unusable URL never searches; a usable one is not let reach its address.
        if (group.isEmpty()) {
            QSignalSpy statuses(&client, &ApiClient::statusChanged);
            QCoreApplication::processEvents();
            QCOMPARE(statuses.count(), 0);
        }
    }

    void answers_data()
    {
        QTest::addColumn<QString>("route"); // the search, or the group's details fetched after it
        QTest::addColumn<QString>("group");
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<QStringList>("statuses");
        QTest::addColumn<qint64>("result"); // the group id found; the number of examples fetched (-1: none)
        QTest::addColumn<QStringList>("debug");

        const QString search = GitLabServer::SearchRoute;
        const QStringList searched{"Searching examples", ""};
        const QStringList ready = searched + QStringList{"API client is ready"};
        const QStringList noId = searched + QStringList{"Search error: request return wrong data - no id field"};
        const QStringList more{"Search request return more than 1 object - taking first"};
        const QStringList none;
        const GitLabBehaviour normal;
        const auto reply = [](const QByteArray &body) { return GitLabBehaviour::reply(200, body); };

        // The real answer lists "Alpha examples", "examples", "more-examples" and "sub", in that order.
        QTest::newRow("server, among several") << search << "examples" << normal << ready << m_examplesId << more;
        QTest::newRow("server, other case") << search << "Examples" << normal << ready << m_examplesId << more;
        QTest::newRow("server, subgroup") << search << "examples/sub" << normal << ready << m_subId << none;
        QTest::newRow("server, unknown") << search << "nothing" << normal << noId << qint64(0) << none;
        QTest::newRow("object") << search << "examples" << reply(R"({"id":77})") << ready << qint64(77) << none;
        QTest::newRow("two, none ours") << search << "examples" << reply(R"([{"id":5,"full_path":"a"},{"id":6}])")
                                        << ready << qint64(5) << more;
        QTest::newRow("id 2^32") << search << "examples" << reply(R"({"id":4294967296})") << ready << qint64(4294967296)
                                 << none;
        // Any other number would be requested as another group; what the server sent is quoted up to 1 KiB.
        QTest::newRow("id a 4 MB string") << search << "examples" << reply(R"({"id":")" + QByteArray(4 << 20, '7') + R"("})")
            << searched + QStringList{"Search error: request return wrong data - unusable group id"} << qint64(0)
            << QStringList{R"(Unusable group id: "\"7777)"};
        QTest::newRow("not json, 4 MB") << search << "examples" << GitLabBehaviour::reply(200, QByteArray(4 << 20, 'x'))
            << searched + QStringList{"Search error: request return null object"} << qint64(0)
            << QStringList{"Json response: \"xxx", "Json parse error: "};
        QTest::newRow("404") << search << "examples" << GitLabBehaviour::reply(404)
                             << QStringList{"Searching examples", "Network error: *"} << qint64(0) << none;
        const QString searchUrl = m_server.url().toString() + "/api/v4/groups?search=%22examples%22";
        QTest::newRow("302, followed") << search << "examples" << GitLabBehaviour::redirect(searchUrl, 302).only(1)
                                       << ready << m_examplesId << more;

        const QString group = GitLabServer::GroupRoute;
        const QStringList fetched{"Fetch examples", ""};
        QTest::newRow("fetch, server") << group << "examples" << normal << fetched << qint64(2)
                                       << QStringList{"Skipping project with unusable id: "};
        QTest::newRow("fetch, empty projects") << group << "examples" << reply(R"({"projects":[]})") << fetched
                                               << qint64(0) << none;
        QTest::newRow("fetch, array of two") << group << "examples"
            << reply(R"([{"projects":[{"id":3,"name":"A","path":"a","web_url":"w"},)"
                     R"({"id":4,"name":"","path":"b","web_url":"w"}]},{"projects":[]}])")
            << fetched << qint64(1) << QStringList{"Fetch request return more than 1 object - taking first"};
        QTest::newRow("fetch, not json") << group << "examples" << GitLabBehaviour::notJson()
            << fetched + QStringList{"Fetch error: request return null object"} << qint64(-1)
            << QStringList{"Json response:", "Json parse error: "};
    }

    void answers()
    {
        QFETCH(QString, route);
        QFETCH(QString, group);
        QFETCH(GitLabBehaviour, behaviour);
        QFETCH(QStringList, statuses);
        QFETCH(qint64, result);
        QFETCH(QStringList, debug);

        m_server.setBehaviour(route, behaviour);
        ApiClient client(m_server.groupUrl(group));
        QSignalSpy statusSpy(&client, &ApiClient::statusChanged);
        QSignalSpy readySpy(&client, &ApiClient::ready);
        QSignalSpy fetchedSpy(&client, &ApiClient::fetched);
        const bool search = route == GitLabServer::SearchRoute;
        if (!search) {
            QVERIFY(readySpy.wait(5000));
            statusSpy.clear();
            client.fetch();
        }
        if (QTest::qWaitFor([&] { return statusSpy.count() >= statuses.size(); }, 5000))
            QTest::qWait(50); // for any status that should not follow
        // A network error's detail as "*".
        QCOMPARE(TestSupport::texts(statusSpy).replaceInStrings(QRegularExpression("^(Network error: ).+"), "\\1*"),
                 statuses);
        QVERIFY2(std::all_of(debug.cbegin(), debug.cend(), &MessageLog::containsStartingWith),
                 qPrintable(MessageLog::messages().join('\n')));
        for (const QString &message : MessageLog::messages())
            QVERIFY(message.size() <= 1024 + 40);
        if (!search) {
            QCOMPARE(fetchedSpy.count(), result < 0 ? 0 : 1);
            QCOMPARE(m_server.requestCount(GitLabServer::GroupRoute), 1);
            const auto examples = fetchedSpy.value(0).value(0).value<Repository::Examples>();
            QCOMPARE(examples.size(), qMax(result, qint64(0)));
            // Only the group's own valid projects, newest first, each exactly as the server sent it.
            if (QTest::currentDataTag() == QByteArray("fetch, server")) {
                QCOMPARE(examples.first()->json(), m_server.projectJson(m_valid.first()));
                QCOMPARE(examples.last()->json(), m_server.projectJson(m_valid.last()));
            }
            return;
        }

        QCOMPARE(client.groupId(), quint64(result));
        QCOMPARE(readySpy.count(), result ? 1 : 0);
        const QString more = "Search request return more than 1 object - taking first";
        QCOMPARE(MessageLog::containsStartingWith(more), debug.contains(more));
        if (!result) { // nothing to fetch from, and no request for it
            client.fetch();
            QCOMPARE(statusSpy.last().first().toString(),
                     QString("Repository error: group id not found - unable to fetch examples"));
        }
        // The group path goes between double quotes, as one phrase.
        const QList<HttpRequest> requests = m_server.requests();
        // Qt may send a request again when a kept connection closes.
        QCOMPARE(requests.size() > 1, behaviour.kind == GitLabBehaviour::Redirect);
        QCOMPARE(requests.first().path, QByteArray("/api/v4/groups"));
        QCOMPARE(requests.first().queryValue("search"), '"' + group + '"');
        QCOMPARE(requests.first().header("Content-Type"), QByteArray("application/json"));
    }

    // GitLab embeds at most 100 projects in the group's answer; the rest come page by page, as the
    // next-page headers lead (the totals are left out, as GitLab does for long listings).
    void listings_data()
    {
        QTest::addColumn<QString>("group");
        QTest::addColumn<bool>("embedded");
        QTest::addColumn<GitLabBehaviour>("pages"); // how the paged listing answers
        QTest::addColumn<int>("cap");
        QTest::addColumn<int>("examples"); // -1: the listing fails
        QTest::addColumn<int>("pagesRequested");
        QTest::addColumn<QString>("notice");

        const int all = ProjectListing::DefaultMaximumProjects;
        const GitLabBehaviour normal;
        QTest::newRow("embedded list of 20") << "twenty" << true << normal << all << 20 << 0 << "";
        QTest::newRow("full 100, then pages") << "big" << true << normal << all << 150 << 2 << "";
        QTest::newRow("no list, pages") << "big" << false << normal << all << 150 << 2 << "";
        QTest::newRow("Link only") << "big" << true << GitLabBehaviour::linkOnly() << all << 150 << 2 << "";
        QTest::newRow("duplicates") << "big" << true << GitLabBehaviour::repeatPrevious() << all << 150 << 2 << "";
        QTest::newRow("cap") << "big" << false << normal << 120 << 120 << 2
                             << "The group has more than 120 projects; only the first 120 are listed.";
        QTest::newRow("a page not a list") << "big" << false << GitLabBehaviour::reply(200, R"({"id":1})") << all << -1
                                           << 1 << "Fetch error: a page of projects is not a list";
    }

    void listings()
    {
        QFETCH(QString, group);
        QFETCH(bool, embedded);
        QFETCH(GitLabBehaviour, pages);
        QFETCH(int, cap);
        QFETCH(int, examples);
        QFETCH(int, pagesRequested);
        QFETCH(QString, notice);

        m_server.setEmbedProjects(embedded);
        m_server.setTotalsLimit(100);
        m_server.setBehaviour(GitLabServer::ProjectsRoute, pages);
        ProjectListing::setMaximumProjects(cap);
        ApiClient client(m_server.groupUrl(group));
        QSignalSpy problems(&client, &ApiClient::problemOccurred);
        QSignalSpy fetched(&client, &ApiClient::fetched);
        connect(&client, &ApiClient::ready, &client, &ApiClient::fetch);
        if (examples < 0) {
            QVERIFY(problems.wait(10000));
            QTest::qWait(100);
            QCOMPARE(fetched.count(), 0);
        } else {
            QVERIFY(fetched.wait(10000));
        }

        const auto listed = examples < 0 ? Repository::Examples() : fetched.first().first().value<Repository::Examples>();
        QSet<qint64> ids;
        for (const Repository::ExamplePtr &example : listed)
            ids.insert(example->id());
        QCOMPARE(listed.size(), qMax(examples, 0));
        QCOMPARE(ids.size(), qMax(examples, 0));
        QStringList notices;
        for (const QList<QVariant> &arguments : qAsConst(problems))
            notices << arguments.first().value<Problem>().message();
        QCOMPARE(notices, notice.isEmpty() ? QStringList() : QStringList{notice});
        // The group's own projects, oldest first, a hundred a page, one page after the other.
        QCOMPARE(m_server.requestCount(GitLabServer::ProjectsRoute), pagesRequested);
        int page = 0;
        for (const HttpRequest &request : m_server.requests()) {
            if (!request.path.endsWith("/projects"))
                continue;
            QCOMPARE(request.queryValue("page"), QString::number(++page));
            QCOMPARE(request.queryValue("per_page"), QString("100"));
            QCOMPARE(request.queryValue("order_by") + ' ' + request.queryValue("sort"), QString("id asc"));
            QCOMPARE(request.queryValue("with_shared"), QString("false"));
        }
    }

    // A limiting server's answer pauses the requests to it for the time it names (at most the limit,
    // 3 s here, 10 min in use) and the request is sent again, at most three times.
    void rateLimits_data()
    {
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<int>("searches");     // the server saw; each one after the first followed a wait
        QTest::addColumn<int>("minimumGapMs"); // between the first two
        QTest::addColumn<QString>("notice");   // the pattern of each wait's notice
        QTest::addColumn<QString>("failure");  // the pattern of the final failure; empty: the search succeeds

        using B = GitLabBehaviour;
        const QString waiting = "waiting %1 s: 127.0.0.1 limits requests";
        QTest::newRow("Retry-After, seconds") << B::rateLimited(429, B::RetryAfterSeconds, 1).only(1) << 2 << 1000
                                              << waiting.arg(1) << "";
        // Whole seconds, rounded up by the server: 1 to 2 s.
        QTest::newRow("Retry-After, date") << B::rateLimited(503, B::RetryAfterDate, 1).only(1) << 2 << 900
                                           << waiting.arg("[12]") << "";
        QTest::newRow("RateLimit-Reset") << B::rateLimited(429, B::RateLimitReset, 1).only(1) << 2 << 900
                                         << waiting.arg("[12]") << "";
        QTest::newRow("none: 60 s, at most the limit") << B::rateLimited(429, B::NoRetryHint).only(1) << 2 << 3000
                                                       << waiting.arg(3) << "";
        QTest::newRow("too long: the limit") << B::rateLimited(429, B::RetryAfterSeconds, 3600).only(1) << 2 << 3000
                                             << waiting.arg(3) << "";
        QTest::newRow("three waits, then a failure") << B::rateLimited(429, B::RetryAfterSeconds, 0) << 4 << 0
                                                     << waiting.arg(0) << "Network error: .*";
        QTest::newRow("503 without a hint: no wait") << B::reply(503) << 1 << 0 << "" << "Network error: .*";
    }

    void rateLimits()
    {
        QFETCH(GitLabBehaviour, behaviour);
        QFETCH(int, searches);
        QFETCH(int, minimumGapMs);
        QFETCH(QString, notice);
        QFETCH(QString, failure);

        m_server.setBehaviour(GitLabServer::SearchRoute, behaviour);
        ApiClient client(m_server.groupUrl("examples"));
        QSignalSpy problems(&client, &ApiClient::problemOccurred);
        QSignalSpy ready(&client, &ApiClient::ready);
        QVERIFY(QTest::qWaitFor([&] { return !client.isSearching(); }, 15000));

        QCOMPARE(m_server.requestCount(GitLabServer::SearchRoute), searches);
        const QList<HttpRequest> requests = m_server.requests();
        if (searches > 1)
            QVERIFY(requests.at(1).receivedAt - requests.at(0).receivedAt >= minimumGapMs);
        QCOMPARE(ready.count(), failure.isEmpty() ? 1 : 0);
        QCOMPARE(problems.count(), searches - 1 + (failure.isEmpty() ? 0 : 1));
        for (int i = 0; i < problems.count(); ++i) {
            const Problem problem = problems.at(i).first().value<Problem>();
            const bool waited = i < searches - 1;
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(waited ? notice : failure))
                         .match(problem.message()).hasMatch(), qPrintable(problem.message()));
            // The engine tries a failed request again later.
            QCOMPARE(problem.kind() == Problem::RateLimitWait, waited);
            QVERIFY(waited || problem.isTransient());
        }
    }

    // Ended while the network threads still run; a manager destroyed later with the request under way
    // leaves that request's objects behind.
    void quitDuringSearch()
    {
        m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::noAnswer());
        ApiClient client(m_server.groupUrl("examples"));
        QTRY_COMPARE(m_server.inFlight(), 1);
        QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.inFlight(), 0, 1000);
    }

private:
    QTemporaryDir m_folders;
    GitLabServer m_server;
    qint64 m_examplesId = 0;
    qint64 m_subId = 0;
    QList<qint64> m_valid; // newest first, as the server lists them
};

QTEST_GUILESS_MAIN(tst_ApiClient)

#include "tst_apiclient.moc"
