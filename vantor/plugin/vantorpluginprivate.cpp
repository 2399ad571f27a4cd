#include "vantorpluginprivate.h"

#include "plugin/progresstask.h"
#include "plugin/registration.h"
#include "plugin/settings.h"
#include "service/downloadservice.h"
#include "ui/optionspage.h"
#include "ui/optionswidget.h"

#include <brix/sdk/osvariant.h>
#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QCoreApplication>

#include <memory>

namespace Vantor {
namespace Internal {

namespace {

std::unique_ptr<DownloadService> &serviceOwner()
{
    static std::unique_ptr<DownloadService> owner;
    return owner;
}

} // namespace

VantorPluginPrivate::VantorPluginPrivate()
{
    // An engine of an earlier start in this process saves what it still holds before the settings
    // are read. Loaded once: from here on the engine owns them and is the only one that saves them.
    serviceOwner().reset();
    QSettings *store = Core::ICore::settings();
    Settings settings;
    settings.load(store);
    registerInstalledExamples(store, settings);
    new OptionsPage(Brix::Sdk::osVariant(0) + QLatin1Char(' ')
                        + QCoreApplication::translate("Vantor::Internal::VantorPlugin", "Examples"),
                    Utils::Id("Tas.Vantor.Plugin.Settings.Page"),
                    [] { return new OptionsWidget; }, this);
    serviceOwner().reset(new DownloadService(settings, store));
    connect(serviceOwner().get(), &DownloadService::documentationChanged, Core::HelpManager::Signals::instance(),
            &Core::HelpManager::Signals::documentationChanged);
    new ProgressTask(serviceOwner().get(), this);
}

DownloadService *VantorPluginPrivate::downloadService()
{
    return serviceOwner().get();
}

} // namespace Internal
} // namespace Vantor
