#include <gitlabserver.h>
#include <testprojects.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QHash<QByteArray, QByteArray> headers;

    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

// Runs a program with `input` on its standard input and returns its standard output.
QByteArray run(const QString &program, const QStringList &arguments, const QByteArray &input)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "UTC");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished();
    return process.readAllStandardOutput();
}

// "tar -tv" of a ".tar.gz", with full times.
QString listing(const QByteArray &archive)
{
    return QString::fromUtf8(run("tar", {"--full-time", "-tvf", "-"}, run("gzip", {"-dc"}, archive)));
}

} // namespace

// The server must answer as GitLab does: the plugin's suites take its answers for a real server's.
class tst_GitLabServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void search_data();
    void search();
    void groupDetails();
    void archive();
    void errors_data();
    void errors();

private:
    Answer get(const QString &target);

    QNetworkAccessManager m_manager;
    QTemporaryDir m_folders;
    GitLabServer m_server;
    qint64 m_examples = 0;
    qint64 m_hello = 0;
    qint64 m_calc = 0;
};

Answer tst_GitLabServer::get(const QString &target)
{
    QNetworkReply *reply = m_manager.get(QNetworkRequest(QUrl(m_server.url().toString() + target)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(5000);
    Answer answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(), {}};
    for (const auto &header : reply->rawHeaderPairs())
        answer.headers.insert(header.first, header.second);
    reply->deleteLater();
    return answer;
}

void tst_GitLabServer::initTestCase()
{
    QVERIFY(m_folders.isValid());
    QVERIFY(m_server.listen());
    QCOMPARE(m_server.url().host(), QString("127.0.0.1"));
    m_server.addGroup("tools");
    m_examples = m_server.addGroup("examples");
    m_server.addGroup("more-examples");
    m_server.addGroup("sub", "sub", m_examples);
    m_server.addGroup("alpha-examples", "Alpha examples");

    QVERIFY(TestProjects::writeQmakeProject(m_folders.filePath("hello"), "hello"));
    QVERIFY(TestProjects::writeCMakeProject(m_folders.filePath("calc"), "calc"));
    QVERIFY(TestProjects::writePng(m_folders.filePath("calc.png"), {40, 20}));
    GitLabServer::ProjectOptions options;
    options.name = "Hello World";
    options.tags = QStringList{"qml"};
    m_hello = m_server.addProject(m_examples, m_folders.filePath("hello"), options);
    options = {};
    options.avatarFile = m_folders.filePath("calc.png");
    options.description = "Adds numbers";
    m_calc = m_server.addProject(m_examples, m_folders.filePath("calc"), options);
    QVERIFY2(m_hello && m_calc, qPrintable(m_server.errorString()));
    m_server.addProject(m_server.groupId("examples/sub"), m_folders.filePath("hello"));
}

void tst_GitLabServer::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArray>("total");
    QTest::addColumn<QByteArray>("nextPage");

    // tst_apiclient searches for quoted full paths, in other case too.
    const QStringList all{"Alpha examples", "examples", "more-examples", "sub"};
    QTest::newRow("by name") << "search=examples" << all << QByteArray("4") << QByteArray();
    QTest::newRow("first page") << "search=examples&per_page=3" << QStringList(all.mid(0, 3)) << QByteArray("4")
                                << QByteArray("2");
    QTest::newRow("last page") << "search=examples&per_page=3&page=2" << QStringList(all.mid(3)) << QByteArray("4")
                               << QByteArray();
    QTest::newRow("full name phrase") << "search=%22alpha+ex%22" << QStringList{"Alpha examples"}
                                      << QByteArray("1") << QByteArray();
}

void tst_GitLabServer::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, names);
    QFETCH(QByteArray, total);
    QFETCH(QByteArray, nextPage);

    const Answer answer = get("/api/v4/groups?" + query);
    QCOMPARE(answer.status, 200);
    QStringList found;
    for (const QJsonValue &group : answer.json().array())
        found.append(group["name"].toString());
    QCOMPARE(found, names);
    QCOMPARE(answer.headers.value("X-Total"), total);
    QVERIFY(answer.headers.contains("X-Next-Page"));
    QCOMPARE(answer.headers.value("X-Next-Page"), nextPage);
}

void tst_GitLabServer::groupDetails()
{
    const QJsonObject group = get(QString("/api/v4/groups/%1").arg(m_examples)).json().object();
    QCOMPARE(group["full_path"].toString(), QString("examples"));
    QVERIFY(group["parent_id"].isNull());
    const QJsonArray projects = group["projects"].toArray();
    QCOMPARE(projects.size(), 2); // not the subgroup's project
    QCOMPARE(projects.at(0)["id"].toInt(), int(m_calc)); // newest first
    QCOMPARE(projects.at(0)["description"].toString(), QString("Adds numbers"));
    QVERIFY(projects.at(0)["avatar_url"].toString().startsWith(
        m_server.url().toString() + QString("/uploads/-/system/project/avatar/%1/").arg(m_calc)));

    const QJsonObject hello = projects.at(1).toObject();
    const QString url = m_server.url().toString() + "/examples/hello-world";
    QCOMPARE(hello["id"].toInt(), int(m_hello));
    QCOMPARE(hello["name"].toString(), QString("Hello World"));
    QCOMPARE(hello["path"].toString(), QString("hello-world"));
    QCOMPARE(hello["path_with_namespace"].toString(), QString("examples/hello-world"));
    QCOMPARE(hello["name_with_namespace"].toString(), QString("examples / Hello World"));
    QVERIFY(hello["description"].isNull());
    QVERIFY(hello["avatar_url"].isNull());
    QCOMPARE(hello["last_activity_at"].toString(), QString("2024-03-05T10:20:30.123Z"));
    QCOMPARE(hello["tag_list"].toArray(), QJsonArray{"qml"});
    QCOMPARE(hello["topics"].toArray(), QJsonArray{"qml"});
    QCOMPARE(hello["default_branch"].toString(), QString("master"));
    QCOMPARE(hello["web_url"].toString(), url);
    QCOMPARE(hello["http_url_to_repo"].toString(), url + ".git");

    const QJsonObject sub = get("/api/v4/groups/examples%2Fsub").json().object();
    QCOMPARE(sub["full_name"].toString(), QString("examples / sub"));
    QCOMPARE(sub["parent_id"].toInt(), int(m_examples));
}

void tst_GitLabServer::archive()
{
    const Answer answer = get(QString("/api/v4/projects/%1/repository/archive.tar.gz").arg(m_hello));
    QCOMPARE(answer.status, 200);
    const QString sha = m_server.commitSha(m_hello);
    const QString top = "hello-world-master-" + sha;
    QCOMPARE(answer.headers.value("Content-Type"), QByteArray("application/octet-stream"));
    QCOMPARE(answer.headers.value("Content-Disposition"), "attachment; filename=\"" + top.toUtf8() + ".tar.gz\"");

    // One top folder, every entry at the commit time, the commit id in the pax global header.
    const QStringList entries = listing(answer.body).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(entries.size(), 3);
    for (const QString &entry : entries)
        QVERIFY2(entry.contains("2024-03-05 10:20:30 " + top + "/"), qPrintable(entry));
    QCOMPARE(run("git", {"get-tar-commit-id"}, run("gzip", {"-dc"}, answer.body)).trimmed(), sha.toLatin1());

    // A new commit changes the archive and the project's last activity.
    const QString folder = m_folders.filePath("hello2");
    QVERIFY(TestProjects::writeQmakeProject(folder, "hello"));
    QVERIFY(TestProjects::writeFile(folder, "README.md", "# Hello\n"));
    QVERIFY(QFile::remove(folder + "/main.cpp"));
    QVERIFY(m_server.updateProject(m_hello, folder, QDateTime(QDate(2024, 6, 1), QTime(8, 0), Qt::UTC)));
    QVERIFY(m_server.commitSha(m_hello) != sha);
    const QString updated = listing(get(QString("/api/v4/projects/%1/repository/archive").arg(m_hello)).body);
    QVERIFY(updated.contains("2024-06-01 08:00:00 hello-world-master-" + m_server.commitSha(m_hello)
                             + "/README.md"));
    QVERIFY(!updated.contains("main.cpp"));
    QCOMPARE(m_server.projectJson(m_hello)["last_activity_at"].toString(), QString("2024-06-01T08:00:00.000Z"));
}

void tst_GitLabServer::errors_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("unknown group") << "/api/v4/groups/999" << 404 << QByteArray(R"({"message":"404 Group Not Found"})");
    QTest::newRow("unknown project") << "/api/v4/projects/4242/repository/archive.tar.gz" << 404
                                     << QByteArray(R"({"message":"404 Project Not Found"})");
    QTest::newRow("rate limit") << "/api/v4/projects/%1/repository/archive.tar.gz" << 429 << QByteArray(
        R"({"message":{"error":"This archive has been requested too many times. Try again later."}})");
    QTest::newRow("unknown picture") << "/uploads/-/system/project/avatar/%1/other.png" << 404
                                     << QByteArray(R"({"message":"404 Not found"})");
}

void tst_GitLabServer::errors()
{
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    if (status == 429)
        m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::reply(429));
    const Answer answer = get(target.arg(m_calc));
    m_server.clearBehaviours();
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, body);
}

QTEST_GUILESS_MAIN(tst_GitLabServer)

#include "tst_gitlabserver.moc"
