#include "optionsdialog.h"

#include <coreplugin/dialogs/ioptionspage.h>

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace Host {

namespace {
const int PageRole = Qt::UserRole + 1;
} // namespace

OptionsDialog::OptionsDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Options"));
    resize(900, 600);

    m_tree = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    m_tree->setObjectName(QLatin1String("pageTree"));
    m_stack = new QStackedWidget;
    m_stack->addWidget(new QLabel(tr("Choose a page on the left.")));

    auto splitter = new QSplitter;
    splitter->addWidget(m_tree);
    splitter->addWidget(m_stack);
    splitter->setStretchFactor(1, 3);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Apply
                                     | QDialogButtonBox::Cancel);
    auto layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addWidget(m_buttons);

    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { showPage(current); });
    connect(m_buttons, &QDialogButtonBox::accepted, this, [this] {
        apply();
        accept();
    });
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked,
            this, &OptionsDialog::apply);
    connect(this, &QDialog::finished, this, &OptionsDialog::finishPages);

    populate();
}

OptionsDialog::~OptionsDialog()
{
    finishPages();
}

QString OptionsDialog::categoryName(const QByteArray &categoryId)
{
    // Category ids carry a sort prefix, as in "H.Help".
    const int dot = categoryId.indexOf('.');
    return QString::fromUtf8(dot >= 0 ? categoryId.mid(dot + 1) : categoryId);
}

bool OptionsDialog::selectPage(const QString &displayName)
{
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *category = m_tree->topLevelItem(i);
        for (int j = 0; j < category->childCount(); ++j) {
            if (category->child(j)->text(0) == displayName) {
                m_tree->setCurrentItem(category->child(j));
                return true;
            }
        }
    }
    return false;
}

void OptionsDialog::populate()
{
    QMap<QByteArray, QTreeWidgetItem *> categories;
    const QList<Core::IOptionsPage *> pages = Core::IOptionsPage::allOptionsPages();
    for (Core::IOptionsPage *page : pages) {
        const QByteArray categoryId = page->category().name();
        QTreeWidgetItem *&category = categories[categoryId];
        if (!category) {
            category = new QTreeWidgetItem(QStringList(categoryName(categoryId)));
            category->setFlags(Qt::ItemIsEnabled);
        }
        auto item = new QTreeWidgetItem(category, QStringList(page->displayName()));
        item->setData(0, PageRole, m_pages.size());
        m_pages.append(page);
    }
    // Sorted by category id, as the IDE does.
    for (QTreeWidgetItem *category : qAsConst(categories)) {
        m_tree->addTopLevelItem(category);
        category->sortChildren(0, Qt::AscendingOrder);
    }
    m_tree->expandAll();
}

void OptionsDialog::showPage(QTreeWidgetItem *item)
{
    if (!item || !item->data(0, PageRole).isValid())
        return;
    Core::IOptionsPage *page = m_pages.value(item->data(0, PageRole).toInt());
    if (!page) {
        m_stack->setCurrentIndex(0);
        return;
    }
    QWidget *widget = page->widget();
    if (!widget)
        return;
    const bool known = std::any_of(m_shownPages.cbegin(), m_shownPages.cend(),
                                   [page](const ShownPage &shown) { return shown.page == page; });
    if (!known)
        m_shownPages.append({page, widget});
    if (m_stack->indexOf(widget) < 0)
        m_stack->addWidget(widget);
    m_stack->setCurrentWidget(widget);
}

void OptionsDialog::apply()
{
    for (const ShownPage &shown : qAsConst(m_shownPages)) {
        if (shown.page)
            shown.page->apply();
    }
}

void OptionsDialog::finishPages()
{
    if (m_finished)
        return;
    m_finished = true;
    for (const ShownPage &shown : qAsConst(m_shownPages)) {
        // finish() deletes the page's widget; take it out of the stack first.
        if (shown.widget)
            m_stack->removeWidget(shown.widget);
        if (shown.page)
            shown.page->finish();
    }
    m_shownPages.clear();
}

} // namespace Host
