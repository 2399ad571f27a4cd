#pragma once

#include "extensionsystem_global.h"

#include <QObject>
#include <QStringList>
#include <QVector>

namespace Utils { class QtcSettings; }

namespace ExtensionSystem {

class PluginSpec;

class EXTENSIONSYSTEM_EXPORT PluginManager : public QObject
{
    Q_OBJECT

public:
    PluginManager();
    ~PluginManager() override;

    static PluginManager *instance();

    // The manager owns the settings objects it is given. Without one, settings() is the host's
    // user file (INI, "QtProject"/"QtCreator") and globalSettings() the install-wide one.
    static void setSettings(Utils::QtcSettings *settings);
    static Utils::QtcSettings *settings();
    static void setGlobalSettings(Utils::QtcSettings *settings);
    static Utils::QtcSettings *globalSettings();

    // Plugin loading from folders: every library in the folders whose metadata IID is the host's
    // plugin interface id is a plugin.
    static void setPluginPaths(const QStringList &paths);
    static QStringList pluginPaths();
    static const QVector<PluginSpec *> plugins();
    static PluginSpec *specForPlugin(const QString &name);
    // "Name: message" of every plugin that was refused or failed; each is also written as a warning.
    static QStringList errors();
    // Reads, resolves, loads and initialises the plugins of the plugin paths; the host's own
    // "Core", "Help" and "NorvelOS" are always present.
    static void loadPlugins();
    // aboutToShutdown, then deletion, both in reverse load order. Also run by the destructor.
    static void shutdown();

signals:
    void pluginsChanged();
};

} // namespace ExtensionSystem
