#pragma once

#include "repository/problem.h"

#include <QObject>
#include <QString>

namespace Vantor {
namespace Internal {

// The one line that tells the user what the plugin is doing: progress while work runs; a problem
// as it happens, and again once the work has ended, until the user dismisses it or starts new work.
class StatusLine : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QString text() const { return m_text; }
    void setProgress(const QString &text, bool busy);
    void report(const Problem &problem, bool busy);
    void dismiss(bool busy);
    // What the work that ended changed, shown like a problem.
    void setSummary(const QString &summary, bool busy);
    // Work started or ended.
    void update(bool busy);

signals:
    void changed(const QString &text);

private:
    QString m_progress;
    QString m_problem; // or summary
    bool m_problemShown = false; // since the last progress
    QString m_text;
};

} // namespace Internal
} // namespace Vantor
