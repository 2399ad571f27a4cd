#include "helpmanager.h"

namespace Core {
namespace HelpManager {

Signals *Signals::instance()
{
    // Never deleted: plugins may still disconnect from it while the process ends.
    static Signals *signalsObject = new Signals;
    return signalsObject;
}

} // namespace HelpManager
} // namespace Core
