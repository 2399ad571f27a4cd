#include "testlog.h"

#include <extensionsystem/iplugin.h>

#include <QThread>
#include <QThreadPool>

// One library per case, built with its own name, metadata file and IID. Records every call of
// the manager as "<name>:<call>"; the plugin named "Failing" fails to initialise, and "Beta" leaves
// work on the global thread pool that runs its library's code while the plugins are deleted.
class TestPlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PLUGIN_IID FILE PLUGIN_METADATA)

public:
    ~TestPlugin() override { record("deleted"); }

    bool initialize(const QStringList &, QString *errorString) override
    {
        record("initialize");
        if (QLatin1String(PLUGIN_NAME) != QLatin1String("Failing"))
            return true;
        *errorString = QLatin1String("Broken on purpose");
        return false;
    }
    void extensionsInitialized() override { record("extensionsInitialized"); }
    bool delayedInitialize() override
    {
        record("delayedInitialize");
        return true;
    }
    ShutdownFlag aboutToShutdown() override
    {
        record("aboutToShutdown");
        if (QLatin1String(PLUGIN_NAME) == QLatin1String("Beta")) {
            QThreadPool::globalInstance()->start([] {
                QThread::msleep(200);
                TestLog::entries().append(QLatin1String("BetaPool:ended"));
            });
        }
        return SynchronousShutdown;
    }

private:
    static void record(const char *call)
    {
        TestLog::entries().append(QLatin1String(PLUGIN_NAME ":") + QLatin1String(call));
    }
};

#include "testplugin.moc"
