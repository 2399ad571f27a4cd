#include "pluginmanager.h"

#include "iplugin.h"
#include "pluginspec.h"

#include <utils/qtcsettings.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLibrary>
#include <QPointer>
#include <QSettings>
#include <QTimer>

#include <algorithm>

namespace ExtensionSystem {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("PluginManager", text);
}

} // namespace

// The manager's state is process-wide, like the host's, so that the static interface works
// whether or not the host has created the manager object yet.
class PluginManagerPrivate
{
public:
    ~PluginManagerPrivate() { qDeleteAll(specs); }

    void addBuiltInPlugins();
    void readPlugins();
    void resolveDependencies();
    void visit(PluginSpec *spec, QVector<PluginSpec *> &visiting);
    PluginSpec *provider(const PluginDependency &dependency) const;
    bool dependenciesLoaded(PluginSpec *spec);
    void runDelayedInitialize();
    void stopAll();

    PluginManager *instance = nullptr;
    Utils::QtcSettings *settings = nullptr;
    Utils::QtcSettings *globalSettings = nullptr;
    QStringList pluginPaths;
    QVector<PluginSpec *> specs;
    QVector<PluginSpec *> loadQueue;
    QVector<PluginSpec *> delayedQueue;
    bool shutDown = false;
};

static PluginManagerPrivate *d()
{
    static PluginManagerPrivate data;
    return &data;
}

// The settings live until the application object goes, which also writes out what is pending.
static void deleteSettings()
{
    delete d()->settings;
    d()->settings = nullptr;
    delete d()->globalSettings;
    d()->globalSettings = nullptr;
}

static void registerSettingsCleanup()
{
    static bool registered = false;
    if (!registered && QCoreApplication::instance()) {
        qAddPostRoutine(deleteSettings);
        registered = true;
    }
}

void PluginManagerPrivate::addBuiltInPlugins()
{
    const QString version = QLatin1String("4.15.2");
    const QString compatVersion = QLatin1String("4.15.0");
    for (const char *name : {"Core", "Help", "NorvelOS"}) {
        if (!PluginManager::specForPlugin(QLatin1String(name)))
            specs.append(PluginSpec::builtIn(QLatin1String(name), version, compatVersion));
    }
}

void PluginManagerPrivate::readPlugins()
{
    for (const QString &path : qAsConst(pluginPaths)) {
        const QFileInfoList files = QDir(path).entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &file : files) {
            if (!QLibrary::isLibrary(file.fileName()))
                continue;
            const bool known = std::any_of(specs.cbegin(), specs.cend(), [&file](PluginSpec *spec) {
                return spec->filePath() == file.absoluteFilePath();
            });
            if (known)
                continue;
            PluginSpec *spec = PluginSpec::read(file.absoluteFilePath());
            if (!spec)
                continue;
            if (!spec->hasError()) {
                PluginSpec *other = PluginManager::specForPlugin(spec->name());
                if (other)
                    spec->setError(tr("A plugin named \"%1\" is already loaded from %2")
                                       .arg(other->name(), other->filePath()));
            }
            specs.append(spec);
        }
    }
}

PluginSpec *PluginManagerPrivate::provider(const PluginDependency &dependency) const
{
    for (PluginSpec *spec : specs) {
        if (spec->name().compare(dependency.name, Qt::CaseInsensitive) == 0)
            return spec;
    }
    return nullptr;
}

// Repeats until nothing changes, since a plugin refused here takes the plugins that need it along.
void PluginManagerPrivate::resolveDependencies()
{
    bool changed = true;
    while (changed) {
        changed = false;
        for (PluginSpec *spec : qAsConst(specs)) {
            if (spec->isBuiltIn() || spec->hasError() || spec->state() != PluginSpec::Read)
                continue;
            for (const PluginDependency &dependency : spec->dependencies()) {
                if (dependency.type == PluginDependency::Optional)
                    continue;
                PluginSpec *other = provider(dependency);
                if (!other || !other->provides(dependency.name, dependency.version)) {
                    spec->setError(tr("Could not resolve dependency '%1(%2)'")
                                       .arg(dependency.name, dependency.version));
                } else if (other->hasError()) {
                    spec->setError(tr("Cannot load plugin because dependency failed to load: "
                                      "%1(%2)\nReason: %3")
                                       .arg(other->name(), other->version(), other->errorString()));
                }
                if (spec->hasError()) {
                    changed = true;
                    break;
                }
            }
        }
    }
    for (PluginSpec *spec : qAsConst(specs)) {
        if (!spec->isBuiltIn() && !spec->hasError() && spec->state() == PluginSpec::Read)
            spec->m_state = PluginSpec::Resolved;
    }
}

// Depth first: every plugin comes after the plugins it depends on.
void PluginManagerPrivate::visit(PluginSpec *spec, QVector<PluginSpec *> &visiting)
{
    if (loadQueue.contains(spec) || spec->isBuiltIn() || spec->state() != PluginSpec::Resolved)
        return;
    if (visiting.contains(spec)) {
        QStringList cycle;
        for (PluginSpec *member : visiting.mid(visiting.indexOf(spec)))
            cycle.append(member->name());
        cycle.append(spec->name());
        spec->setError(tr("Circular dependency detected: %1").arg(cycle.join(QLatin1String(" -> "))));
        return;
    }
    visiting.append(spec);
    for (const PluginDependency &dependency : spec->dependencies()) {
        PluginSpec *other = provider(dependency);
        if (other && other->provides(dependency.name, dependency.version))
            visit(other, visiting);
    }
    visiting.removeLast();
    if (!spec->hasError())
        loadQueue.append(spec);
}

bool PluginManagerPrivate::dependenciesLoaded(PluginSpec *spec)
{
    for (const PluginDependency &dependency : spec->dependencies()) {
        PluginSpec *other = provider(dependency);
        if (dependency.type == PluginDependency::Optional
            && (!other || !other->provides(dependency.name, dependency.version)))
            continue;
        if (other && other->hasError()) {
            spec->setError(tr("Cannot load plugin because dependency failed to load: %1(%2)\nReason: %3")
                               .arg(other->name(), other->version(), other->errorString()));
            return false;
        }
    }
    return true;
}

void PluginManagerPrivate::runDelayedInitialize()
{
    const QVector<PluginSpec *> queue = delayedQueue;
    delayedQueue.clear();
    for (PluginSpec *spec : queue)
        spec->delayedInitialize();
}

void PluginManagerPrivate::stopAll()
{
    delayedQueue.clear();
    QVector<QPointer<IPlugin>> asynchronous;
    for (auto it = loadQueue.crbegin(); it != loadQueue.crend(); ++it) {
        if ((*it)->stop())
            asynchronous.append((*it)->plugin());
    }
    for (const QPointer<IPlugin> &plugin : qAsConst(asynchronous)) {
        if (!plugin)
            continue;
        QEventLoop loop;
        QObject::connect(plugin.data(), &IPlugin::asynchronousShutdownFinished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    for (auto it = loadQueue.crbegin(); it != loadQueue.crend(); ++it)
        (*it)->kill();
}

PluginManager::PluginManager()
{
    d()->instance = this;
}

PluginManager::~PluginManager()
{
    shutdown();
    qDeleteAll(d()->specs);
    d()->specs.clear();
    d()->loadQueue.clear();
    d()->shutDown = false;
    if (d()->instance == this)
        d()->instance = nullptr;
}

PluginManager *PluginManager::instance()
{
    return d()->instance;
}

// The user and the install-wide settings alike: set by the host, or made on first use under the
// host's names.
static void replaceSettings(Utils::QtcSettings *&slot, Utils::QtcSettings *settings)
{
    if (slot == settings)
        return;
    delete slot;
    slot = settings;
    registerSettingsCleanup();
}

static Utils::QtcSettings *settingsIn(Utils::QtcSettings *&slot, QSettings::Scope scope)
{
    if (!slot) {
        slot = new Utils::QtcSettings(QSettings::IniFormat, scope, QLatin1String("QtProject"),
                             QLatin1String("QtCreator"));
        registerSettingsCleanup();
    }
    return slot;
}

void PluginManager::setSettings(Utils::QtcSettings *settings)
{
    replaceSettings(d()->settings, settings);
}

Utils::QtcSettings *PluginManager::settings()
{
    return settingsIn(d()->settings, QSettings::UserScope);
}

void PluginManager::setGlobalSettings(Utils::QtcSettings *settings)
{
    replaceSettings(d()->globalSettings, settings);
}

Utils::QtcSettings *PluginManager::globalSettings()
{
    return settingsIn(d()->globalSettings, QSettings::SystemScope);
}

void PluginManager::setPluginPaths(const QStringList &paths)
{
    d()->pluginPaths = paths;
}

QStringList PluginManager::pluginPaths()
{
    return d()->pluginPaths;
}

const QVector<PluginSpec *> PluginManager::plugins()
{
    return d()->specs;
}

PluginSpec *PluginManager::specForPlugin(const QString &name)
{
    for (PluginSpec *spec : qAsConst(d()->specs)) {
        if (spec->name().compare(name, Qt::CaseInsensitive) == 0)
            return spec;
    }
    return nullptr;
}

QStringList PluginManager::errors()
{
    QStringList result;
    for (PluginSpec *spec : qAsConst(d()->specs)) {
        if (spec->hasError())
            result.append(QString::fromLatin1("%1: %2").arg(spec->name(), spec->errorString()));
    }
    return result;
}

void PluginManager::loadPlugins()
{
    PluginManagerPrivate *p = d();
    p->shutDown = false;
    p->addBuiltInPlugins();
    p->readPlugins();
    p->resolveDependencies();

    const int first = p->loadQueue.size();
    for (PluginSpec *spec : qAsConst(p->specs)) {
        QVector<PluginSpec *> visiting;
        p->visit(spec, visiting);
    }
    const QVector<PluginSpec *> queue = p->loadQueue.mid(first);

    for (PluginSpec *spec : queue) {
        if (p->dependenciesLoaded(spec))
            spec->loadLibrary();
    }
    for (PluginSpec *spec : queue) {
        if (spec->state() == PluginSpec::Loaded && p->dependenciesLoaded(spec))
            spec->initializePlugin();
    }
    for (auto it = queue.crbegin(); it != queue.crend(); ++it) {
        if ((*it)->state() != PluginSpec::Initialized)
            continue;
        (*it)->initializeExtensions();
        p->delayedQueue.append(*it);
    }
    if (!p->delayedQueue.isEmpty() && QCoreApplication::instance())
        QTimer::singleShot(0, QCoreApplication::instance(), [p] { p->runDelayedInitialize(); });

    if (p->instance)
        emit p->instance->pluginsChanged();
}

void PluginManager::shutdown()
{
    if (d()->shutDown)
        return;
    d()->shutDown = true;
    d()->stopAll();
}

} // namespace ExtensionSystem
