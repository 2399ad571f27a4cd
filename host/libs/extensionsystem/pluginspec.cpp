#include "pluginspec.h"

#include "iplugin.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QThreadPool>

namespace ExtensionSystem {

namespace {

const char pluginIid[] = "org.qt-project.Qt.QtCreatorPlugin";
// How long unloading a plugin waits for the global thread pool.
constexpr int poolWaitMs = 5000;

QString tr(const char *text)
{
    return QCoreApplication::translate("PluginSpec", text);
}

// Splits "a.b.c.d" or "a.b.c_d" into four numbers; false when the text is no version.
bool versionParts(const QString &version, int parts[4])
{
    static const QRegularExpression pattern(
        QLatin1String("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?(?:[._](\\d+))?$"));
    const QRegularExpressionMatch match = pattern.match(version);
    if (!match.hasMatch())
        return false;
    for (int i = 0; i < 4; ++i)
        parts[i] = match.captured(i + 1).toInt();
    return true;
}

} // namespace

PluginSpec::~PluginSpec()
{
    kill();
    delete m_loader;
}

bool PluginSpec::provides(const QString &name, const QString &version) const
{
    if (name.compare(m_name, Qt::CaseInsensitive) != 0)
        return false;
    if (version.isEmpty())
        return true;
    return versionCompare(m_compatVersion, version) <= 0 && versionCompare(version, m_version) <= 0;
}

bool PluginSpec::isValidVersion(const QString &version)
{
    int parts[4];
    return versionParts(version, parts);
}

int PluginSpec::versionCompare(const QString &version1, const QString &version2)
{
    int parts1[4];
    int parts2[4];
    if (!versionParts(version1, parts1) || !versionParts(version2, parts2))
        return 0;
    for (int i = 0; i < 4; ++i) {
        if (parts1[i] != parts2[i])
            return parts1[i] < parts2[i] ? -1 : 1;
    }
    return 0;
}

PluginSpec *PluginSpec::builtIn(const QString &name, const QString &version, const QString &compatVersion)
{
    auto spec = new PluginSpec;
    spec->m_name = name;
    spec->m_version = version;
    spec->m_compatVersion = compatVersion;
    spec->m_builtIn = true;
    spec->m_state = Running;
    return spec;
}

PluginSpec *PluginSpec::read(const QString &filePath)
{
    QPluginLoader probe(filePath);
    const QJsonObject metaData = probe.metaData();
    if (metaData.value(QLatin1String("IID")).toString() != QLatin1String(pluginIid))
        return nullptr;

    auto spec = new PluginSpec;
    spec->m_filePath = QFileInfo(filePath).absoluteFilePath();
    spec->m_name = QFileInfo(filePath).baseName();
    spec->m_loader = new QPluginLoader(spec->m_filePath);
    if (spec->readMetaData(metaData.value(QLatin1String("MetaData")).toObject()))
        spec->m_state = Read;
    return spec;
}

bool PluginSpec::readMetaData(const QJsonObject &metaData)
{
    const QString name = metaData.value(QLatin1String("Name")).toString();
    if (name.isEmpty()) {
        setError(tr("Plugin meta data has no \"Name\"."));
        return false;
    }
    m_name = name;
    m_version = metaData.value(QLatin1String("Version")).toString();
    if (!isValidVersion(m_version)) {
        setError(tr("Invalid plugin version: \"%1\"").arg(m_version));
        return false;
    }
    m_compatVersion = metaData.value(QLatin1String("CompatVersion")).toString(m_version);
    if (!isValidVersion(m_compatVersion)) {
        setError(tr("Invalid compatibility version: \"%1\"").arg(m_compatVersion));
        return false;
    }

    const QJsonValue dependencies = metaData.value(QLatin1String("Dependencies"));
    if (!dependencies.isUndefined() && !dependencies.isArray()) {
        setError(tr("\"Dependencies\" must be a list."));
        return false;
    }
    for (const QJsonValue &value : dependencies.toArray()) {
        const QJsonObject object = value.toObject();
        PluginDependency dependency;
        dependency.name = object.value(QLatin1String("Name")).toString();
        dependency.version = object.value(QLatin1String("Version")).toString();
        const QString type = object.value(QLatin1String("Type")).toString(QLatin1String("required"));
        if (dependency.name.isEmpty()
            || (!dependency.version.isEmpty() && !isValidVersion(dependency.version))) {
            setError(tr("Invalid dependency in plugin meta data."));
            return false;
        }
        if (type.compare(QLatin1String("optional"), Qt::CaseInsensitive) == 0) {
            dependency.type = PluginDependency::Optional;
        } else if (type.compare(QLatin1String("required"), Qt::CaseInsensitive) != 0) {
            setError(tr("Invalid dependency type: \"%1\"").arg(type));
            return false;
        }
        m_dependencies.append(dependency);
    }
    return true;
}

bool PluginSpec::loadLibrary()
{
    if (hasError() || !m_loader)
        return false;
    QObject *instance = m_loader->instance();
    if (!instance) {
        setError(tr("Could not load plugin: %1").arg(m_loader->errorString()));
        return false;
    }
    m_plugin = qobject_cast<IPlugin *>(instance);
    if (!m_plugin) {
        setError(tr("Plugin is not valid (does not derive from IPlugin)"));
        m_loader->unload();
        return false;
    }
    m_plugin->m_spec = this;
    m_state = Loaded;
    return true;
}

bool PluginSpec::initializePlugin()
{
    if (hasError() || !m_plugin)
        return false;
    QString error;
    if (!m_plugin->initialize(QStringList(), &error)) {
        setError(tr("Plugin initialization failed: %1").arg(error));
        return false;
    }
    m_state = Initialized;
    return true;
}

void PluginSpec::initializeExtensions()
{
    if (m_state != Initialized || !m_plugin)
        return;
    m_plugin->extensionsInitialized();
    m_state = Running;
}

bool PluginSpec::delayedInitialize()
{
    if (m_state != Running || !m_plugin)
        return false;
    return m_plugin->delayedInitialize();
}

// Returns true when the plugin asked for an asynchronous shut-down.
bool PluginSpec::stop()
{
    if (!m_plugin || (m_state != Initialized && m_state != Running))
        return false;
    m_state = Stopped;
    return m_plugin->aboutToShutdown() == IPlugin::AsynchronousShutdown;
}

void PluginSpec::kill()
{
    if (!m_plugin)
        return;
    delete m_plugin;
    m_plugin = nullptr;
    // Pool threads may still run the plugin's code. A library left mapped is harmless; code
    // unmapped under a running thread crashes it.
    if (m_loader && m_loader->isLoaded()) {
        if (QThreadPool::globalInstance()->waitForDone(poolWaitMs))
            m_loader->unload();
        else
            qWarning().noquote() << QString::fromLatin1("Plugin \"%1\": %2")
                                        .arg(m_name, tr("Thread pool still busy, library not unloaded"));
    }
    m_state = Deleted;
}

void PluginSpec::setError(const QString &error)
{
    m_errorString = error;
    // Logged here so that every host shows it, whatever it does with the plugin afterwards.
    qWarning().noquote() << QString::fromLatin1("Plugin \"%1\": %2").arg(m_name, error);
}

} // namespace ExtensionSystem
