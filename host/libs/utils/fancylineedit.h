#pragma once

#include "utils_global.h"

#include <QLineEdit>

QT_BEGIN_NAMESPACE
class QToolButton;
QT_END_NAMESPACE

namespace Utils {

// A line edit that, in filtering mode, shows the placeholder "Filter" and a clear button on
// the right that hides while the text is empty.
class QTCREATOR_UTILS_EXPORT FancyLineEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit FancyLineEdit(QWidget *parent = nullptr);
    ~FancyLineEdit() override;

    void setFiltering(bool on);
    bool isFiltering() const { return m_filtering; }

    // The clear button, for tests and styling; null until filtering was switched on.
    QToolButton *clearButton() const { return m_clearButton; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateClearButton();

    bool m_filtering = false;
    QToolButton *m_clearButton = nullptr;
};

} // namespace Utils
