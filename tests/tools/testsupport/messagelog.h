#pragma once

#include <QString>
#include <QStringList>

namespace TestSupport {

// Collects the debug messages of the plugin's categories ("tas.vantor...") from every thread:
// statuses of downloads are written from worker threads, where a signal spy would race. Other
// messages go on to the handler installed before.
class MessageLog
{
public:
    // Enables what `filterRules` (QLoggingCategory rules) name and starts collecting.
    static void start(const QString &filterRules);
    static void clear();
    // The messages in order, only those of `category` when one is given.
    static QStringList messages(const char *category = nullptr);
    static bool contains(const QString &message) { return messages().contains(message); }
    static bool containsStartingWith(const QString &prefix);
};

} // namespace TestSupport
