#include "futureprogress.h"

namespace Core {

FutureProgress::FutureProgress(const QFuture<void> &future, const QString &title, Utils::Id type,
                               QObject *parent)
    : QObject(parent)
    , m_title(title)
    , m_type(type)
{
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &FutureProgress::finished);
    connect(&m_watcher, &QFutureWatcherBase::canceled, this, &FutureProgress::canceled);
    connect(&m_watcher, &QFutureWatcherBase::progressValueChanged, this, [this](int value) {
        emit progressChanged(value, m_watcher.progressMinimum(), m_watcher.progressMaximum());
    });
    connect(&m_watcher, &QFutureWatcherBase::progressRangeChanged, this, [this](int minimum, int maximum) {
        emit progressChanged(m_watcher.progressValue(), minimum, maximum);
    });
    m_watcher.setFuture(future);
}

} // namespace Core
