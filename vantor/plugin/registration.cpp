#include "registration.h"

#include "pathtemplates.h"
#include "settings.h"

#include <coreplugin/helpmanager.h>

#include <QDir>
#include <QSettings>

#include <algorithm>

namespace Vantor {
namespace Internal {

void registerInstalledExamples(QSettings *settings, const Settings &vantorSettings)
{
    const QString key = QLatin1String("Help/InstalledExamples");
    QStringList examples = settings->value(key).toStringList();

    bool found = false;
    bool changed = false;
    for (auto it = vantorSettings.repositories.cbegin(); it != vantorSettings.repositories.cend(); ++it) {
        const QString &name = it.key();
        const QString folder = repositoryPathTemplate().arg(name);
        // The whole first field must match: another example set whose name merely begins with
        // this repository's name is not ours to rewrite.
        const auto entry = std::find_if(examples.begin(), examples.end(), [&name](const QString &item) {
            return item.section(QLatin1Char('|'), 0, 0) == name;
        });
        if (entry == examples.end())
            continue;
        const QString rewritten = QString::fromLatin1("%1|%2|%2").arg(name, folder);
        found = true;
        changed = changed || *entry != rewritten;
        *entry = rewritten;
        QDir().mkpath(folder);
    }

    if (!found)
        return;
    // At every start after the first the list is already as it should be: the settings file
    // is then left alone.
    if (changed) {
        settings->setValue(key, examples);
        settings->sync();
    }
    emit Core::HelpManager::Signals::instance()->setupFinished();
}

} // namespace Internal
} // namespace Vantor
