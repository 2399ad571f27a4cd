#pragma once

#include <QStringList>

#if defined(TESTLOG_LIBRARY)
#  define TESTLOG_EXPORT Q_DECL_EXPORT
#else
#  define TESTLOG_EXPORT Q_DECL_IMPORT
#endif

namespace TestLog {

// One list for the test and every plugin library it loads.
TESTLOG_EXPORT QStringList &entries();

} // namespace TestLog
