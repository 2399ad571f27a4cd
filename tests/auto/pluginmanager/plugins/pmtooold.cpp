#include "testplugin.h"

class TooOldPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "pmtooold.json")

public:
    TooOldPlugin() : TestPlugin("TooOld") {}
};

#include "pmtooold.moc"
