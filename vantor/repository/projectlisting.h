#pragma once

#include "repository.h"

#include <QSet>
#include <QString>
#include <QUrl>

QT_BEGIN_NAMESPACE
class QJsonArray;
class QJsonObject;
class QNetworkReply;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// The projects of a group. GitLab embeds at most 100 of them in the group's answer (and deprecates the
// list); an answer without the list or with a full one is followed by the group's own projects page by
// page, as the next-page headers lead and never by the totals, which GitLab leaves out of long listings.
class ProjectListing
{
public:
    static constexpr int EmbeddedLimit = 100;
    static constexpr int PageSize = 100;
    static constexpr int DefaultMaximumProjects = 10000;
    static void setMaximumProjects(int count); // tests lower it
    static int maximumProjects();

    ProjectListing() = default;
    ProjectListing(const QUrl &apiBase, quint64 groupId);

    // Takes the group's answer; true when its embedded list is the whole listing.
    bool takeGroup(const QJsonObject &group);
    QUrl firstPage() const { return m_firstPage; }
    // Takes one page; returns the page to request next, or an empty URL when the listing is complete.
    QUrl takePage(const QJsonArray &projects, const QNetworkReply &reply);

    // Valid examples in the order listed; a project listed twice counts once.
    Repository::Examples examples() const { return m_examples; }
    // More projects were listed than maximumProjects(); the first ones are kept.
    bool isCapped() const { return m_capped; }

    // The page after `current`, from its answer's X-Next-Page header (an empty one ends the listing)
    // or, without that header, from the Link header's rel="next".
    static QUrl nextPage(const QUrl &current, bool hasNextPageHeader, const QByteArray &nextPageHeader,
                         const QByteArray &linkHeader);

private:
    void add(const QJsonArray &projects);

    QUrl m_firstPage;
    Repository::Examples m_examples;
    QSet<qint64> m_ids;
    QSet<QString> m_requested;
    bool m_capped = false;
};

} // namespace Internal
} // namespace Vantor
