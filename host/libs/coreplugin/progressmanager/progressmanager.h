#pragma once

#include "../core_global.h"

#include <utils/id.h>

#include <QFuture>
#include <QList>
#include <QObject>

namespace Core {

class FutureProgress;

// The host's progress indicator: plugins hand it the futures of their long work.
class CORE_EXPORT ProgressManager : public QObject
{
    Q_OBJECT

public:
    enum ProgressFlag { KeepOnFinish = 0x01, ShowInApplicationIcon = 0x02 };
    Q_DECLARE_FLAGS(ProgressFlags, ProgressFlag)

    static ProgressManager *instance();
    static FutureProgress *addTask(const QFuture<void> &future, const QString &title, Utils::Id type,
                                   ProgressFlags flags = {});
    static void cancelTasks(Utils::Id type);

    // The tasks that have not finished yet.
    QList<FutureProgress *> tasks() const { return m_tasks; }

signals:
    void taskStarted(Utils::Id type);
    void allTasksFinished(Utils::Id type);
    // Of any task: the host's window and its idle watch follow them.
    void taskAdded(Core::FutureProgress *task);
    void taskFinished(Core::FutureProgress *task);

private:
    QList<FutureProgress *> m_tasks;
};

} // namespace Core

Q_DECLARE_OPERATORS_FOR_FLAGS(Core::ProgressManager::ProgressFlags)
