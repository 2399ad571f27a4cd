#include "statusline.h"

namespace Vantor {
namespace Internal {

void StatusLine::setProgress(const QString &text, bool busy)
{
    m_progress = text;
    m_problemShown = false;
    update(busy);
}

void StatusLine::report(const Problem &problem, bool busy)
{
    m_problem = problem.text();
    m_problemShown = true;
    update(busy);
}

void StatusLine::setSummary(const QString &summary, bool busy)
{
    m_problem = summary;
    m_problemShown = false;
    update(busy);
}

void StatusLine::dismiss(bool busy)
{
    m_problem.clear();
    update(busy);
}

void StatusLine::update(bool busy)
{
    const QString text = m_problemShown || !busy ? m_problem : m_progress;
    if (text == m_text)
        return;
    m_text = text;
    emit changed(text);
}

} // namespace Internal
} // namespace Vantor
