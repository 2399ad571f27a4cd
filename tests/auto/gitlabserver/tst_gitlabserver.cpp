#include <gitlabserver.h>
#include <testprojects.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Answer
{
    int status = 0;
    QByteArray body;
    QList<QNetworkReply::RawHeaderPair> headers;

    bool has(const QByteArray &name) const
    {
        return std::any_of(headers.cbegin(), headers.cend(),
                           [&](const auto &header) { return header.first.compare(name, Qt::CaseInsensitive) == 0; });
    }
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &header : headers) {
            if (header.first.compare(name, Qt::CaseInsensitive) == 0)
                return header.second;
        }
        return {};
    }
    QString link(const QString &rel) const
    {
        const QRegularExpression pattern(QStringLiteral("<([^>]*)>; rel=\"%1\"").arg(rel));
        return pattern.match(QString::fromLatin1(header("Link"))).captured(1);
    }
    // The "path" (projects) or "full_path" (groups) of each item of the page, space-separated.
    QString items() const
    {
        QStringList paths;
        for (const QJsonValue &item : QJsonDocument::fromJson(body).array())
            paths << item[QStringLiteral("full_path")].toString(item[QStringLiteral("path")].toString());
        return paths.join(QLatin1Char(' '));
    }
    // The paging headers that came, and the relations of the Link header.
    QString paging() const
    {
        QStringList parts;
        for (const char *name : {"X-Next-Page", "X-Page", "X-Per-Page", "X-Prev-Page", "X-Total", "X-Total-Pages"}) {
            if (has(name))
                parts << QString::fromLatin1(QByteArray(name).mid(2).toLower() + '=' + header(name));
        }
        QStringList rels;
        auto it = QRegularExpression(QStringLiteral("rel=\"(\\w+)\"")).globalMatch(QString::fromLatin1(header("Link")));
        while (it.hasNext())
            rels << it.next().captured(1);
        return (parts << QStringLiteral("link=") + rels.join(QLatin1Char(','))).join(QLatin1Char(' '));
    }
};

// Milliseconds until the time the answer names for coming back, read as a client does; -1: none named.
qint64 retryWaitMs(const Answer &answer)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const QByteArray retryAfter = answer.header("Retry-After");
    bool seconds = false;
    const qint64 value = retryAfter.toLongLong(&seconds);
    if (seconds)
        return value * 1000;
    if (!retryAfter.isEmpty()) {
        QDateTime date = QLocale::c().toDateTime(QString::fromLatin1(retryAfter),
                                                 QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
        date.setTimeSpec(Qt::UTC);
        return date.isValid() ? date.toMSecsSinceEpoch() - now : -2;
    }
    return answer.has("RateLimit-Reset") ? answer.header("RateLimit-Reset").toLongLong() * 1000 - now : -1;
}

const QString ById = QStringLiteral("order_by=id&sort=asc&with_shared=false");

} // namespace

class tst_GitLabServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        const QString folder = m_folders.filePath(QStringLiteral("hello"));
        GitLabServer::ProjectOptions options;
        options.avatarFile = m_folders.filePath(QStringLiteral("hello.png"));
        QVERIFY(TestProjects::writeQmakeProject(folder, QStringLiteral("hello")));
        QVERIFY(TestProjects::writePng(options.avatarFile, {16, 16}));
        QList<qint64> copies;
        const auto copy = [&](qint64 group, const QString &path) {
            options.path = path;
            return copies.append(m_server.addProjectCopy(m_source, group, options)), copies.last();
        };

        // Paths in the reverse order of the ids.
        const qint64 paged = m_server.addGroup(QStringLiteral("paged"));
        options.path = QStringLiteral("echo");
        m_source = m_server.addProject(paged, folder, options);
        QVERIFY2(m_source, qPrintable(m_server.errorString()));
        for (const char *path : {"delta", "charlie", "bravo", "alpha"})
            copy(paged, QString::fromLatin1(path));
        m_server.shareProject(copy(m_server.addGroup(QStringLiteral("other")), QStringLiteral("shared")), paged);
        m_big = m_server.addGroup(QStringLiteral("big"));
        for (int i = 0; i < 101; ++i)
            copy(m_big, QStringLiteral("big-%1").arg(i));

        m_secret = m_server.addGroup(QStringLiteral("secret"));
        m_server.setGroupToken(m_secret, "s3cret");
        m_secretProject = copy(m_secret, QStringLiteral("hidden"));
        m_subProject = copy(m_server.addGroup(QStringLiteral("sub"), {}, m_secret), QStringLiteral("deeper"));
        QVERIFY2(!copies.contains(0), qPrintable(m_server.errorString()));
    }

    void cleanup()
    {
        m_server.clearBehaviours();
        m_server.clearRequests();
        m_server.setTotalsLimit(10000);
        m_server.setEmbedProjects(true);
    }

    void paging_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<QString>("items");
        QTest::addColumn<QString>("paging");

        const GitLabBehaviour normal;
        QTest::newRow("first page") << ById + "&per_page=2&page=1" << normal << "echo delta"
            << "next-page=2 page=1 per-page=2 prev-page= total=5 total-pages=3 link=next,first,last";
        QTest::newRow("last page") << ById + "&per_page=2&page=3" << normal << "alpha"
            << "next-page= page=3 per-page=2 prev-page=2 total=5 total-pages=3 link=prev,first,last";
        QTest::newRow("after the last page") << ById + "&per_page=2&page=4" << normal << ""
            << "next-page= page=4 per-page=2 prev-page=3 total=5 total-pages=3 link=prev,first,last";
        QTest::newRow("no paging asked: newest first, shared ones too") << QString() << normal
            << "shared alpha bravo charlie delta echo"
            << "next-page= page=1 per-page=20 prev-page= total=6 total-pages=1 link=first,last";
        QTest::newRow("by path") << "order_by=path&sort=asc&with_shared=false&per_page=3" << normal
            << "alpha bravo charlie"
            << "next-page=2 page=1 per-page=3 prev-page= total=5 total-pages=2 link=next,first,last";
        QTest::newRow("link only") << ById + "&per_page=2&page=2" << GitLabBehaviour::linkOnly() << "charlie bravo"
            << "link=prev,next,first,last";
        QTest::newRow("repeating the previous page's last") << ById + "&per_page=2&page=2"
            << GitLabBehaviour::repeatPrevious() << "delta charlie bravo"
            << "next-page=3 page=2 per-page=2 prev-page=1 total=5 total-pages=3 link=prev,next,first,last";
    }

    void paging()
    {
        QFETCH(QString, query);
        QFETCH(GitLabBehaviour, behaviour);
        m_server.setBehaviour(GitLabServer::ProjectsRoute, behaviour);
        const Answer answer = get("/api/v4/groups/paged/projects?" + query);
        QCOMPARE(answer.status, 200);
        QTEST(answer.items(), "items");
        QTEST(answer.paging(), "paging");
    }

    // The links keep what was asked besides the page, so following them lists each project once.
    void followingLinks()
    {
        m_server.setBehaviour(GitLabServer::ProjectsRoute, GitLabBehaviour::linkOnly());
        QStringList items;
        QString next = "/api/v4/groups/paged/projects?per_page=2&" + ById;
        for (int pages = 0; !next.isEmpty() && pages < 9; ++pages) {
            const Answer answer = get(next);
            QCOMPARE(answer.status, 200);
            items << answer.items();
            next = answer.link(QStringLiteral("next"));
        }
        QCOMPARE(items.join(QLatin1Char(' ')), QStringLiteral("echo delta charlie bravo alpha"));
    }

    void limits()
    {
        const QString big = QStringLiteral("/api/v4/groups/%1").arg(m_big);
        const Answer capped = get(big + "/projects?per_page=101&" + ById);
        QCOMPARE(capped.items().count(QLatin1Char(' ')) + 1, 100);
        QCOMPARE(capped.paging(),
                 QStringLiteral("next-page=2 page=1 per-page=100 prev-page= total=101 total-pages=2 link=next,first,last"));

        m_server.setTotalsLimit(101);
        QVERIFY(get(big + "/projects").has("X-Total"));
        m_server.setTotalsLimit(100);
        QCOMPARE(get(big + "/projects?" + ById).paging(),
                 QStringLiteral("next-page=2 page=1 per-page=20 prev-page= link=next,first"));

        QCOMPARE(QJsonDocument::fromJson(get(big).body)["projects"].toArray().size(), 100);
        m_server.setEmbedProjects(false);
        const Answer bare = get(big);
        QCOMPARE(bare.status, 200);
        QVERIFY(!QJsonDocument::fromJson(bare.body).object().contains("projects"));
    }

    void privateGroups_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("token"); // null: no header
        QTest::addColumn<int>("status");

        const QByteArray none;
        const QString group = QStringLiteral("/api/v4/groups/secret");
        const QString archive = QStringLiteral("/api/v4/projects/%1/repository/archive.tar.gz").arg(m_secretProject);
        const QString avatar = m_server.projectJson(m_subProject)["avatar_url"].toString();
        QTest::newRow("group, no token") << group << none << 401;
        QTest::newRow("group, empty token") << group << QByteArray("") << 401;
        QTest::newRow("group, another token") << group << QByteArray("s3cret2") << 403;
        QTest::newRow("group, its token") << group << QByteArray("s3cret") << 200;
        QTest::newRow("projects, no token") << group + "/projects" << none << 401;
        QTest::newRow("projects, its token") << group + "/projects" << QByteArray("s3cret") << 200;
        QTest::newRow("subgroup, no token") << group + "%2Fsub" << none << 401;
        QTest::newRow("subgroup, the parent's token") << group + "%2Fsub" << QByteArray("s3cret") << 200;
        QTest::newRow("archive, no token") << archive << none << 401;
        QTest::newRow("archive, another token") << archive << QByteArray("wrong") << 403;
        QTest::newRow("archive, its token") << archive << QByteArray("s3cret") << 200;
        QTest::newRow("subgroup's picture, no token") << avatar << none << 401;
        QTest::newRow("subgroup's picture, the token") << avatar << QByteArray("s3cret") << 200;
        QTest::newRow("public group, no token") << QStringLiteral("/api/v4/groups/paged") << none << 200;
    }

    void privateGroups()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, token);
        QTEST(get(target, token).status, "status");
        QCOMPARE(m_server.requestCount(QStringLiteral("."), GitLabServer::TokenHeader), token.isNull() ? 0 : 1);
    }

    void searchHidesPrivateGroups_data()
    {
        QTest::addColumn<QByteArray>("token");
        QTest::addColumn<QString>("found");

        QTest::newRow("no token") << QByteArray() << "";
        QTest::newRow("another token") << QByteArray("s3cret2") << "";
        QTest::newRow("its token") << QByteArray("s3cret") << "secret secret/sub";
    }

    void searchHidesPrivateGroups()
    {
        QFETCH(QByteArray, token);
        const Answer answer = get(QStringLiteral("/api/v4/groups?search=secret"), token);
        QCOMPARE(answer.status, 200);
        QTEST(answer.items(), "found");
    }

    void rateLimits_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("target");
        QTest::addColumn<GitLabBehaviour>("behaviour");
        QTest::addColumn<QString>("header"); // the one that names when to come back

        const auto limited = [](int status, GitLabBehaviour::RetryHint hint) {
            return GitLabBehaviour::rateLimited(status, hint, 3).only(2);
        };
        QTest::newRow("429, Retry-After in seconds") << GitLabServer::SearchRoute << "/api/v4/groups?search=paged"
            << limited(429, GitLabBehaviour::RetryAfterSeconds) << "Retry-After";
        QTest::newRow("503, Retry-After as a date") << GitLabServer::ProjectsRoute << "/api/v4/groups/paged/projects"
            << limited(503, GitLabBehaviour::RetryAfterDate) << "Retry-After";
        QTest::newRow("429, RateLimit-Reset") << GitLabServer::ArchiveRoute
            << QStringLiteral("/api/v4/projects/%1/repository/archive").arg(m_source)
            << limited(429, GitLabBehaviour::RateLimitReset) << "RateLimit-Reset";
        QTest::newRow("503, no hint") << GitLabServer::AvatarRoute
            << m_server.projectJson(m_source)["avatar_url"].toString()
            << limited(503, GitLabBehaviour::NoRetryHint) << "";
    }

    void rateLimits()
    {
        QFETCH(QString, route);
        QFETCH(QString, target);
        QFETCH(GitLabBehaviour, behaviour);
        QFETCH(QString, header);
        m_server.setBehaviour(route, behaviour);
        for (int i = 0; i < behaviour.times; ++i) {
            const Answer answer = get(target);
            QCOMPARE(answer.status, behaviour.status);
            QCOMPARE(answer.has("Retry-After"), header == "Retry-After");
            QCOMPARE(answer.has("RateLimit-Reset"), header == "RateLimit-Reset");
            const qint64 wait = retryWaitMs(answer);
            QVERIFY2(header.isEmpty() ? wait == -1 : wait > 2500 && wait <= 4000, qPrintable(QString::number(wait)));
        }
        QCOMPARE(get(target).status, 200);
    }

    // Copies share a commit but not their archive's top folder, nor a later change.
    void copies()
    {
        const qint64 group = m_server.addGroup(QStringLiteral("copies"));
        GitLabServer::ProjectOptions options;
        options.name = QStringLiteral("Copy");
        const qint64 copy = m_server.addProjectCopy(m_source, group, options);
        const QString sha = m_server.commitSha(m_source);
        QCOMPARE(m_server.commitSha(copy), sha);
        QCOMPARE(get(QStringLiteral("/api/v4/projects/%1/repository/archive").arg(copy)).header("Content-Disposition"),
                 "attachment; filename=\"copy-master-" + sha.toLatin1() + ".tar.gz\"");
        const QString folder = m_folders.filePath(QStringLiteral("hello"));
        QVERIFY(TestProjects::writeFile(folder, QStringLiteral("README.md"), "changed"));
        QVERIFY(m_server.updateProject(copy, folder, QDateTime::currentDateTimeUtc()));
        QVERIFY(m_server.commitSha(copy) != sha);
        QCOMPARE(m_server.commitSha(m_source), sha);
    }

private:
    // `target`: a path and query on the server, or a whole URL.
    Answer get(const QString &target, const QByteArray &token = {})
    {
        const bool whole = target.startsWith(QLatin1String("http"));
        QNetworkRequest request(QUrl(whole ? target : m_server.url().toString() + target));
        if (!token.isNull())
            request.setRawHeader(GitLabServer::TokenHeader, token);
        std::unique_ptr<QNetworkReply> reply(m_manager.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!finished.wait(10000))
            return {};
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                reply->rawHeaderPairs()};
    }

    QTemporaryDir m_folders;
    GitLabServer m_server;
    QNetworkAccessManager m_manager;
    qint64 m_source = 0;
    qint64 m_big = 0;
    qint64 m_secret = 0;
    qint64 m_secretProject = 0;
    qint64 m_subProject = 0;
};

QTEST_MAIN(tst_GitLabServer)
#include "tst_gitlabserver.moc"
