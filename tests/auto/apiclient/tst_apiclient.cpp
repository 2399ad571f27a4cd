#include "repository/apiclient.h"
#include "repository/example.h"

#include <gitlabserver.h>
#include <messagelog.h>
#include <testprojects.h>
#include <testsupport.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

namespace {

// Empty when the spy caught exactly the expected statuses, nothing after them, and every debug
// line was logged (at the start of a message); otherwise what differs. An expected status ending
// in "*" matches any status starting with the text before it.
QString mismatch(const QSignalSpy &spy, const QStringList &expected, const QStringList &debug)
{
    if (QTest::qWaitFor([&] { return spy.count() >= expected.count(); }, 5000))
        QTest::qWait(50); // nothing more may follow
    const QStringList actual = TestSupport::texts(spy);
    bool same = actual.size() == expected.size();
    for (int i = 0; same && i < actual.size(); ++i) {
        const QString &want = expected.at(i);
        same = want.endsWith('*') ? actual.at(i).startsWith(want.chopped(1)) : actual.at(i) == want;
    }
    if (!same)
        return actual.join('|');
    for (const QString &line : debug) {
        if (!MessageLog::containsStartingWith(line))
            return line + " not in:\n" + MessageLog::messages().join('\n');
    }
    return {};
}

} // namespace

class tst_ApiClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void urlSplitting_data();
    void urlSplitting();
    void search_data();
    void search();
    void fetch_data();
    void fetch();
    void fetchBeforeReady();
    void stalledSearch();
    void quitDuringSearch();

private:
    QTemporaryDir m_folders;
    GitLabServer m_server;
    qint64 m_examplesId = 0;
    qint64 m_subId = 0;
    QList<qint64> m_valid; // newest first, as the server lists them
};

void tst_ApiClient::initTestCase()
{
    MessageLog::start("tas.vantor.plugin.api.debug=true");

    QVERIFY(m_folders.isValid());
    QVERIFY(m_server.listen());
    m_server.addGroup("alpha-examples", "Alpha examples");
    m_examplesId = m_server.addGroup("examples");
    m_subId = m_server.addGroup("sub", "sub", m_examplesId);
    m_server.addGroup("more-examples");
    m_server.addGroup("tools");

    const QString hello = m_folders.filePath("Hello");
    const QString calc = m_folders.filePath("Calc");
    QVERIFY(TestProjects::writeQmakeProject(hello, "hello"));
    QVERIFY(TestProjects::writeCMakeProject(calc, "calc"));
    QVERIFY(TestProjects::writePng(m_folders.filePath("hello.png"), {64, 64}));

    GitLabServer::ProjectOptions options;
    options.avatarFile = m_folders.filePath("hello.png");
    const qint64 helloId = m_server.addProject(m_examplesId, hello, options);
    const qint64 calcId = m_server.addProject(m_examplesId, calc);
    QVERIFY2(helloId && calcId, qPrintable(m_server.errorString()));
    m_server.addProject(m_subId, hello); // a subgroup's project is not the group's
    // Projects that are no valid examples.
    const QList<QPair<QString, QJsonValue>> faults{
        {"id", 0}, {"id", "12"}, {"name", ""}, {"web_url", QJsonValue::Undefined}, {"path", ".."}, {"path", "a/b"}};
    for (const auto &fault : faults)
        m_server.setProjectField(m_server.addProject(m_examplesId, calc), fault.first, fault.second);
    m_valid = {calcId, helloId};
}

void tst_ApiClient::init()
{
    MessageLog::clear();
}

void tst_ApiClient::cleanup()
{
    m_server.clearBehaviours();
    m_server.clearRequests();
    ApiClient::setTransferTimeout(ApiClient::DefaultTransferTimeoutMs);
    QTRY_COMPARE(m_server.inFlight(), 0);
}

void tst_ApiClient::urlSplitting_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("baseUrl");
    QTest::addColumn<QString>("debug");

    const QString noGroup = "Provided repository url has no group:";
    const QString invalid = "Provided repository url is not valid:";
    const QString base = "http://127.0.0.1:8080/api/v4";
    QTest::newRow("group") << "http://127.0.0.1:8080/examples" << "examples" << base << "";
    QTest::newRow("trailing slash") << "http://127.0.0.1:8080/examples/" << "examples" << base << "";
    QTest::newRow("subgroup") << "https://127.0.0.1/norvel/examples" << "norvel/examples"
                              << "https://127.0.0.1/api/v4" << "";
    QTest::newRow("encoded") << "http://127.0.0.1/my%20group" << "my group" << "http://127.0.0.1/api/v4" << "";
    QTest::newRow("user and query") << "https://me@127.0.0.1:8443/examples?x=1" << "examples"
                                    << "https://me@127.0.0.1:8443/api/v4?x=1" << "";
    QTest::newRow("no path") << "http://127.0.0.1:8080" << "" << base << noGroup;
    QTest::newRow("root") << "http://127.0.0.1:8080/" << "" << base << noGroup;
    QTest::newRow("two slashes") << "http://127.0.0.1:8080//" << "" << base << noGroup;
    QTest::newRow("no scheme") << "127.0.0.1/examples" << "" << "" << invalid;
    QTest::newRow("no scheme, no path") << "127.0.0.1" << "" << "" << invalid;
    QTest::newRow("local file") << "file:///srv/examples" << "" << "" << invalid;
    QTest::newRow("empty") << "" << "" << "" << invalid;
}

void tst_ApiClient::urlSplitting()
{
    QFETCH(QString, url);
    QFETCH(QString, group);
    QFETCH(QString, baseUrl);
    QFETCH(QString, debug);

    auto client = std::make_unique<ApiClient>(QUrl(url));
    QSignalSpy statuses(client.get(), &ApiClient::statusChanged);
    QCOMPARE(client->group(), group);
    if (!baseUrl.isEmpty())
        QCOMPARE(client->baseUrl().toString(), baseUrl);
    if (!debug.isEmpty()) {
        QVERIFY2(MessageLog::contains(debug + " \"" + url + "\""), qPrintable(MessageLog::messages().join('\n')));
        // An unusable URL never searches.
        QCoreApplication::processEvents();
        QCOMPARE(statuses.count(), 0);
    } else {
        QVERIFY(MessageLog::messages().isEmpty());
    }
    QCOMPARE(client->groupId(), 0u);
    client.reset(); // before its queued search could reach the address
}

void tst_ApiClient::search_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<qint64>("groupId");
    QTest::addColumn<QStringList>("debug");

    const QStringList searched{"Searching examples", ""};
    const QStringList ready = searched + QStringList{"API client is ready"};
    const QStringList noId = searched + QStringList{"Search error: request return wrong data - no id field"};
    const QStringList nullObject = searched + QStringList{"Search error: request return null object"};
    const QStringList networkError{"Searching examples", "Network error: *"};
    const QStringList unusable = searched + QStringList{"Search error: request return wrong data - unusable group id"};
    const QStringList more{"Search request return more than 1 object - taking first"};
    const QStringList none;
    const GitLabBehaviour normal;
    const auto reply = [](const char *body) { return GitLabBehaviour::reply(200, body); };

    // The real answer lists "Alpha examples", "examples", "more-examples" and "sub", in that order.
    QTest::newRow("server, among several") << "examples" << normal << ready << m_examplesId << more;
    QTest::newRow("server, other case") << "Examples" << normal << ready << m_examplesId << more;
    QTest::newRow("server, subgroup") << "examples/sub" << normal << ready << m_subId << none;
    QTest::newRow("server, unknown") << "nothing" << normal << noId << qint64(0) << none;
    QTest::newRow("object") << "examples" << reply(R"({"id":77})") << ready << qint64(77) << none;
    QTest::newRow("empty array") << "examples" << reply("[]") << noId << qint64(0) << none;
    QTest::newRow("two, none ours") << "examples" << reply(R"([{"id":5,"full_path":"a"},{"id":6}])") << ready
                                    << qint64(5) << more;
    QTest::newRow("two, second ours") << "examples"
        << reply(R"([{"id":5,"full_path":"more-examples"},{"id":6,"full_path":"EXAMPLES"}])") << ready << qint64(6)
        << more;
    // Any other number would be requested as another group.
    QTest::newRow("id 0") << "examples" << reply(R"([{"id":0}])") << unusable << qint64(0) << none;
    QTest::newRow("id as string") << "examples" << reply(R"({"id":"12"})") << unusable << qint64(0) << none;
    QTest::newRow("id fraction") << "examples" << reply(R"({"id":1.5})") << unusable << qint64(0) << none;
    QTest::newRow("id negative") << "examples" << reply(R"({"id":-78})") << unusable << qint64(0) << none;
    QTest::newRow("id 2^63") << "examples" << reply(R"({"id":9223372036854775808})") << unusable << qint64(0)
                             << none;
    QTest::newRow("id a 4 MB string") << "examples"
                                      << GitLabBehaviour::reply(200, R"({"id":")" + QByteArray(4 << 20, '7') + R"("})")
                                      << unusable << qint64(0) << QStringList{R"(Unusable group id: "\"7777)"};
    QTest::newRow("id 2^32") << "examples" << reply(R"({"id":4294967296})") << ready << qint64(4294967296)
                             << none;
    QTest::newRow("no id") << "examples" << reply(R"({"name":"examples"})") << noId << qint64(0) << none;
    QTest::newRow("204") << "examples" << GitLabBehaviour::noContent() << nullObject << qint64(0)
                         << QStringList{"Json response: \"\"", "Json parse error: "};
    QTest::newRow("not json") << "examples" << GitLabBehaviour::notJson() << nullObject << qint64(0)
                              << QStringList{"Json response: \"<html>", "Json parse error: "};
    const QString searchUrl = m_server.url().toString() + "/api/v4/groups?search=%22examples%22";
    QTest::newRow("302, followed") << "examples" << GitLabBehaviour::redirect(searchUrl, 302).only(1) << ready
                                   << m_examplesId << more;
    QTest::newRow("301, more than 5 hops") << "examples" << GitLabBehaviour::redirect(searchUrl) << networkError
                                           << qint64(0) << none;
    QTest::newRow("not json, 4 MB") << "examples" << GitLabBehaviour::reply(200, QByteArray(4 << 20, 'x'), "text/plain")
                                    << nullObject << qint64(0) << QStringList{"Json response: \"xxx"};
    QTest::newRow("404") << "examples" << GitLabBehaviour::reply(404) << networkError << qint64(0) << none;
    QTest::newRow("429") << "examples" << GitLabBehaviour::reply(429) << networkError << qint64(0) << none;
    QTest::newRow("closed mid-body") << "examples" << GitLabBehaviour::closeMidBody() << networkError << qint64(0)
                                     << none;
    QTest::newRow("delayed") << "examples" << GitLabBehaviour::delay(200) << ready << m_examplesId << more;
}

void tst_ApiClient::search()
{
    QFETCH(QString, group);
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(QStringList, statuses);
    QFETCH(qint64, groupId);
    QFETCH(QStringList, debug);

    m_server.setBehaviour(GitLabServer::SearchRoute, behaviour);
    ApiClient client(m_server.groupUrl(group));
    QSignalSpy statusSpy(&client, &ApiClient::statusChanged);
    QSignalSpy readySpy(&client, &ApiClient::ready);
    const QString error = mismatch(statusSpy, statuses, debug);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(client.groupId(), quint64(groupId));
    QCOMPARE(readySpy.count(), groupId ? 1 : 0);
    if (debug.filter("more than 1 object").isEmpty())
        QVERIFY(!MessageLog::containsStartingWith("Search request return more than 1 object"));
    // An answer is quoted up to 1 KiB.
    for (const QString &message : MessageLog::messages())
        QVERIFY(message.size() <= 1024 + 40);

    // The group path goes between double quotes, as one phrase.
    const QList<HttpRequest> requests = m_server.requests();
    // At most 5 hops, where Qt would follow 50; it may send a request again when a kept connection closes.
    if (behaviour.kind == GitLabBehaviour::Redirect)
        QVERIFY(requests.size() > 1 && requests.size() <= 3 * (1 + ApiClient::MaximumRedirects));
    else
        QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().path, QByteArray("/api/v4/groups"));
    QCOMPARE(requests.first().queryValue("search"), '"' + group + '"');
    QCOMPARE(requests.first().header("Content-Type"), QByteArray("application/json"));
}

void tst_ApiClient::fetch_data()
{
    QTest::addColumn<GitLabBehaviour>("behaviour");
    QTest::addColumn<QStringList>("statuses");
    QTest::addColumn<int>("fetched"); // -1: not emitted
    QTest::addColumn<QStringList>("debug");

    const QStringList ok{"Fetch examples", ""};
    const QStringList networkError{"Fetch examples", "Network error: *"};
    const QStringList noProjects = ok + QStringList{"Fetch error: request return wrong data - no projects field"};
    const QStringList nullObject = ok + QStringList{"Fetch error: request return null object"};
    const QStringList none;
    const auto reply = [](const char *body) { return GitLabBehaviour::reply(200, body); };

    QTest::newRow("server") << GitLabBehaviour() << ok << 2 << none;
    QTest::newRow("no projects") << reply(R"({"id":11})") << noProjects << -1 << none;
    QTest::newRow("empty projects") << reply(R"({"projects":[]})") << ok << 0 << none;
    QTest::newRow("projects not an array") << reply(R"({"projects":{"id":1}})") << ok << 0 << none;
    QTest::newRow("array of two") << reply(R"([{"projects":[{"id":3,"name":"A","path":"a","web_url":"w"},)"
                                           R"({"id":4,"name":"","path":"b","web_url":"w"}]},{"projects":[]}])")
                                  << ok << 1 << QStringList{"Fetch request return more than 1 object - taking first"};
    QTest::newRow("empty array") << reply("[]") << noProjects << -1 << none;
    QTest::newRow("not json") << GitLabBehaviour::notJson() << nullObject << -1
                              << QStringList{"Json response:", "Json parse error: "};
    QTest::newRow("204") << GitLabBehaviour::noContent() << nullObject << -1 << QStringList{"Json response:"};
    QTest::newRow("404") << GitLabBehaviour::reply(404) << networkError << -1 << none;
    QTest::newRow("301") << GitLabBehaviour::redirect("/api/v4/groups/1") << networkError << -1 << none;
}

void tst_ApiClient::fetch()
{
    QFETCH(GitLabBehaviour, behaviour);
    QFETCH(QStringList, statuses);
    QFETCH(int, fetched);
    QFETCH(QStringList, debug);

    ApiClient client(m_server.groupUrl("examples"));
    QVERIFY(QSignalSpy(&client, &ApiClient::ready).wait(5000));
    m_server.setBehaviour(GitLabServer::GroupRoute, behaviour);
    QSignalSpy statusSpy(&client, &ApiClient::statusChanged);
    QSignalSpy fetchedSpy(&client, &ApiClient::fetched);
    client.fetch();
    const QString error = mismatch(statusSpy, statuses, debug);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(fetchedSpy.count(), fetched < 0 ? 0 : 1);
    QCOMPARE(m_server.requestCount(QString("^/api/v4/groups/%1$").arg(client.groupId())), 1);
    if (fetched < 0)
        return;

    const auto examples = fetchedSpy.first().first().value<Repository::Examples>();
    QCOMPARE(examples.size(), fetched);
    if (QTest::currentDataTag() == QByteArray("server")) {
        // Only the group's own valid projects, newest first, each exactly as the server sent it.
        for (int i = 0; i < examples.size(); ++i) {
            QVERIFY(examples.at(i)->isValid());
            QCOMPARE(examples.at(i)->json(), m_server.projectJson(m_valid.at(i)));
        }
    }
}

void tst_ApiClient::fetchBeforeReady()
{
    m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::reply(200, R"([{"id":0}])"));
    ApiClient client(m_server.groupUrl("examples"));
    QSignalSpy statusSpy(&client, &ApiClient::statusChanged);
    QTRY_COMPARE(statusSpy.count(), 3);
    client.fetch();
    QCOMPARE(statusSpy.last().first().toString(),
             QString("Repository error: group id not found - unable to fetch examples"));
    QTest::qWait(50);
    QCOMPARE(m_server.requestCount(GitLabServer::GroupRoute), 0);
    QCOMPARE(statusSpy.count(), 4);
}

void tst_ApiClient::stalledSearch()
{
    const int timeout = 400;
    ApiClient::setTransferTimeout(timeout);
    m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::noAnswer());
    QElapsedTimer elapsed;
    elapsed.start();
    ApiClient client(m_server.groupUrl("examples"));
    QSignalSpy statusSpy(&client, &ApiClient::statusChanged);
    QTRY_COMPARE_WITH_TIMEOUT(statusSpy.count(), 2, 5000);
    QVERIFY(elapsed.elapsed() >= timeout * 95 / 100); // coarse timers may fire 5 % early
    QCOMPARE(statusSpy.last().first().toString(), QString("Network error: Operation canceled"));
    QVERIFY(MessageLog::containsStartingWith("Transfer stalled, aborting:"));
    QCOMPARE(client.groupId(), 0u);
    QTRY_COMPARE(m_server.inFlight(), 0); // the connection was given up

    // A slow answer whose data keeps coming in time is not a stall.
    m_server.clearBehaviours();
    m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::delay(timeout / 2));
    ApiClient patient(m_server.groupUrl("examples"));
    QSignalSpy ready(&patient, &ApiClient::ready);
    QVERIFY(ready.wait(5000));
}

// Ended while the network threads still run; a manager destroyed later with the request under way
// leaves that request's objects behind.
void tst_ApiClient::quitDuringSearch()
{
    m_server.setBehaviour(GitLabServer::SearchRoute, GitLabBehaviour::noAnswer());
    ApiClient client(m_server.groupUrl("examples"));
    QTRY_COMPARE(m_server.inFlight(), 1);
    QVERIFY(QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit"));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.inFlight(), 0, 1000);
    QCOMPARE(client.groupId(), 0u);
}

QTEST_GUILESS_MAIN(tst_ApiClient)

#include "tst_apiclient.moc"
