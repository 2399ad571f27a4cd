#include "icore.h"

#include <extensionsystem/pluginmanager.h>

namespace Core {

// The settings objects are the plugin manager's, as in the real host, so that
// ExtensionSystem::PluginManager::settings() and ICore::settings() are one object.
Utils::QtcSettings *ICore::settings(QSettings::Scope scope)
{
    if (scope == QSettings::UserScope)
        return ExtensionSystem::PluginManager::settings();
    return ExtensionSystem::PluginManager::globalSettings();
}

void ICore::setSettingsPaths(const QString &userPath, const QString &installPath)
{
    if (!userPath.isEmpty())
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userPath);
    if (!installPath.isEmpty())
        QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, installPath);
    const QString organization = QLatin1String("QtProject");
    const QString application = QLatin1String("QtCreator");
    ExtensionSystem::PluginManager::setSettings(
        new Utils::QtcSettings(QSettings::IniFormat, QSettings::UserScope, organization, application));
    ExtensionSystem::PluginManager::setGlobalSettings(
        new Utils::QtcSettings(QSettings::IniFormat, QSettings::SystemScope, organization, application));
}

} // namespace Core
