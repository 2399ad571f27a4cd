#include "updatecheck.h"

namespace Vantor {
namespace Internal {

bool UpdateCheck::isDue(const QDate &lastCheck, quint32 intervalDays, const QDate &today)
{
    return !(lastCheck.isValid() && lastCheck.daysTo(today) <= qint64(intervalDays));
}

bool UpdateCheck::needsDownload(const QDateTime &lastActivity, const QDate &lastCheck,
                                bool folderExists)
{
    // secsTo gives 0 when either side is invalid, which means "changed".
    const bool unchanged = lastActivity.secsTo(lastCheck.startOfDay()) >= 1;
    return !unchanged || !folderExists;
}

int UpdateCheck::pauseSeconds(int attempts)
{
    return attempts <= 1 ? 60 : attempts == 2 ? 600 : 3600;
}

ExampleFailure UpdateCheck::attempt(const ExampleFailure &previous, Problem::Kind kind,
                                    const QDateTime &activity, const QDateTime &now)
{
    ExampleFailure failure;
    failure.kind = Problem::kindName(kind);
    failure.attempts = previous.at.isValid() && previous.at.date() == now.date() ? previous.attempts + 1 : 1;
    failure.at = now;
    failure.activity = activity;
    return failure;
}

QDateTime UpdateCheck::nextAttempt(const ExampleFailure &failure, const QDateTime &now, bool atStart)
{
    if (!Problem(Problem::kindFromName(failure.kind), QString()).isTransient())
        return QDateTime();
    if (!failure.at.isValid())
        return now;
    // The cap counts the attempts of a day; the next day starts afresh.
    if (failure.at.date() == now.date() && failure.attempts >= MaximumAttemptsPerDay)
        return now.date().addDays(1).startOfDay();
    return atStart ? now : failure.at.addSecs(pauseSeconds(failure.attempts));
}

bool UpdateCheck::shouldRetry(const ExampleFailure &failure, const QDateTime &activity,
                              const QDateTime &now, bool atStart)
{
    if (activity.isValid() && failure.activity.isValid() && activity != failure.activity)
        return true;
    const QDateTime next = nextAttempt(failure, now, atStart);
    return next.isValid() && next <= now;
}

} // namespace Internal
} // namespace Vantor
