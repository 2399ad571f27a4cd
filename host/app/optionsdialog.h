#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

QT_BEGIN_NAMESPACE
class QDialogButtonBox;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
QT_END_NAMESPACE

namespace Core { class IOptionsPage; }

namespace Host {

// The IDE's options dialog: the registered pages by category, each page's widget created when
// the page is first shown, apply on Apply and OK, finish on every shown page when it closes.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit OptionsDialog(QWidget *parent = nullptr);
    ~OptionsDialog() override;

    // Shows the page with that display name; false when there is none.
    bool selectPage(const QString &displayName);

    static QString categoryName(const QByteArray &categoryId);

    QTreeWidget *pageTree() const { return m_tree; }
    QDialogButtonBox *buttonBox() const { return m_buttons; }

private:
    void populate();
    void showPage(QTreeWidgetItem *item);
    void apply();
    void finishPages();

    QTreeWidget *m_tree = nullptr;
    QStackedWidget *m_stack = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QList<QPointer<Core::IOptionsPage>> m_pages;
    struct ShownPage
    {
        QPointer<Core::IOptionsPage> page;
        QPointer<QWidget> widget;
    };
    QList<ShownPage> m_shownPages;
    bool m_finished = false;
};

} // namespace Host
