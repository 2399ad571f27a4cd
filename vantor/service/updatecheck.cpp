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

} // namespace Internal
} // namespace Vantor
