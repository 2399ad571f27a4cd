#pragma once

#include "extensionsystem_global.h"

#include <QString>
#include <QVector>

QT_BEGIN_NAMESPACE
class QJsonObject;
class QPluginLoader;
QT_END_NAMESPACE

namespace ExtensionSystem {

class IPlugin;

struct EXTENSIONSYSTEM_EXPORT PluginDependency
{
    enum Type { Required, Optional };

    QString name;
    QString version;
    Type type = Required;
};

// What the manager knows about one plugin: its metadata, its state and, once loaded, its instance.
class EXTENSIONSYSTEM_EXPORT PluginSpec
{
public:
    enum State { Invalid, Read, Resolved, Loaded, Initialized, Running, Stopped, Deleted };

    ~PluginSpec();

    QString name() const { return m_name; }
    QString version() const { return m_version; }
    QString compatVersion() const { return m_compatVersion; }
    QVector<PluginDependency> dependencies() const { return m_dependencies; }
    // Empty for the plugins that the host itself provides.
    QString filePath() const { return m_filePath; }
    bool isBuiltIn() const { return m_builtIn; }

    State state() const { return m_state; }
    bool hasError() const { return !m_errorString.isEmpty(); }
    QString errorString() const { return m_errorString; }
    IPlugin *plugin() const { return m_plugin; }

    // True when this plugin is "name" (letter case ignored) and can stand in for "version".
    bool provides(const QString &name, const QString &version) const;

    // Compares versions of up to four numeric parts ("4.15.2", "4.15.2_1"); missing parts are 0.
    static bool isValidVersion(const QString &version);
    static int versionCompare(const QString &version1, const QString &version2);

private:
    friend class PluginManager;
    friend class PluginManagerPrivate;

    PluginSpec() = default;

    static PluginSpec *builtIn(const QString &name, const QString &version, const QString &compatVersion);
    // Reads the library's metadata; null when the library is not a plugin of this host.
    static PluginSpec *read(const QString &filePath);
    bool readMetaData(const QJsonObject &metaData);

    bool loadLibrary();
    bool initializePlugin();
    void initializeExtensions();
    bool delayedInitialize();
    bool stop();
    void kill();
    void setError(const QString &error);

    QString m_name;
    QString m_version;
    QString m_compatVersion;
    QVector<PluginDependency> m_dependencies;
    QString m_filePath;
    bool m_builtIn = false;
    State m_state = Invalid;
    QString m_errorString;
    IPlugin *m_plugin = nullptr;
    QPluginLoader *m_loader = nullptr;
};

} // namespace ExtensionSystem
