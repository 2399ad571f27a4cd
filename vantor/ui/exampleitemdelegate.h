#pragma once

#include <QStyledItemDelegate>

namespace Vantor {
namespace Internal {

// Draws an example's state (role StateRole) beside its name, so that the item's text stays the
// example's path, which the filter and "Add..." compare with.
class ExampleItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int StateRole = Qt::UserRole + 1;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace Internal
} // namespace Vantor
