#pragma once

#include "plugin/settings.h"
#include "repository/problem.h"

#include <QDate>
#include <QDateTime>

namespace Vantor {
namespace Internal {

// The rules of the automatic update check of one repository and of the retries of failed examples.
class UpdateCheck
{
public:
    // A repository is due when it was never checked, or when more than `intervalDays` days have
    // passed since its last check. A check date in the future keeps it waiting.
    static bool isDue(const QDate &lastCheck, quint32 intervalDays, const QDate &today);

    // An example is downloaded unless it last changed at least one second before the day of the
    // last check and its folder exists. An unreadable activity time counts as a change.
    static bool needsDownload(const QDateTime &lastActivity, const QDate &lastCheck,
                              bool folderExists);

    // A transient failure is tried again after a pause that grows with the attempts of its day,
    // at most this many times a day; a permanent one only once the example changed on the server.
    static constexpr int MaximumAttemptsPerDay = 5;
    static int pauseSeconds(int attempts);
    // An attempt of an example that failed before (or never): its attempts of today count on.
    static ExampleFailure attempt(const ExampleFailure &previous, Problem::Kind kind,
                                  const QDateTime &activity, const QDateTime &now);
    // When the failed example may be tried again; invalid when only a change on the server lets it.
    // At start, a transient failure needs no pause.
    static QDateTime nextAttempt(const ExampleFailure &failure, const QDateTime &now, bool atStart);
    static bool shouldRetry(const ExampleFailure &failure, const QDateTime &activity,
                            const QDateTime &now, bool atStart);
};

} // namespace Internal
} // namespace Vantor
