#include "plugin.h"

#include "plugin/pluginstartup.h"
#include "vantorpluginprivate.h"

#include <extensionsystem/pluginmanager.h>
#include <utils/qtcsettings.h>

#include <QCoreApplication>
#include <QSslSocket>
#include <QTranslator>

namespace Vantor {
namespace Internal {

Plugin::Plugin() = default;

// Deletes the private object (and with it the options page) first; the translator goes with
// the base, as a child of the plugin.
Plugin::~Plugin()
{
    d.reset();
}

bool Plugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    Q_UNUSED(errorString)

    checkSslVersions(QSslSocket::sslLibraryBuildVersionNumber(),
                     QSslSocket::sslLibraryBuildVersionString(),
                     QSslSocket::sslLibraryVersionNumber(),
                     QSslSocket::sslLibraryVersionString());

    const QString folder = translationsFolder(QCoreApplication::applicationDirPath());
    auto translator = new QTranslator(this);
    installTranslator(translator, translationLocale(ExtensionSystem::PluginManager::settings()),
                      folder);

    // After the translator, so that the texts made from here on are translated.
    d = std::make_unique<VantorPluginPrivate>();
    return true;
}

void Plugin::extensionsInitialized()
{
}

DownloadService *Plugin::downloadService()
{
    return VantorPluginPrivate::downloadService();
}

} // namespace Internal
} // namespace Vantor
