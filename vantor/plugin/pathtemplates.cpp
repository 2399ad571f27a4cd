#include "pathtemplates.h"

#include <QDir>
#include <QStandardPaths>

namespace Vantor {
namespace Internal {

// Computed once, on first use: the host has set its organisation and application names before
// it loads the plugin, so the data location is the host's.
const QString &repositoryPathTemplate()
{
    static const QString value = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                                 + QDir::separator() + QLatin1String("%1");
    return value;
}

const QString &examplePathTemplate()
{
    static const QString value = repositoryPathTemplate() + QDir::separator() + QLatin1String("%2");
    return value;
}

} // namespace Internal
} // namespace Vantor
