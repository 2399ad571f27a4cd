#include "worktally.h"

#include <QStringList>

namespace Vantor {
namespace Internal {

bool WorkTally::count(const QString &key, const ExampleState &before, const ExampleState &after)
{
    if (!before.isBusy() && after.isBusy()) {
        ++m_total;
        if (after.isInstalled())
            m_wereInstalled.insert(key);
        return true;
    }
    if (!before.isBusy() || after.isBusy())
        return false;
    ++m_done;
    if (after.state == ExampleState::Failed)
        ++m_failed;
    else if (after.installed != before.installed && after.isInstalled())
        ++(m_wereInstalled.contains(key) ? m_updated : m_installed);
    return true;
}

QString WorkTally::summary() const
{
    QStringList parts;
    if (m_updated)
        parts.append(tr("%1 updated").arg(m_updated));
    if (m_installed)
        parts.append(tr("%1 installed").arg(m_installed));
    if (m_failed)
        parts.append(tr("%1 failed (see the list)").arg(m_failed));
    if (parts.isEmpty() || m_byUser)
        return QString();
    const int first = m_updated ? m_updated : m_installed ? m_installed : m_failed;
    parts.first().insert(parts.first().indexOf(QLatin1Char(' ')), first == 1 ? tr(" example") : tr(" examples"));
    return parts.join(QLatin1String(", "));
}

} // namespace Internal
} // namespace Vantor
