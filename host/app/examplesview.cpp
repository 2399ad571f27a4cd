#include "examplesview.h"

#include "examplesreader.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

namespace Host {

namespace {
const int ProjectRole = Qt::UserRole + 1;
} // namespace

ExamplesView::ExamplesView(ExamplesReader *reader, QWidget *parent)
    : QWidget(parent)
    , m_reader(reader)
{
    m_setComboBox = new QComboBox;
    m_setComboBox->setObjectName(QLatin1String("setComboBox"));
    m_examplesListWidget = new QListWidget;
    m_examplesListWidget->setObjectName(QLatin1String("examplesListWidget"));
    m_examplesListWidget->setViewMode(QListView::IconMode);
    m_examplesListWidget->setIconSize(QSize(128, 128));
    m_examplesListWidget->setGridSize(QSize(200, 200));
    m_examplesListWidget->setResizeMode(QListView::Adjust);
    m_examplesListWidget->setMovement(QListView::Static);
    m_examplesListWidget->setWordWrap(true);
    m_emptyLabel = new QLabel(tr("No examples installed."));

    auto top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Example set:")));
    top->addWidget(m_setComboBox, 1);
    auto layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_emptyLabel);
    layout->addWidget(m_examplesListWidget, 1);

    connect(m_reader, &ExamplesReader::changed, this, &ExamplesView::showSets);
    connect(m_setComboBox, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &ExamplesView::showExamples);
    // Opening a project is the IDE's business; here the project's folder is shown.
    connect(m_examplesListWidget, &QListWidget::itemActivated, this, [](QListWidgetItem *item) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(item->data(ProjectRole).toString()));
    });
    showSets();
}

void ExamplesView::showSets()
{
    const QString current = m_setComboBox->currentText();
    const QSignalBlocker blocker(m_setComboBox);
    m_setComboBox->clear();
    for (const ExampleSet &set : m_reader->exampleSets())
        m_setComboBox->addItem(set.displayName);
    const int index = m_setComboBox->findText(current);
    m_setComboBox->setCurrentIndex(index >= 0 ? index : 0);
    showExamples();
}

void ExamplesView::showExamples()
{
    m_examplesListWidget->clear();
    const QList<ExampleSet> sets = m_reader->exampleSets();
    const int index = m_setComboBox->currentIndex();
    if (index >= 0 && index < sets.size()) {
        for (const ExampleItem &example : sets.at(index).examples) {
            auto item = new QListWidgetItem(QIcon(QPixmap::fromImage(ExamplesReader::image(example))),
                                            example.name, m_examplesListWidget);
            item->setToolTip(QStringLiteral("<p><b>%1</b></p><p>%2</p><p>%3</p><p>%4</p>")
                                 .arg(example.name.toHtmlEscaped(),
                                      example.description.toHtmlEscaped(),
                                      example.tags.join(QLatin1String(", ")).toHtmlEscaped(),
                                      example.projectPath.toHtmlEscaped()));
            item->setData(ProjectRole, QFileInfo(example.projectPath).absolutePath());
        }
    }
    m_emptyLabel->setVisible(m_examplesListWidget->count() == 0);
}

} // namespace Host
