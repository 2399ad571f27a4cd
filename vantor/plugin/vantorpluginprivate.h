#pragma once

#include <QObject>

namespace Vantor {
namespace Internal {

class DownloadService;

// Lives from the plugin's initialisation to its destruction; the options page is its child.
class VantorPluginPrivate : public QObject
{
public:
    VantorPluginPrivate();

    // The service outlives the private object: it belongs to a process-wide owner that is
    // destroyed when the plugin library is unloaded.
    static DownloadService *downloadService();
};

} // namespace Internal
} // namespace Vantor
