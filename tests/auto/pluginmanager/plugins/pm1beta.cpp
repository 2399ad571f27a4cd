#include "testplugin.h"

class BetaPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pm1beta.json")

public:
    BetaPlugin() : TestPlugin("Beta") {}
};

#include "pm1beta.moc"
