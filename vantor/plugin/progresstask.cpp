#include "progresstask.h"

#include "service/downloadservice.h"

#include <brix/sdk/osvariant.h>
#include <coreplugin/progressmanager/progressmanager.h>

namespace Vantor {
namespace Internal {

ProgressTask::ProgressTask(DownloadService *service, QObject *parent)
    : QObject(parent)
    , m_service(service)
{
    connect(service, &DownloadService::workChanged, this, &ProgressTask::onWorkChanged);
    connect(&m_watcher, &QFutureWatcherBase::canceled, service, &DownloadService::cancelQueued);
}

ProgressTask::~ProgressTask()
{
    onWorkChanged(0, 0);
}

void ProgressTask::onWorkChanged(int done, int total)
{
    if (total == 0) {
        if (m_task) {
            m_task->reportFinished();
            m_task.reset();
        }
        return;
    }
    if (!m_task) {
        m_task = std::make_unique<QFutureInterface<void>>();
        m_task->reportStarted();
        m_watcher.setFuture(m_task->future());
        Core::ProgressManager::addTask(m_task->future(), tr("Updating %1 examples").arg(Brix::Sdk::osVariant(0)),
                                       "Tas.Vantor.Plugin.Sync");
    }
    m_task->setProgressRange(0, total);
    m_task->setProgressValue(done);
}

} // namespace Internal
} // namespace Vantor
