#include "hostmeter.h"

#include <QFile>
#include <QRegularExpression>

namespace Host {

HostMeter::HostMeter(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &HostMeter::tick);
}

void HostMeter::start()
{
    m_clock.start();
    m_lastTick = 0;
    m_lastTimes = schedulerTimes();
    m_timer.start();
}

void HostMeter::tick()
{
    const qint64 now = m_clock.elapsed();
    const SchedulerTimes times = schedulerTimes();
    const qint64 stall = now - m_lastTick - TickMs;
    if (stall > m_longestStall) {
        m_longestStall = stall;
        m_stallRunningMs = (times.runningNs - m_lastTimes.runningNs) / 1000000;
        m_stallWaitingMs = (times.waitingNs - m_lastTimes.waitingNs) / 1000000;
        m_stallEndMs = m_clock.msecsSinceReference() + now;
    }
    m_lastTick = now;
    m_lastTimes = times;
}

// The GUI thread's time on a core and its time runnable but waiting for one, from the kernel's
// scheduler statistics; what remains of a stall is time the thread was blocked.
HostMeter::SchedulerTimes HostMeter::schedulerTimes()
{
    QFile file(QStringLiteral("/proc/thread-self/schedstat"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QList<QByteArray> fields = file.readAll().simplified().split(' ');
    if (fields.size() < 2)
        return {};
    return {fields.at(0).toLongLong(), fields.at(1).toLongLong()};
}

qint64 HostMeter::peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression peak(QStringLiteral("^VmHWM:\\s*(\\d+) kB"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = peak.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

QString HostMeter::report(qint64 longestReadMs) const
{
    return QStringLiteral("measure: longest-stall-ms=%1 stall-running-ms=%2 stall-waiting-ms=%3 "
                          "notifications=%4 peak-rss-kb=%5 longest-reread-ms=%6 stall-end-monotonic-ms=%7")
        .arg(m_longestStall)
        .arg(m_stallRunningMs)
        .arg(m_stallWaitingMs)
        .arg(m_notifications)
        .arg(peakResidentKb())
        .arg(longestReadMs)
        .arg(m_stallEndMs);
}

} // namespace Host
