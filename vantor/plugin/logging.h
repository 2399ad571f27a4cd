#pragma once

#include <QLoggingCategory>

namespace Vantor {
namespace Internal {

// Every category lets only warnings through unless the user enables debug output for it.
Q_DECLARE_LOGGING_CATEGORY(pluginLog)   // "tas.vantor.plugin"
Q_DECLARE_LOGGING_CATEGORY(apiLog)      // "tas.vantor.plugin.api"
Q_DECLARE_LOGGING_CATEGORY(archiveLog)  // "tas.vantor.plugin.archive"
Q_DECLARE_LOGGING_CATEGORY(serviceLog)  // "tas.vantor.plugin.service"

} // namespace Internal
} // namespace Vantor
