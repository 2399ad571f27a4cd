#pragma once

#include <QFutureInterface>
#include <QFutureWatcher>
#include <QObject>

#include <memory>

namespace Vantor {
namespace Internal {

class DownloadService;

// Shows the engine's work as one task in the host's progress indicator, with done/total;
// cancelling the task drops the downloads that have not started.
class ProgressTask : public QObject
{
    Q_OBJECT

public:
    explicit ProgressTask(DownloadService *service, QObject *parent = nullptr);
    ~ProgressTask() override;

private:
    void onWorkChanged(int done, int total);

    DownloadService *m_service;
    std::unique_ptr<QFutureInterface<void>> m_task;
    QFutureWatcher<void> m_watcher;
};

} // namespace Internal
} // namespace Vantor
