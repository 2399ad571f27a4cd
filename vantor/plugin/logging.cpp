#include "logging.h"

namespace Vantor {
namespace Internal {

Q_LOGGING_CATEGORY(pluginLog, "tas.vantor.plugin", QtWarningMsg)
Q_LOGGING_CATEGORY(apiLog, "tas.vantor.plugin.api", QtWarningMsg)
Q_LOGGING_CATEGORY(archiveLog, "tas.vantor.plugin.archive", QtWarningMsg)
Q_LOGGING_CATEGORY(serviceLog, "tas.vantor.plugin.service", QtWarningMsg)

} // namespace Internal
} // namespace Vantor
