#pragma once

#include "gitlabbehaviour.h"
#include "httpmessage.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QSslCertificate;
class QSslKey;
class QTcpServer;
class QTcpSocket;
QT_END_NAMESPACE

class GitRepository;

// How a project is described; every field has a default.
struct GitLabProjectOptions
{
    QString name;                // default: the folder's name
    QString path;                // default: the name, lower case, spaces as "-"
    QString description;         // null string: JSON null
    QStringList tags;
    QDateTime commitDate;        // default: 2024-03-05T10:20:30Z
    QDateTime lastActivity;      // default: the commit date plus 123 ms
    QString avatarFile;          // a PNG file served as the picture; empty: no picture
};

// A GitLab-compatible server (REST API v4, the parts the example plugin uses) on 127.0.0.1.
//
// Routes:
//   GET /api/v4/groups?search=<text>[&page=N][&per_page=N]    group search, paginated
//   GET /api/v4/groups/<id or encoded full path>               group details with "projects"
//   GET /api/v4/groups/<id or encoded full path>/projects      the group's projects, paginated
//   GET /api/v4/projects/<id>/repository/archive[.tar.gz]
//   GET /uploads/-/system/project/avatar/<id>/<file>           project picture
//
// Paginated answers carry GitLab's headers: Link (rel "prev", "next", "first", "last"), X-Page,
// X-Per-Page, X-Next-Page and X-Prev-Page (empty when there is none), X-Total and X-Total-Pages.
// A group made private with a token answers, with its subgroups, projects, archives and pictures,
// only requests that carry the header "PRIVATE-TOKEN: <token>": 401 without one, 403 with another;
// the search leaves it out for them.
// Every project is a real folder committed to its own git repository; its archive is made once per
// commit by git and kept in memory. Connections are kept open between requests (HTTP/1.1 keep-alive)
// unless the client asks to close them.
class GitLabServer : public QObject
{
    Q_OBJECT

public:
    // Path patterns (regular expressions on the still-encoded path) for setBehaviour().
    static const QString SearchRoute;
    static const QString GroupRoute;
    static const QString ProjectsRoute; // a group's paginated projects
    static const QString ArchiveRoute;
    static const QString AvatarRoute;
    static QString archiveRoute(qint64 projectId);
    static QString avatarRoute(qint64 projectId);
    static const QByteArray TokenHeader; // "PRIVATE-TOKEN"

    using ProjectOptions = GitLabProjectOptions;

    explicit GitLabServer(QObject *parent = nullptr);
    ~GitLabServer() override;

    // Listens on 127.0.0.1; port 0 picks a free one.
    bool listen(quint16 port = 0);
    // Answers over TLS with this certificate from then on; url() becomes https.
    void useTls(const QSslCertificate &certificate, const QSslKey &key);
    QUrl url() const;                                // http://127.0.0.1:<port>
    QUrl groupUrl(const QString &fullPath) const;    // the repository URL of a group
    QString errorString() const { return m_error; }

    // Groups. A subgroup's full path and full name are built from its parent's.
    qint64 addGroup(const QString &path, const QString &name = {}, qint64 parentId = 0);
    // Adds the group and every missing parent of a path like "a/b/c"; returns the last one's id.
    qint64 addGroupPath(const QString &fullPath);
    qint64 groupId(const QString &fullPath) const;
    // Makes the group and its subgroups private to requests with this token; an empty one makes it public.
    void setGroupToken(qint64 groupId, const QByteArray &token);

    // Projects. Returns the new id, or 0 when git failed (see errorString()).
    qint64 addProject(qint64 groupId, const QString &folder, const ProjectOptions &options = {});
    // A project with the content and commit of another one under its own options (their commit date
    // is not used), at the cost of one archive and no commit: for serving thousands of projects.
    qint64 addProjectCopy(qint64 sourceId, qint64 groupId, const ProjectOptions &options);
    // Lists the project among the group's projects too, unless the request says with_shared=false.
    void shareProject(qint64 id, qint64 groupId);
    // Commits the folder's current content as a new commit ("changed on the server"); the project's
    // last activity becomes the commit date.
    bool updateProject(qint64 id, const QString &folder, const QDateTime &commitDate);
    // Replaces one field of the project's JSON as sent; QJsonValue::Undefined removes the key.
    void setProjectField(qint64 id, const QString &key, const QJsonValue &value);
    QJsonObject projectJson(qint64 id) const;
    QByteArray archive(qint64 id) const;
    QString commitSha(qint64 id) const;

    // How it answers, as GitLab versions and settings differ.
    // The keys under which a project's tags are sent (default: both "tag_list" and "topics").
    void setTagKeys(const QStringList &keys) { m_tagKeys = keys; }
    // False: the group's details carry no "projects" and "shared_projects" at all. Either way at most
    // 100 of each, as GitLab sends.
    void setEmbedProjects(bool embed) { m_embedProjects = embed; }
    // Paginated listings of more items than this carry no X-Total, X-Total-Pages and rel="last"
    // (GitLab: 10 000).
    void setTotalsLimit(int count) { m_totalsLimit = count; }
    // Answers 403 to every request without this header, as a server that only a proxy may reach (a
    // proxy adds "Via"); empty: any request.
    void setRequiredHeader(const QByteArray &name) { m_requiredHeader = name; }

    // Misbehaviour: the first behaviour whose pattern matches a request's path decides its answer.
    void setBehaviour(const QString &pathPattern, const GitLabBehaviour &behaviour);
    void clearBehaviours();

    // Request log and load. clearRequests() also restarts the count of accepted connections.
    QList<HttpRequest> requests() const { return m_requests; }
    // With `withHeader`, only the requests that carried that header (see TokenHeader).
    int requestCount(const QString &pathPattern, const QByteArray &withHeader = {}) const;
    int connectionCount() const { return m_connections; }
    void clearRequests();
    int inFlight() const { return m_inFlight; }
    int maxInFlight() const { return m_maxInFlight; }
    void resetMaxInFlight() { m_maxInFlight = m_inFlight; }

private:
    struct Group
    {
        qint64 id = 0;
        qint64 parentId = 0;
        QString name;
        QString path;
        QByteArray token;
    };
    struct Project
    {
        qint64 id = 0;
        qint64 groupId = 0;
        ProjectOptions options;
        std::shared_ptr<GitRepository> git;
        QByteArray archive;
        QByteArray avatar;
        QString avatarName;
        QHash<QString, QJsonValue> overrides;
        QList<qint64> sharedWith;
    };
    struct Pending
    {
        QByteArray buffer;
        HttpRequest request;
        bool received = false;
        bool answered = false;
        int connection = 0;
        int logIndex = -1;      // of the current request in m_requests
        int logGeneration = 0;  // m_requests was not cleared since
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void takeRequest(QTcpSocket *socket);
    void onDisconnected(QTcpSocket *socket);
    void dispatch(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const GitLabBehaviour &behaviour);
    void drip(QTcpSocket *socket, const HttpResponse &response, int msPerByte);
    void finish(QTcpSocket *socket);

    // `kind`: Normal, or one of the behaviours that change a paginated answer.
    HttpResponse route(const HttpRequest &request, GitLabBehaviour::Kind kind = GitLabBehaviour::Normal) const;
    HttpResponse searchGroups(const HttpRequest &request, GitLabBehaviour::Kind kind) const;
    HttpResponse groupDetails(const Group &group, const HttpRequest &request) const;
    HttpResponse groupProjects(const Group &group, const HttpRequest &request, GitLabBehaviour::Kind kind) const;
    HttpResponse projectArchive(const Project &project) const;
    HttpResponse projectAvatar(const Project &project, const QString &file) const;
    HttpResponse page(const HttpRequest &request, int total, const std::function<QJsonValue(int)> &item,
                      GitLabBehaviour::Kind kind) const;
    HttpResponse errorFor(const QByteArray &path, int status) const;
    QString archiveTopFolder(const Project &project) const; // "<path>-<branch>-<sha>"

    const Group *findGroup(const QString &idOrPath) const;
    const Group *parentOf(const Group &group) const;
    const Project *findProject(const QString &id) const;
    bool isPrivate(const Group &group) const;
    int refusal(const Group &group, const HttpRequest &request) const; // 0, 401 or 403
    qint64 insertProject(Project project);
    std::shared_ptr<GitRepository> newRepository();
    QString fullPath(const Group &group) const;
    QString fullName(const Group &group) const;
    QJsonObject toJson(const Group &group) const;
    QJsonObject toJson(const Project &project) const;
    bool rebuildArchive(Project &project);
    bool loadAvatar(Project &project, const QString &pngFile);

    QTcpServer *m_server = nullptr;
    QTemporaryDir m_gitRoot;
    QList<Group> m_groups;
    QMap<qint64, Project> m_projects;
    qint64 m_nextGroupId = 10;
    qint64 m_nextProjectId = 100;
    int m_repositories = 0;
    QStringList m_tagKeys{QStringLiteral("tag_list"), QStringLiteral("topics")};
    bool m_embedProjects = true;
    int m_totalsLimit = 10000;
    QByteArray m_requiredHeader;
    QList<QPair<QRegularExpression, GitLabBehaviour>> m_behaviours;
    QHash<QTcpSocket *, Pending> m_pending;
    QList<HttpRequest> m_requests;
    int m_logGeneration = 0;
    int m_connections = 0;
    int m_connectionSerial = 0;
    QElapsedTimer m_clock;
    int m_inFlight = 0;
    int m_maxInFlight = 0;
    QString m_error;
};
