#include "testplugin.h"

class AfterFailingPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pmafterfailing.json")

public:
    AfterFailingPlugin() : TestPlugin("AfterFailing") {}
};

#include "pmafterfailing.moc"
