#pragma once

#include <extensionsystem/iplugin.h>

#include <memory>

namespace Vantor {
namespace Internal {

class DownloadService;
class VantorPluginPrivate;

class Plugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "Vantor.json")

public:
    Plugin();
    ~Plugin() override;

    bool initialize(const QStringList &arguments, QString *errorString) override;
    void extensionsInitialized() override;

    // The process-wide service; null until the plugin has been initialised.
    static DownloadService *downloadService();

private:
    std::unique_ptr<VantorPluginPrivate> d;
};

} // namespace Internal
} // namespace Vantor
