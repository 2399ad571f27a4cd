#include "testlog.h"

namespace TestLog {

QStringList &entries()
{
    static QStringList list;
    return list;
}

} // namespace TestLog
