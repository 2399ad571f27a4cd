#include "problem.h"

#include <QNetworkReply>

namespace Vantor {
namespace Internal {

namespace {

struct KindName
{
    Problem::Kind kind;
    const char *name;
};

const KindName kindNames[] = {
    {Problem::NetworkError, "network"},   {Problem::ServerError, "server"},
    {Problem::RateLimited, "ratelimit"},  {Problem::TimedOut, "timeout"},
    {Problem::Interrupted, "interrupted"}, {Problem::LocalError, "local"},
    {Problem::NotAnArchive, "notarchive"}, {Problem::NoProjectFile, "noproject"},
    {Problem::TooLarge, "toolarge"},      {Problem::Refused, "refused"},
    {Problem::Unauthorized, "unauthorized"},
};

} // namespace

bool Problem::isTransient() const
{
    return m_kind >= NetworkError && m_kind <= LocalError;
}

QString Problem::text() const
{
    QString advice;
    switch (m_kind) {
    case NetworkError:
    case TimedOut:
        advice = tr("Check your connection; the download is tried again later.");
        break;
    case ServerError:
    case RateLimited:
        advice = tr("The server is busy or failing; the download is tried again later.");
        break;
    case Interrupted:
        advice = tr("It is tried again.");
        break;
    case LocalError:
        advice = tr("Check the free space and the permissions of the data folder; it is tried again later.");
        break;
    case NotAnArchive:
    case NoProjectFile:
    case TooLarge:
    case Refused:
        advice = tr("Ask the repository's maintainers to fix the example; it is tried again when it changes "
                    "on the server, or when you add it again.");
        break;
    case RepositoryError:
        advice = tr("Check the repository's address and your connection; it is tried again later.");
        break;
    case None:
    case PictureUnavailable:
    case BackupKept:
    case NotInstalled:
    case Unauthorized: // its message names the server and the token
    case RateLimitWait:
    case ListIncomplete:
    case NoKeychain:
        break;
    }
    return advice.isEmpty() ? m_message : m_message + QLatin1Char(' ') + advice;
}

QString Problem::kindName(Kind kind)
{
    for (const KindName &entry : kindNames) {
        if (entry.kind == kind)
            return QLatin1String(entry.name);
    }
    return QLatin1String("interrupted");
}

Problem::Kind Problem::kindFromName(const QString &name)
{
    for (const KindName &entry : kindNames) {
        if (name == QLatin1String(entry.name))
            return entry.kind;
    }
    return Interrupted;
}

Problem::Kind Problem::fromNetwork(int httpStatus, int networkError, bool timedOut)
{
    if (timedOut || networkError == QNetworkReply::TimeoutError)
        return TimedOut;
    if (httpStatus == 429)
        return RateLimited;
    if (httpStatus >= 500 && httpStatus <= 599)
        return ServerError;
    return NetworkError;
}

} // namespace Internal
} // namespace Vantor
