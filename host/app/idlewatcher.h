#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace Host {

// Tells when the plugins have gone quiet: no activity() for the idle time. A time limit ends
// the wait for plugins that never do.
class IdleWatcher : public QObject
{
    Q_OBJECT

public:
    IdleWatcher(int idleMilliseconds, int limitMilliseconds, QObject *parent = nullptr);

    void start();
    qint64 elapsed() const { return m_clock.elapsed(); }

    // While busy, the plugins are not idle however quiet they are.
    void setBusy(bool busy);

public slots:
    void activity();

signals:
    void idle();
    void timeLimitReached();

private:
    QTimer m_idleTimer;
    QTimer m_limitTimer;
    QElapsedTimer m_clock;
    bool m_busy = false;
};

} // namespace Host
