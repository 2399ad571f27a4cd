#pragma once

#include "testlog.h"

#include <extensionsystem/iplugin.h>

// Records every call of the manager as "<name>:<call>".
class TestPlugin : public ExtensionSystem::IPlugin
{
public:
    explicit TestPlugin(const char *name) : m_name(QLatin1String(name)) {}
    ~TestPlugin() override { record("deleted"); }

    bool initialize(const QStringList &, QString *) override
    {
        record("initialize");
        return true;
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
        return SynchronousShutdown;
    }

protected:
    void record(const char *call) { TestLog::entries().append(m_name + QLatin1Char(':') + QLatin1String(call)); }

private:
    QString m_name;
};
