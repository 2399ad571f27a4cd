#pragma once

#include <QWidget>

QT_BEGIN_NAMESPACE
class QComboBox;
class QLabel;
class QListWidget;
QT_END_NAMESPACE

namespace Host {

class ExamplesReader;

// The Welcome screen's examples browser: one example set at a time, each example with its
// picture, name, tags and description.
class ExamplesView : public QWidget
{
    Q_OBJECT

public:
    explicit ExamplesView(ExamplesReader *reader, QWidget *parent = nullptr);

private:
    void showSets();
    void showExamples();

    ExamplesReader *m_reader = nullptr;
    QComboBox *m_setComboBox = nullptr;
    QListWidget *m_examplesListWidget = nullptr;
    QLabel *m_emptyLabel = nullptr;
};

} // namespace Host
