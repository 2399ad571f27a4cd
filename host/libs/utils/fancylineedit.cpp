#include "fancylineedit.h"

#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>

namespace Utils {

FancyLineEdit::FancyLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &FancyLineEdit::updateClearButton);
}

FancyLineEdit::~FancyLineEdit() = default;

void FancyLineEdit::setFiltering(bool on)
{
    if (on == m_filtering)
        return;
    m_filtering = on;
    if (on) {
        if (!m_clearButton) {
            m_clearButton = new QToolButton(this);
            m_clearButton->setObjectName(QLatin1String("clearButton"));
            m_clearButton->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton, nullptr, this));
            m_clearButton->setToolTip(tr("Clear text"));
            m_clearButton->setCursor(Qt::ArrowCursor);
            m_clearButton->setFocusPolicy(Qt::NoFocus);
            m_clearButton->setAutoRaise(true);
            m_clearButton->setStyleSheet(QLatin1String("QToolButton { border: none; padding: 0px; }"));
            connect(m_clearButton, &QToolButton::clicked, this, &QLineEdit::clear);
        }
        setPlaceholderText(tr("Filter"));
        const int size = sizeHint().height();
        setTextMargins(0, 0, size, 0);
    } else {
        if (placeholderText() == tr("Filter"))
            setPlaceholderText(QString());
        setTextMargins(0, 0, 0, 0);
    }
    updateClearButton();
    if (m_clearButton)
        m_clearButton->setGeometry(width() - height(), 0, height(), height());
}

void FancyLineEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    if (m_clearButton)
        m_clearButton->setGeometry(width() - height(), 0, height(), height());
}

void FancyLineEdit::updateClearButton()
{
    if (m_clearButton)
        m_clearButton->setVisible(m_filtering && !text().isEmpty());
}

} // namespace Utils
