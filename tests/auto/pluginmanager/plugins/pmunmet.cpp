#include "testplugin.h"

class UnmetPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pmunmet.json")

public:
    UnmetPlugin() : TestPlugin("Unmet") {}
};

#include "pmunmet.moc"
