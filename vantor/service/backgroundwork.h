#pragma once

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

namespace Vantor {
namespace Internal {

// The installations' work on the disk, which nobody waits for from one moment to the next: it
// runs in a pool of its own, not in the host's, and at a lower priority. On a busy machine the
// IDE's GUI thread and the user's builds go first; examples arrive a little later. Destroying the
// pool waits for its work.
class BackgroundWork : public QThreadPool
{
public:
    // The nice value added on Linux; elsewhere priorities stay as they are.
    static constexpr int Niceness = 10;

    BackgroundWork();
    ~BackgroundWork() override;

    // Work on examples that have arrived.
    template <typename Function>
    auto run(Function function) { return runIn(this, function); }
    // Work for examples still to come, in a thread of its own: a burst's thousand staging folders
    // would otherwise hold up the examples that have arrived.
    template <typename Function>
    auto runAhead(Function function) { return runIn(&m_ahead, function); }

    // Lowers the calling thread's priority.
    static void yieldToForeground();

private:
    template <typename Function>
    static auto runIn(QThreadPool *pool, Function function)
    {
        return QtConcurrent::run(pool, [function] {
            yieldToForeground();
            return function();
        });
    }

    QThreadPool m_ahead;
};

} // namespace Internal
} // namespace Vantor
