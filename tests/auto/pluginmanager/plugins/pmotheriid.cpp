#include "testplugin.h"

class OtherIidPlugin : public TestPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.example.NotThisHost" FILE "pmotheriid.json")

public:
    OtherIidPlugin() : TestPlugin("OtherIid") {}
};

#include "pmotheriid.moc"
