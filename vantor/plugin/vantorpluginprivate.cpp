#include "vantorpluginprivate.h"

#include "plugin/registration.h"
#include "service/downloadservice.h"
#include "ui/optionspage.h"
#include "ui/optionswidget.h"

#include <brix/sdk/osvariant.h>
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
    registerInstalledExamples(Core::ICore::settings());
    new OptionsPage(Brix::Sdk::osVariant(0) + QLatin1Char(' ')
                        + QCoreApplication::translate("Vantor::Internal::VantorPlugin", "Examples"),
                    Utils::Id("Tas.Vantor.Plugin.Settings.Page"),
                    [] { return new OptionsWidget; }, this);
    serviceOwner().reset(new DownloadService);
}

DownloadService *VantorPluginPrivate::downloadService()
{
    return serviceOwner().get();
}

} // namespace Internal
} // namespace Vantor
