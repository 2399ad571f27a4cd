#include "testplugin.h"

class TooNewPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pmtoonew.json")

public:
    TooNewPlugin() : TestPlugin("TooNew") {}
};

#include "pmtoonew.moc"
