#include "progressmanager.h"

#include "futureprogress.h"

#include <algorithm>

namespace Core {

ProgressManager *ProgressManager::instance()
{
    // Never deleted: plugins may still report to it while the process ends.
    static ProgressManager *manager = new ProgressManager;
    return manager;
}

FutureProgress *ProgressManager::addTask(const QFuture<void> &future, const QString &title, Utils::Id type,
                                         ProgressFlags flags)
{
    Q_UNUSED(flags)
    ProgressManager *manager = instance();
    auto task = new FutureProgress(future, title, type, manager);
    manager->m_tasks.append(task);
    connect(task, &FutureProgress::finished, manager, [manager, task] {
        manager->m_tasks.removeOne(task);
        emit manager->taskFinished(task);
        const Utils::Id type = task->type();
        const bool last = std::none_of(manager->m_tasks.cbegin(), manager->m_tasks.cend(),
                                       [&type](const FutureProgress *other) { return other->type() == type; });
        if (last)
            emit manager->allTasksFinished(type);
        task->deleteLater();
    });
    emit manager->taskStarted(type);
    emit manager->taskAdded(task);
    return task;
}

void ProgressManager::cancelTasks(Utils::Id type)
{
    for (FutureProgress *task : instance()->m_tasks) {
        if (task->type() == type)
            task->cancel();
    }
}

} // namespace Core
