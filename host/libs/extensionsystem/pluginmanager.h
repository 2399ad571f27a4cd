#pragma once

#include "extensionsystem_global.h"

#include <QObject>
#include <QStringList>
#include <QVector>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace ExtensionSystem {

class PluginSpec;

class EXTENSIONSYSTEM_EXPORT PluginManager : public QObject
{
    Q_OBJECT

public:
    PluginManager();
    ~PluginManager() override;

    static PluginManager *instance();

    static void setSettings(QSettings *settings);
    static QSettings *settings();
    static void setGlobalSettings(QSettings *settings);
    static QSettings *globalSettings();

    // Plugin loading from folders: every library in the folders whose metadata IID is the host's
    // plugin interface id is a plugin.
    static void setPluginPaths(const QStringList &paths);
    static QStringList pluginPaths();
    static const QVector<PluginSpec *> plugins();
    static PluginSpec *specForPlugin(const QString &name);
    static void loadPlugins();
    static void shutdown();

signals:
    void pluginsChanged();
};

} // namespace ExtensionSystem
