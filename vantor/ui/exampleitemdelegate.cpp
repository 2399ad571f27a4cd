#include "exampleitemdelegate.h"

#include <QApplication>
#include <QPainter>

namespace Vantor {
namespace Internal {

namespace {

constexpr int Gap = 12;

} // namespace

void ExampleItemDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const QString state = index.data(StateRole).toString();
    if (state.isEmpty())
        return;
    QStyleOptionViewItem view = option;
    initStyleOption(&view, index);
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &view, widget);
    const int nameWidth = view.fontMetrics.horizontalAdvance(view.text);
    QRect stateRect = textRect.adjusted(nameWidth + Gap, 0, 0, 0);
    if (stateRect.width() <= 0)
        return;
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    QColor color = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
    color.setAlphaF(selected ? 1.0 : 0.6);
    painter->setPen(color);
    painter->setFont(view.font);
    painter->drawText(stateRect, Qt::AlignLeft | Qt::AlignVCenter,
                      view.fontMetrics.elidedText(state, Qt::ElideRight, stateRect.width()));
    painter->restore();
}

QSize ExampleItemDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QString state = index.data(StateRole).toString();
    if (!state.isEmpty())
        size.rwidth() += Gap + option.fontMetrics.horizontalAdvance(state);
    return size;
}

} // namespace Internal
} // namespace Vantor
