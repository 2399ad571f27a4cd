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
    m_timer.start();
}

void HostMeter::tick()
{
    const qint64 now = m_clock.elapsed();
    m_longestStall = std::max(m_longestStall, now - m_lastTick - TickMs);
    m_lastTick = now;
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

QString HostMeter::report() const
{
    return QStringLiteral("measure: longest-stall-ms=%1 notifications=%2 peak-rss-kb=%3")
        .arg(m_longestStall)
        .arg(m_notifications)
        .arg(peakResidentKb());
}

} // namespace Host
