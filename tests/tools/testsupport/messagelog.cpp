#include "messagelog.h"

#include <QLoggingCategory>
#include <QMutex>
#include <QPair>

#include <algorithm>

namespace TestSupport {

namespace {

QMutex s_mutex;
QList<QPair<QByteArray, QString>> s_messages; // category, message
QtMessageHandler s_previous = nullptr;

void collect(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && context.category && QByteArray(context.category).startsWith("tas.vantor")) {
        QMutexLocker locker(&s_mutex);
        s_messages.append({QByteArray(context.category), message});
        return;
    }
    s_previous(type, context, message);
}

} // namespace

void MessageLog::start(const QString &filterRules)
{
    QLoggingCategory::setFilterRules(filterRules);
    if (!s_previous)
        s_previous = qInstallMessageHandler(collect);
}

void MessageLog::clear()
{
    QMutexLocker locker(&s_mutex);
    s_messages.clear();
}

QStringList MessageLog::messages(const char *category)
{
    QMutexLocker locker(&s_mutex);
    QStringList result;
    for (const auto &message : qAsConst(s_messages)) {
        if (!category || message.first == category)
            result.append(message.second);
    }
    return result;
}

bool MessageLog::containsStartingWith(const QString &prefix)
{
    const QStringList all = messages();
    return std::any_of(all.cbegin(), all.cend(),
                       [&prefix](const QString &line) { return line.startsWith(prefix); });
}

} // namespace TestSupport
