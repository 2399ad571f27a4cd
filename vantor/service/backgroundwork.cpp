#include "backgroundwork.h"

#include "plugin/logging.h"

#include <QThread>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace Vantor {
namespace Internal {

#ifdef Q_OS_LINUX
namespace {
// A thread remembers that it yielded already: a pool's threads run many tasks each.
thread_local bool yielded = false;
} // namespace
#endif

BackgroundWork::BackgroundWork()
{
    setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    m_ahead.setMaxThreadCount(1);
}

BackgroundWork::~BackgroundWork()
{
    m_ahead.waitForDone();
    waitForDone();
}

void BackgroundWork::yieldToForeground()
{
#ifdef Q_OS_LINUX
    if (yielded)
        return;
    yielded = true;
    // On Linux a nice value belongs to the thread.
    const int current = getpriority(PRIO_PROCESS, gettid());
    if (setpriority(PRIO_PROCESS, gettid(), std::min(current + Niceness, 19)) != 0)
        qCDebug(serviceLog) << "Cannot lower the priority of background work:" << strerror(errno);
#endif
}

} // namespace Internal
} // namespace Vantor
