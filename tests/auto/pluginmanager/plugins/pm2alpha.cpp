#include "testplugin.h"

class AlphaPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pm2alpha.json")

public:
    AlphaPlugin() : TestPlugin("Alpha") {}
};

#include "pm2alpha.moc"
