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

public slots:
    void activity();

signals:
    void idle();
    void timeLimitReached();

private:
    QTimer m_idleTimer;
    QTimer m_limitTimer;
    QElapsedTimer m_clock;
};

} // namespace Host
