#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace Host {

// Headless measurements for benchmarks: the longest stall of the GUI thread (the largest gap
// between the ticks of a fast timer, less its interval), how often the plugins told the host that
// the documentation changed, and the process's peak resident memory.
class HostMeter : public QObject
{
    Q_OBJECT

public:
    static constexpr int TickMs = 5;

    explicit HostMeter(QObject *parent = nullptr);

    void start();
    qint64 longestStallMs() const { return m_longestStall; }
    int notifications() const { return m_notifications; }
    static qint64 peakResidentKb(); // -1 when unknown
    // With the longest time the host took to read its examples again.
    QString report(qint64 longestReadMs) const;

public slots:
    void notified() { ++m_notifications; }

private:
    struct SchedulerTimes
    {
        qint64 runningNs = 0;
        qint64 waitingNs = 0;
    };
    static SchedulerTimes schedulerTimes();
    void tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastTick = 0;
    qint64 m_longestStall = 0;
    qint64 m_stallRunningMs = 0;
    qint64 m_stallWaitingMs = 0;
    qint64 m_stallEndMs = 0; // on the monotonic clock, to find the stall in a profile
    SchedulerTimes m_lastTimes;
    int m_notifications = 0;
};

} // namespace Host
