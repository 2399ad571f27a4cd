#include "vantorpluginprivate.h"

#include "plugin/registration.h"
#include "service/downloadservice.h"

#include <coreplugin/icore.h>

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
    // The options page will be created here, as a child of this object, before the service.
    serviceOwner().reset(new DownloadService);
}

DownloadService *VantorPluginPrivate::downloadService()
{
    return serviceOwner().get();
}

} // namespace Internal
} // namespace Vantor
