#include "idlewatcher.h"

namespace Host {

IdleWatcher::IdleWatcher(int idleMilliseconds, int limitMilliseconds, QObject *parent)
    : QObject(parent)
{
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setInterval(idleMilliseconds);
    m_limitTimer.setSingleShot(true);
    m_limitTimer.setInterval(limitMilliseconds);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        m_limitTimer.stop();
        emit idle();
    });
    connect(&m_limitTimer, &QTimer::timeout, this, [this] {
        m_idleTimer.stop();
        emit timeLimitReached();
    });
}

void IdleWatcher::start()
{
    m_clock.start();
    m_idleTimer.start();
    m_limitTimer.start();
}

void IdleWatcher::activity()
{
    if (m_limitTimer.isActive() && !m_busy)
        m_idleTimer.start();
}

void IdleWatcher::setBusy(bool busy)
{
    m_busy = busy;
    if (busy)
        m_idleTimer.stop();
    else
        activity();
}

} // namespace Host
