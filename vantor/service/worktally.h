#pragma once

#include "examplestate.h"

#include <QCoreApplication>
#include <QSet>
#include <QString>

namespace Vantor {
namespace Internal {

// Counts the engine's work from the first example queued to the last one no longer busy, and says
// what it changed.
class WorkTally
{
    Q_DECLARE_TR_FUNCTIONS(Vantor::Internal::DownloadService)

public:
    // One example of `key` changed state; false when that neither starts nor ends a piece of work.
    bool count(const QString &key, const ExampleState &before, const ExampleState &after);
    // The user asked for some of the work: no summary.
    void setByUser() { m_byUser = true; }
    int done() const { return m_done; }
    int total() const { return m_total; }
    bool isFinished() const { return m_done == m_total; }
    // "2 examples updated, 1 installed, 1 failed (see the list)", empty when nothing changed or the
    // user asked for it.
    QString summary() const;

private:
    int m_total = 0;
    int m_done = 0;
    int m_installed = 0;
    int m_updated = 0;
    int m_failed = 0;
    QSet<QString> m_wereInstalled; // when queued
    bool m_byUser = false;
};

} // namespace Internal
} // namespace Vantor
