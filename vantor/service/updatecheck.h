#pragma once

#include <QDate>
#include <QDateTime>

namespace Vantor {
namespace Internal {

// The rules of the automatic update check of one repository.
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
};

} // namespace Internal
} // namespace Vantor
