#include "examplesdialog.h"
#include "ui_examplesdialog.h"

#include "exampleitemdelegate.h"
#include "installlocationmenu.h"

#include "repository/example.h"

#include <QFileInfo>
#include <QIcon>
#include <QJsonObject>
#include <QPixmap>
#include <QListWidgetItem>
#include <QUrl>

#include <algorithm>

namespace Vantor {
namespace Internal {

namespace {

QString field(const Repository::ExamplePtr &example, const char *name)
{
    return example->json().value(QLatin1String(name)).toString();
}

} // namespace

ExamplesDialog::ExamplesDialog(const Repository::Examples &examples, QWidget *parent)
    : QDialog(parent)
    , m_ui(new Ui::ExamplesDialog)
    , m_examples(examples)
{
    m_ui->setupUi(this);
    m_ui->examplesListWidget->setItemDelegate(new ExampleItemDelegate(m_ui->examplesListWidget));
    m_ui->examplesListWidget->setIconSize(QSize(32, 32));
    m_ui->filterLineEdit->setFiltering(true);
    // The items store the project's web page. The server chooses it: only a web address is handed
    // to the desktop, never a local file or a custom scheme that would start another program.
    installLocationMenu(m_ui->examplesListWidget, [](const QString &text) {
        const QUrl url(text, QUrl::TolerantMode);
        const QString scheme = url.scheme().toLower();
        return scheme == QLatin1String("http") || scheme == QLatin1String("https") ? url : QUrl();
    });
    connect(m_ui->filterLineEdit, &QLineEdit::textChanged, this, &ExamplesDialog::filterExamples);

    for (const Repository::ExamplePtr &example : examples) {
        auto item = new QListWidgetItem;
        item->setText(field(example, "path"));
        item->setToolTip(
            tr("<table><tbody>"
               "<tr><td style=\"width: 40%;\">Name:&nbsp;</td><td style=\"width: 60%;\">%1</td></tr>"
               "<tr><td style=\"width: 40%;\">Description:&nbsp;</td><td style=\"width: 60%;\">%2</td></tr>"
               "<tr><td style=\"width: 40%;\">Updated:&nbsp;</td><td style=\"width: 60%;\">%3</td></tr>"
               "<tr><td style=\"width: 40%;\">Location:&nbsp;</td><td style=\"width: 60%;\">%4</td></tr>"
               "</tbody></table>")
                .arg(field(example, "name"), field(example, "description"),
                     example->lastActivity().toLocalTime().toString(Qt::TextDate),
                     field(example, "web_url")));
        item->setData(Qt::UserRole, field(example, "web_url"));
        item->setData(ExampleItemDelegate::StateRole, field(example, "name"));
        // What the filter looks at besides the path.
        item->setData(Qt::UserRole + 2, QStringList{field(example, "name"), field(example, "description")}
                                            + example->tags());
        m_ui->examplesListWidget->insertItem(m_ui->examplesListWidget->count(), item);
        showPicture(item->text());
    }
}

void ExamplesDialog::showPicture(const QString &path)
{
    QListWidget *list = m_ui->examplesListWidget;
    for (int row = 0; row < list->count() && row < m_examples.size(); ++row) {
        QListWidgetItem *item = list->item(row);
        // An installed example shows the picture its manifest names.
        if (item->text() != path || !item->icon().isNull() || !m_examples.at(row)->hasImage())
            continue;
        const QImage picture = m_examples.at(row)->image();
        if (!picture.isNull())
            item->setIcon(QIcon(QPixmap::fromImage(picture)));
    }
}

void ExamplesDialog::setInstalled(const QHash<QString, QString> &folders)
{
    QListWidget *list = m_ui->examplesListWidget;
    for (int row = 0; row < list->count() && row < m_examples.size(); ++row) {
        QListWidgetItem *item = list->item(row);
        const QString name = field(m_examples.at(row), "name");
        const QString folder = folders.value(item->text());
        if (folder.isEmpty()) {
            item->setData(ExampleItemDelegate::StateRole, name);
            continue;
        }
        item->setData(ExampleItemDelegate::StateRole, tr("%1 · installed").arg(name));
        const QString icon = folder + QLatin1String("/example-icon.png");
        if (QFileInfo(icon).isFile())
            item->setIcon(QIcon(icon));
    }
}

ExamplesDialog::~ExamplesDialog()
{
    delete m_ui;
}

void ExamplesDialog::accept()
{
    m_selectedExamples.clear();
    const QList<QListWidgetItem *> items = m_ui->examplesListWidget->selectedItems();
    for (const QListWidgetItem *item : items)
        m_selectedExamples.insert(item->text());
    QDialog::accept();
}

void ExamplesDialog::filterExamples(const QString &text)
{
    QListWidget *list = m_ui->examplesListWidget;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        const QStringList fields = QStringList(item->text()) + item->data(Qt::UserRole + 2).toStringList();
        item->setHidden(std::none_of(fields.cbegin(), fields.cend(), [&text](const QString &field) {
            return field.contains(text, Qt::CaseInsensitive);
        }));
    }
}

} // namespace Internal
} // namespace Vantor
