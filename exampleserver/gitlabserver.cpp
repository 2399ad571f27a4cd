#include "gitlabserver.h"

#include "gitrepository.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>

namespace {

const QByteArray ApiPrefix = "/api/v4";
const QString AvatarPrefix = QStringLiteral("/uploads/-/system/project/avatar/");

QByteArray message(const QJsonValue &value)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("message"), value}}).toJson(QJsonDocument::Compact);
}

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

QJsonValue nullable(const QString &text) { return text.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue(text); }
QString decoded(const QByteArray &segment) { return QUrl::fromPercentEncoding(segment); }

// An IMF-fixdate, as HTTP dates are written.
QByteArray httpDate(qint64 secondsSinceEpoch)
{
    return QLocale::c()
        .toString(QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC),
                  QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"))
        .toLatin1();
}

// Plain HTTP, or TLS once it has a certificate.
class Listener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    QSslCertificate certificate;
    QSslKey key;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        if (certificate.isNull()) {
            QTcpServer::incomingConnection(descriptor);
            return;
        }
        auto socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        socket->startServerEncryption();
        addPendingConnection(socket);
    }
};

} // namespace

const QString GitLabServer::SearchRoute = QStringLiteral("^/api/v4/groups$");
const QString GitLabServer::GroupRoute = QStringLiteral("^/api/v4/groups/[^/]+$");
const QString GitLabServer::ProjectsRoute = QStringLiteral("^/api/v4/groups/[^/]+/projects$");
const QString GitLabServer::ArchiveRoute = QStringLiteral("^/api/v4/projects/[^/]+/repository/archive");
const QString GitLabServer::AvatarRoute = QStringLiteral("^/uploads/-/system/project/avatar/");

const QByteArray GitLabServer::TokenHeader = "PRIVATE-TOKEN";

QString GitLabServer::archiveRoute(qint64 projectId)
{
    return QStringLiteral("^/api/v4/projects/%1/repository/archive").arg(projectId);
}

QString GitLabServer::avatarRoute(qint64 projectId)
{
    return QStringLiteral("^/uploads/-/system/project/avatar/%1/").arg(projectId);
}

GitLabServer::GitLabServer(QObject *parent)
    : QObject(parent)
    , m_server(new Listener(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &GitLabServer::onNewConnection);
    m_clock.start();
}

GitLabServer::~GitLabServer()
{
    // Open connections go with the listening socket; their signals must not reach a half-destroyed server.
    for (QTcpSocket *socket : m_pending.keys())
        socket->disconnect(this);
}

bool GitLabServer::listen(quint16 port)
{
    if (!m_server->listen(QHostAddress::LocalHost, port)) {
        m_error = m_server->errorString();
        return false;
    }
    return true;
}

void GitLabServer::useTls(const QSslCertificate &certificate, const QSslKey &key)
{
    auto listener = static_cast<Listener *>(m_server);
    listener->certificate = certificate;
    listener->key = key;
}

QUrl GitLabServer::url() const
{
    const bool tls = !static_cast<Listener *>(m_server)->certificate.isNull();
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(tls ? "https" : "http").arg(m_server->serverPort()));
}

QUrl GitLabServer::groupUrl(const QString &fullPath) const
{
    QUrl result = url();
    result.setPath(QLatin1Char('/') + fullPath);
    return result;
}

// Groups

qint64 GitLabServer::addGroup(const QString &path, const QString &name, qint64 parentId)
{
    Group group;
    group.id = m_nextGroupId++;
    group.parentId = parentId;
    group.path = path;
    group.name = name.isEmpty() ? path : name;
    m_groups.append(group);
    return group.id;
}

qint64 GitLabServer::addGroupPath(const QString &fullPath)
{
    qint64 parentId = 0;
    QString prefix;
    for (const QString &part : fullPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += (prefix.isEmpty() ? QString() : QStringLiteral("/")) + part;
        const qint64 existing = groupId(prefix);
        parentId = existing ? existing : addGroup(part, part, parentId);
    }
    return parentId;
}

qint64 GitLabServer::groupId(const QString &fullPath) const
{
    const Group *group = findGroup(fullPath);
    return group ? group->id : 0;
}

void GitLabServer::setGroupToken(qint64 groupId, const QByteArray &token)
{
    for (Group &group : m_groups) {
        if (group.id == groupId)
            group.token = token;
    }
}

const GitLabServer::Group *GitLabServer::findGroup(const QString &idOrPath) const
{
    bool numeric = false;
    const qint64 id = idOrPath.toLongLong(&numeric);
    for (const Group &group : m_groups) {
        if (numeric ? group.id == id : fullPath(group).compare(idOrPath, Qt::CaseInsensitive) == 0)
            return &group;
    }
    return nullptr;
}

const GitLabServer::Group *GitLabServer::parentOf(const Group &group) const
{
    const auto parent = std::find_if(m_groups.cbegin(), m_groups.cend(),
                                     [&](const Group &candidate) { return candidate.id == group.parentId; });
    return group.parentId && parent != m_groups.cend() ? &*parent : nullptr;
}

QString GitLabServer::fullPath(const Group &group) const
{
    const Group *parent = parentOf(group);
    return parent ? fullPath(*parent) + QLatin1Char('/') + group.path : group.path;
}

QString GitLabServer::fullName(const Group &group) const
{
    const Group *parent = parentOf(group);
    return parent ? fullName(*parent) + QStringLiteral(" / ") + group.name : group.name;
}

bool GitLabServer::isPrivate(const Group &group) const
{
    for (const Group *g = &group; g; g = parentOf(*g)) {
        if (!g->token.isEmpty())
            return true;
    }
    return false;
}

// A parent's token opens its subgroups too, as membership is inherited. An empty token is none.
int GitLabServer::refusal(const Group &group, const HttpRequest &request) const
{
    if (!isPrivate(group))
        return 0;
    const QByteArray token = request.header(TokenHeader);
    if (token.isEmpty())
        return 401;
    for (const Group *g = &group; g; g = parentOf(*g)) {
        if (g->token == token)
            return 0;
    }
    return 403;
}

QJsonObject GitLabServer::toJson(const Group &group) const
{
    const QString path = fullPath(group);
    return {
        {QStringLiteral("id"), group.id},
        {QStringLiteral("web_url"), url().toString() + QStringLiteral("/groups/") + path},
        {QStringLiteral("name"), group.name},
        {QStringLiteral("path"), group.path},
        {QStringLiteral("description"), QString()},
        {QStringLiteral("visibility"), isPrivate(group) ? QStringLiteral("private") : QStringLiteral("public")},
        {QStringLiteral("avatar_url"), QJsonValue::Null},
        {QStringLiteral("full_name"), fullName(group)},
        {QStringLiteral("full_path"), path},
        {QStringLiteral("parent_id"), group.parentId ? QJsonValue(group.parentId) : QJsonValue::Null},
    };
}

// Projects

qint64 GitLabServer::addProject(qint64 groupId, const QString &folder, const ProjectOptions &options)
{
    if (!m_gitRoot.isValid()) {
        m_error = QStringLiteral("No folder for the git repositories");
        return 0;
    }
    Project project;
    project.groupId = groupId;
    project.options = options;
    ProjectOptions &o = project.options;
    if (o.name.isEmpty())
        o.name = QFileInfo(folder).fileName();
    if (!o.commitDate.isValid())
        o.commitDate = QDateTime(QDate(2024, 3, 5), QTime(10, 20, 30), Qt::UTC);
    project.git = newRepository();
    if (!project.git->commit(folder, o.commitDate, QStringLiteral("Add %1").arg(o.name))) {
        m_error = project.git->errorString();
        return 0;
    }
    return insertProject(project);
}

qint64 GitLabServer::addProjectCopy(qint64 sourceId, qint64 groupId, const ProjectOptions &options)
{
    const auto source = m_projects.constFind(sourceId);
    if (source == m_projects.cend()) {
        m_error = QStringLiteral("No project %1").arg(sourceId);
        return 0;
    }
    Project project;
    project.groupId = groupId;
    project.options = options;
    if (project.options.name.isEmpty())
        project.options.name = source->options.name;
    project.options.commitDate = source->options.commitDate;
    project.git = source->git;
    return insertProject(project);
}

qint64 GitLabServer::insertProject(Project project)
{
    ProjectOptions &o = project.options;
    if (o.path.isEmpty())
        o.path = o.name.toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    if (!o.lastActivity.isValid())
        o.lastActivity = o.commitDate.addMSecs(123);
    if (!rebuildArchive(project) || (!o.avatarFile.isEmpty() && !loadAvatar(project, o.avatarFile)))
        return 0;
    project.id = m_nextProjectId++;
    m_projects.insert(project.id, project);
    return project.id;
}

std::shared_ptr<GitRepository> GitLabServer::newRepository()
{
    return std::make_shared<GitRepository>(m_gitRoot.filePath(QStringLiteral("%1.git").arg(++m_repositories)),
                                           QStringLiteral("master"));
}

void GitLabServer::shareProject(qint64 id, qint64 groupId)
{
    if (m_projects.contains(id))
        m_projects[id].sharedWith.append(groupId);
}

bool GitLabServer::updateProject(qint64 id, const QString &folder, const QDateTime &commitDate)
{
    auto it = m_projects.find(id);
    if (it == m_projects.end())
        return false;
    // A repository shared with copies stays as it is for them.
    const std::shared_ptr<GitRepository> git = it->git.use_count() > 1 ? newRepository() : it->git;
    if (!git->commit(folder, commitDate, QStringLiteral("Update %1").arg(it->options.name))) {
        m_error = git->errorString();
        return false;
    }
    it->git = git;
    if (!rebuildArchive(*it))
        return false;
    it->options.commitDate = commitDate; // what later copies take
    it->options.lastActivity = commitDate;
    return true;
}

bool GitLabServer::rebuildArchive(Project &project)
{
    project.archive = project.git->archive(archiveTopFolder(project));
    if (project.archive.isEmpty()) {
        m_error = project.git->errorString();
        return false;
    }
    return true;
}

bool GitLabServer::loadAvatar(Project &project, const QString &pngFile)
{
    QFile file(pngFile);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("Cannot read %1").arg(pngFile);
        return false;
    }
    project.avatar = file.readAll();
    project.avatarName = QFileInfo(pngFile).fileName();
    return true;
}

void GitLabServer::setProjectField(qint64 id, const QString &key, const QJsonValue &value)
{
    if (m_projects.contains(id))
        m_projects[id].overrides.insert(key, value);
}

QJsonObject GitLabServer::projectJson(qint64 id) const
{
    return m_projects.contains(id) ? toJson(m_projects.value(id)) : QJsonObject();
}

QByteArray GitLabServer::archive(qint64 id) const
{
    return m_projects.value(id).archive;
}

QString GitLabServer::archiveTopFolder(const Project &project) const
{
    return QStringLiteral("%1-%2-%3").arg(project.options.path, project.git->branch(), project.git->sha());
}

QString GitLabServer::commitSha(qint64 id) const
{
    const Project project = m_projects.value(id);
    return project.git ? project.git->sha() : QString();
}

const GitLabServer::Project *GitLabServer::findProject(const QString &id) const
{
    const auto it = m_projects.find(id.toLongLong());
    return it == m_projects.end() ? nullptr : &*it;
}

QJsonObject GitLabServer::toJson(const Project &project) const
{
    const ProjectOptions &o = project.options;
    const Group *group = findGroup(QString::number(project.groupId));
    const QString groupPath = group ? fullPath(*group) : QString();
    const QString groupName = group ? fullName(*group) : QString();
    const QString webUrl = url().toString() + QLatin1Char('/') + groupPath + QLatin1Char('/') + o.path;
    const QJsonArray tags = QJsonArray::fromStringList(o.tags);
    QJsonValue avatar = QJsonValue::Null;
    if (!project.avatarName.isEmpty())
        avatar = url().toString() + AvatarPrefix + QString::number(project.id) + QLatin1Char('/')
                 + project.avatarName;
    QJsonObject json{
        {QStringLiteral("id"), project.id},
        {QStringLiteral("description"), nullable(o.description)},
        {QStringLiteral("name"), o.name},
        {QStringLiteral("name_with_namespace"), groupName + QStringLiteral(" / ") + o.name},
        {QStringLiteral("path"), o.path},
        {QStringLiteral("path_with_namespace"), groupPath + QLatin1Char('/') + o.path},
        {QStringLiteral("default_branch"), project.git->branch()},
        {QStringLiteral("http_url_to_repo"), webUrl + QStringLiteral(".git")},
        {QStringLiteral("web_url"), webUrl},
        {QStringLiteral("avatar_url"), avatar},
        {QStringLiteral("last_activity_at"), isoTime(o.lastActivity)},
    };
    for (const QString &key : m_tagKeys)
        json.insert(key, tags);
    for (auto it = project.overrides.cbegin(); it != project.overrides.cend(); ++it) {
        if (it.value().isUndefined())
            json.remove(it.key());
        else
            json.insert(it.key(), it.value());
    }
    return json;
}

// Misbehaviour and request log

void GitLabServer::setBehaviour(const QString &pathPattern, const GitLabBehaviour &behaviour)
{
    m_behaviours.append({QRegularExpression(pathPattern), behaviour});
}

void GitLabServer::clearBehaviours()
{
    m_behaviours.clear();
}

int GitLabServer::requestCount(const QString &pathPattern, const QByteArray &withHeader) const
{
    const QRegularExpression expression(pathPattern);
    return int(std::count_if(m_requests.cbegin(), m_requests.cend(), [&](const HttpRequest &request) {
        return expression.match(QString::fromLatin1(request.path)).hasMatch()
               && (withHeader.isEmpty() || request.hasHeader(withHeader));
    }));
}

void GitLabServer::clearRequests()
{
    m_requests.clear();
    ++m_logGeneration;
    m_connections = 0;
}

// Connections

void GitLabServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        Pending pending;
        pending.connection = ++m_connectionSerial;
        ++m_connections;
        m_pending.insert(socket, pending);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { onDisconnected(socket); });
    }
}

void GitLabServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end())
        return;
    it->buffer += socket->readAll();
    takeRequest(socket);
}

// Starts the next request of a connection once its head is complete; one at a time, in order.
void GitLabServer::takeRequest(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end() || it->received)
        return;
    const int end = it->buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray head = it->buffer.left(end + 2);
    it->buffer.remove(0, end + 4);
    if (!HttpRequest::parse(head, &it->request)) {
        socket->write(HttpResponse(400, message(QStringLiteral("400 Bad request"))).serialize());
        socket->disconnectFromHost();
        return;
    }
    it->received = true; // requests of GET carry no body
    it->answered = false;
    dispatch(socket);
}

void GitLabServer::onDisconnected(QTcpSocket *socket)
{
    const auto it = m_pending.find(socket);
    if (it != m_pending.end()) {
        if (it->received && !it->answered)
            --m_inFlight;
        m_pending.erase(it);
    }
    socket->deleteLater();
}

void GitLabServer::dispatch(QTcpSocket *socket)
{
    Pending &pending = m_pending[socket];
    HttpRequest &request = pending.request;
    request.receivedAt = m_clock.elapsed();
    request.answeredAt = -1;
    request.connection = pending.connection;
    pending.logIndex = m_requests.size();
    pending.logGeneration = m_logGeneration;
    m_requests.append(request);
    m_maxInFlight = std::max(m_maxInFlight, ++m_inFlight);

    GitLabBehaviour behaviour;
    for (auto it = m_behaviours.begin(); it != m_behaviours.end(); ++it) {
        if (!it->first.match(QString::fromLatin1(request.path)).hasMatch())
            continue;
        behaviour = it->second;
        if (it->second.times > 0 && --it->second.times == 0)
            m_behaviours.erase(it);
        break;
    }
    if (behaviour.delayMs > 0) {
        QTimer::singleShot(behaviour.delayMs, socket, [this, socket, behaviour] {
            if (m_pending.contains(socket))
                answer(socket, behaviour);
        });
    } else {
        answer(socket, behaviour);
    }
}

void GitLabServer::answer(QTcpSocket *socket, const GitLabBehaviour &behaviour)
{
    const HttpRequest request = m_pending.value(socket).request;
    HttpResponse response;
    switch (behaviour.kind) {
    case GitLabBehaviour::Normal:
    case GitLabBehaviour::LinkOnly:
    case GitLabBehaviour::RepeatPrevious:
        response = route(request, behaviour.kind);
        break;
    case GitLabBehaviour::Reply:
        response = behaviour.body.isEmpty() ? errorFor(request.path, behaviour.status)
                                            : HttpResponse(behaviour.status, behaviour.body, behaviour.contentType);
        response.status = behaviour.status;
        break;
    case GitLabBehaviour::RateLimited: {
        response = errorFor(request.path, behaviour.status);
        // Whole seconds rounded up, so that the time named never comes before retrySeconds have passed.
        const qint64 due = (QDateTime::currentMSecsSinceEpoch() + 999) / 1000 + behaviour.retrySeconds;
        if (behaviour.retry == GitLabBehaviour::RetryAfterSeconds)
            response.addHeader("Retry-After", QByteArray::number(behaviour.retrySeconds));
        else if (behaviour.retry == GitLabBehaviour::RetryAfterDate)
            response.addHeader("Retry-After", httpDate(due));
        else if (behaviour.retry == GitLabBehaviour::RateLimitReset)
            response.addHeader("RateLimit-Reset", QByteArray::number(due));
        break;
    }
    case GitLabBehaviour::NoAnswer:
        return;
    case GitLabBehaviour::CloseMidBody:
        response = route(request);
        socket->write(response.head() + response.body.left(response.body.size() / 2));
        finish(socket);
        socket->disconnectFromHost();
        return;
    case GitLabBehaviour::NotJson:
        response = HttpResponse(200, "<html><body><h1>Welcome</h1>", "text/html; charset=utf-8");
        break;
    case GitLabBehaviour::NoContent:
        response = HttpResponse(204, {}, {});
        break;
    case GitLabBehaviour::Redirect:
        response = HttpResponse(behaviour.status, "<html><body>You are being redirected.</body></html>", "text/html");
        response.addHeader("Location", behaviour.location.toUtf8());
        break;
    case GitLabBehaviour::Drip:
        drip(socket, route(request), behaviour.dripMs);
        return;
    }
    response.keepAlive = request.keepAlive();
    socket->write(response.serialize());
    finish(socket);
    if (!response.keepAlive) {
        socket->disconnectFromHost();
        return;
    }
    m_pending[socket].received = false;
    takeRequest(socket);
}

void GitLabServer::drip(QTcpSocket *socket, const HttpResponse &response, int msPerByte)
{
    socket->write(response.head());
    auto timer = new QTimer(socket); // goes with the connection when the client gives up
    auto sent = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, socket, [this, socket, timer, sent, body = response.body] {
        if (*sent < body.size()) {
            socket->write(body.mid((*sent)++, 1));
            return;
        }
        timer->stop();
        finish(socket);
        socket->disconnectFromHost();
    });
    timer->start(msPerByte);
}

void GitLabServer::finish(QTcpSocket *socket)
{
    auto it = m_pending.find(socket);
    if (it == m_pending.end() || it->answered)
        return;
    it->answered = true;
    --m_inFlight;
    if (it->logGeneration == m_logGeneration && it->logIndex >= 0 && it->logIndex < m_requests.size())
        m_requests[it->logIndex].answeredAt = m_clock.elapsed();
}

// Routes

HttpResponse GitLabServer::route(const HttpRequest &request, GitLabBehaviour::Kind kind) const
{
    if (request.method != "GET")
        return HttpResponse(405, R"({"error":"405 Not Allowed"})");
    if (!m_requiredHeader.isEmpty() && !request.hasHeader(m_requiredHeader))
        return HttpResponse(403, message(QStringLiteral("403 Forbidden - only through the proxy")));
    const QList<QByteArray> parts = request.path.split('/');
    if (request.path == ApiPrefix + "/groups")
        return searchGroups(request, kind);
    if (request.path.startsWith(ApiPrefix + "/groups/")
        && (parts.size() == 5 || (parts.size() == 6 && parts.at(5) == "projects"))) {
        const Group *group = findGroup(decoded(parts.at(4)));
        if (!group)
            return errorFor(request.path, 404);
        if (const int refused = refusal(*group, request))
            return errorFor(request.path, refused);
        return parts.size() == 5 ? groupDetails(*group, request) : groupProjects(*group, request, kind);
    }
    const bool archive = request.path.startsWith(ApiPrefix + "/projects/") && parts.size() == 7
                         && parts.at(5) == "repository"
                         && (parts.at(6) == "archive" || parts.at(6) == "archive.tar.gz");
    const bool avatar = QString::fromLatin1(request.path).startsWith(AvatarPrefix) && parts.size() == 8;
    if (!archive && !avatar)
        return HttpResponse(404, R"({"error":"404 Not Found"})");
    const Project *project = findProject(decoded(parts.at(archive ? 4 : 6)));
    if (!project)
        return archive ? errorFor(request.path, 404) : HttpResponse(404, message(QStringLiteral("404 Not found")));
    const Group *group = findGroup(QString::number(project->groupId));
    if (const int refused = group ? refusal(*group, request) : 0)
        return errorFor(request.path, refused);
    return archive ? projectArchive(*project) : projectAvatar(*project, decoded(parts.at(7)));
}

// One page of a listing of `total` items, with GitLab's paging headers.
HttpResponse GitLabServer::page(const HttpRequest &request, int total, const std::function<QJsonValue(int)> &item,
                                GitLabBehaviour::Kind kind) const
{
    const int asked = request.queryValue(QStringLiteral("per_page")).toInt();
    const int perPage = asked > 0 ? std::min(asked, 100) : 20;
    const qint64 current = std::max(1, request.queryValue(QStringLiteral("page")).toInt());
    const qint64 pages = std::max<qint64>(1, (total + perPage - 1) / perPage);
    const qint64 first = (current - 1) * perPage;
    const bool totals = total <= m_totalsLimit;
    const bool next = first + perPage < total;

    QJsonArray array;
    if (kind == GitLabBehaviour::RepeatPrevious && current > 1 && first <= total)
        array.append(item(int(first - 1)));
    for (qint64 i = first; i < std::min<qint64>(total, first + perPage); ++i)
        array.append(item(int(i)));
    HttpResponse response(200, QJsonDocument(array).toJson(QJsonDocument::Compact));

    const auto link = [&](qint64 to, const char *rel) {
        QUrlQuery query(QString::fromLatin1(request.query));
        query.removeAllQueryItems(QStringLiteral("page"));
        query.removeAllQueryItems(QStringLiteral("per_page"));
        query.addQueryItem(QStringLiteral("page"), QString::number(to));
        query.addQueryItem(QStringLiteral("per_page"), QString::number(perPage));
        return QStringLiteral("<%1%2?%3>; rel=\"%4\"")
            .arg(url().toString(), QString::fromLatin1(request.path), query.toString(QUrl::FullyEncoded),
                 QLatin1String(rel));
    };
    QStringList links;
    if (current > 1)
        links << link(current - 1, "prev");
    if (next)
        links << link(current + 1, "next");
    links << link(1, "first");
    if (totals)
        links << link(pages, "last");
    response.addHeader("Link", links.join(QStringLiteral(", ")).toLatin1());
    if (kind == GitLabBehaviour::LinkOnly)
        return response;
    response.addHeader("X-Next-Page", next ? QByteArray::number(current + 1) : QByteArray());
    response.addHeader("X-Page", QByteArray::number(current));
    response.addHeader("X-Per-Page", QByteArray::number(perPage));
    response.addHeader("X-Prev-Page", current > 1 ? QByteArray::number(current - 1) : QByteArray());
    if (totals) {
        response.addHeader("X-Total", QByteArray::number(total));
        response.addHeader("X-Total-Pages", QByteArray::number(pages));
    }
    return response;
}

HttpResponse GitLabServer::searchGroups(const HttpRequest &request, GitLabBehaviour::Kind kind) const
{
    // A quoted term is one phrase: the quotes are not part of what is searched for.
    const QString term = request.queryValue(QStringLiteral("search")).remove(QLatin1Char('"')).trimmed();
    QList<const Group *> found;
    for (const Group &group : m_groups) {
        const bool matches = fullPath(group).contains(term, Qt::CaseInsensitive)
                             || fullName(group).contains(term, Qt::CaseInsensitive);
        if (matches && refusal(group, request) == 0)
            found.append(&group);
    }
    std::sort(found.begin(), found.end(), [](const Group *a, const Group *b) {
        const int byName = a->name.compare(b->name, Qt::CaseInsensitive);
        return byName != 0 ? byName < 0 : a->id < b->id;
    });
    return page(request, found.size(), [&](int i) { return toJson(*found.at(i)); }, kind);
}

HttpResponse GitLabServer::groupDetails(const Group &group, const HttpRequest &request) const
{
    QJsonObject json = toJson(group);
    if (!m_embedProjects || request.queryValue(QStringLiteral("with_projects")) == QLatin1String("false"))
        return HttpResponse(200, QJsonDocument(json).toJson(QJsonDocument::Compact));
    QList<const Project *> own;
    QList<const Project *> shared;
    for (const Project &project : m_projects) {
        if (project.groupId == group.id)
            own.append(&project);
        else if (project.sharedWith.contains(group.id))
            shared.append(&project);
    }
    const auto embedded = [this](QList<const Project *> projects) {
        std::sort(projects.begin(), projects.end(), [](const Project *a, const Project *b) { return a->id > b->id; });
        QJsonArray array;
        for (int i = 0; i < std::min<int>(projects.size(), 100); ++i)
            array.append(toJson(*projects.at(i)));
        return array;
    };
    json.insert(QStringLiteral("projects"), embedded(own));
    json.insert(QStringLiteral("shared_projects"), embedded(shared));
    return HttpResponse(200, QJsonDocument(json).toJson(QJsonDocument::Compact));
}

HttpResponse GitLabServer::groupProjects(const Group &group, const HttpRequest &request,
                                         GitLabBehaviour::Kind kind) const
{
    const QString orderBy = request.queryValue(QStringLiteral("order_by"));
    const QString sort = request.queryValue(QStringLiteral("sort"));
    static const QStringList orders{QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("path"),
                                    QStringLiteral("created_at"), QStringLiteral("last_activity_at")};
    if (!orderBy.isEmpty() && !orders.contains(orderBy))
        return HttpResponse(400, R"({"error":"order_by does not have a valid value"})");
    if (!sort.isEmpty() && sort != QLatin1String("asc") && sort != QLatin1String("desc"))
        return HttpResponse(400, R"({"error":"sort does not have a valid value"})");

    const bool withShared = request.queryValue(QStringLiteral("with_shared")) != QLatin1String("false");
    QList<const Project *> listed;
    for (const Project &project : m_projects) {
        const Group *owner = findGroup(QString::number(project.groupId));
        if (project.groupId == group.id
            || (withShared && project.sharedWith.contains(group.id) && owner && refusal(*owner, request) == 0))
            listed.append(&project);
    }
    // GitLab's default is the newest first; ids grow with the creation time.
    const bool ascending = sort == QLatin1String("asc");
    const auto compare = [](const auto &a, const auto &b) { return int(b < a) - int(a < b); };
    std::sort(listed.begin(), listed.end(), [&](const Project *a, const Project *b) {
        int order = 0;
        if (orderBy == QLatin1String("name"))
            order = compare(a->options.name, b->options.name);
        else if (orderBy == QLatin1String("path"))
            order = compare(a->options.path, b->options.path);
        else if (orderBy == QLatin1String("last_activity_at"))
            order = compare(a->options.lastActivity, b->options.lastActivity);
        if (order == 0)
            order = compare(a->id, b->id);
        return ascending ? order < 0 : order > 0;
    });
    return page(request, listed.size(), [&](int i) { return toJson(*listed.at(i)); }, kind);
}

HttpResponse GitLabServer::projectArchive(const Project &project) const
{
    HttpResponse response(200, project.archive, "application/octet-stream");
    response.addHeader("Content-Disposition",
                       "attachment; filename=\"" + archiveTopFolder(project).toUtf8() + ".tar.gz\"");
    return response;
}

HttpResponse GitLabServer::projectAvatar(const Project &project, const QString &file) const
{
    if (project.avatarName.isEmpty() || project.avatarName != file)
        return HttpResponse(404, message(QStringLiteral("404 Not found")));
    return HttpResponse(200, project.avatar, "image/png");
}

HttpResponse GitLabServer::errorFor(const QByteArray &path, int status) const
{
    if (status == 404 && path.startsWith(ApiPrefix + "/groups"))
        return HttpResponse(404, message(QStringLiteral("404 Group Not Found")));
    if (status == 404 && path.startsWith(ApiPrefix + "/projects"))
        return HttpResponse(404, message(QStringLiteral("404 Project Not Found")));
    if (status == 429)
        return HttpResponse(429, message(QJsonObject{{QStringLiteral("error"),
            QStringLiteral("This archive has been requested too many times. Try again later.")}}));
    return HttpResponse(status, message(QStringLiteral("%1 %2").arg(status)
                                        .arg(QString::fromLatin1(HttpResponse::reasonPhrase(status)))));
}
