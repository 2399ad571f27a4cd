#include "ioptionspage.h"

namespace Core {

static QList<IOptionsPage *> &registry()
{
    static QList<IOptionsPage *> pages;
    return pages;
}

IOptionsPage::IOptionsPage(QObject *parent, bool registerGlobally)
    : QObject(parent)
{
    if (registerGlobally)
        registry().append(this);
}

IOptionsPage::~IOptionsPage()
{
    registry().removeOne(this);
}

const QList<IOptionsPage *> IOptionsPage::allOptionsPages()
{
    return registry();
}

QWidget *IOptionsPage::widget()
{
    if (!m_widget && m_widgetCreator)
        m_widget = m_widgetCreator();
    return m_widget;
}

void IOptionsPage::apply()
{
    if (auto pageWidget = qobject_cast<IOptionsPageWidget *>(m_widget.data()))
        pageWidget->apply();
}

void IOptionsPage::finish()
{
    if (auto pageWidget = qobject_cast<IOptionsPageWidget *>(m_widget.data()))
        pageWidget->finish();
    delete m_widget;
}

void IOptionsPage::setWidgetCreator(const WidgetCreator &widgetCreator)
{
    m_widgetCreator = widgetCreator;
}

} // namespace Core
