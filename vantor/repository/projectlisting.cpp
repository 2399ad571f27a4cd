#include "projectlisting.h"

#include "serveraccess.h"

#include "plugin/logging.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QUrlQuery>

#include <atomic>

namespace Vantor {
namespace Internal {

namespace {

std::atomic<int> s_maximumProjects{ProjectListing::DefaultMaximumProjects};

} // namespace

void ProjectListing::setMaximumProjects(int count)
{
    s_maximumProjects = count;
}

int ProjectListing::maximumProjects()
{
    return s_maximumProjects;
}

ProjectListing::ProjectListing(const QUrl &apiBase, quint64 groupId)
{
    // The group's own projects, as the embedded list holds them, oldest first so that a project
    // added meanwhile lands on a later page instead of shifting the pages still to come.
    m_firstPage = QUrl(apiBase.toString() + QStringLiteral("/groups/%1/projects").arg(groupId));
    m_firstPage.setQuery(QStringLiteral("per_page=%1&order_by=id&sort=asc&with_shared=false&page=1").arg(PageSize));
    m_requested.insert(m_firstPage.toString());
}

bool ProjectListing::takeGroup(const QJsonObject &group)
{
    const QJsonValue embedded = group.value(QLatin1String("projects"));
    if (!embedded.isArray() || embedded.toArray().size() >= EmbeddedLimit)
        return false;
    add(embedded.toArray());
    return true;
}

QUrl ProjectListing::takePage(const QJsonArray &projects, const QNetworkReply &reply)
{
    add(projects);
    if (m_capped || projects.isEmpty())
        return {};
    const QUrl next = nextPage(reply.url(), reply.hasRawHeader("X-Next-Page"), reply.rawHeader("X-Next-Page"),
                               reply.rawHeader("Link"));
    if (next.isEmpty())
        return {};
    // Never to another server, and never twice: a server that sends back to a page ends the listing.
    if (!ServerAccess::isSameServer(next, m_firstPage) || m_requested.contains(next.toString())) {
        qCDebug(apiLog) << "Next page not followed:" << next.toString().left(1024);
        return {};
    }
    m_requested.insert(next.toString());
    return next;
}

void ProjectListing::add(const QJsonArray &projects)
{
    for (const QJsonValue &project : projects) {
        const auto example = Repository::ExamplePtr::create(project.toObject());
        const qint64 id = example->id();
        if (id != 0 && m_ids.contains(id))
            continue;
        if (id != 0 && m_ids.size() >= maximumProjects()) {
            m_capped = true;
            return;
        }
        if (id != 0)
            m_ids.insert(id);
        if (example->isValid())
            m_examples.append(example);
        else if (id == 0 && example->json().contains(QLatin1String("id")))
            qCDebug(apiLog) << "Skipping project with unusable id:"
                            << QJsonDocument(QJsonArray{example->json().value(QLatin1String("id"))})
                                   .toJson(QJsonDocument::Compact).mid(1).chopped(1).left(1024);
    }
}

QUrl ProjectListing::nextPage(const QUrl &current, bool hasNextPageHeader, const QByteArray &nextPageHeader,
                              const QByteArray &linkHeader)
{
    if (hasNextPageHeader) {
        bool isNumber = false;
        const int page = nextPageHeader.trimmed().toInt(&isNumber);
        if (!isNumber || page < 1)
            return {};
        QUrlQuery query(current);
        query.removeAllQueryItems(QStringLiteral("page"));
        query.addQueryItem(QStringLiteral("page"), QString::number(page));
        QUrl next = current;
        next.setQuery(query);
        return next;
    }
    static const QRegularExpression nextLink(QStringLiteral("<([^>]*)>[^,<]*;\\s*rel=\"?next\"?"));
    const QRegularExpressionMatch match = nextLink.match(QString::fromLatin1(linkHeader));
    return match.hasMatch() ? current.resolved(QUrl(match.captured(1))) : QUrl();
}

} // namespace Internal
} // namespace Vantor
