#include "testplugin.h"

class FailingPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pmfailing.json")

public:
    FailingPlugin() : TestPlugin("Failing") {}

    bool initialize(const QStringList &, QString *errorString) override
    {
        record("initialize");
        *errorString = QLatin1String("Broken on purpose");
        return false;
    }
};

#include "pmfailing.moc"
