#include "optionswidget.h"
#include "ui_optionswidget.h"

#include "exampleitemdelegate.h"
#include "examplesdialog.h"
#include "installlocationmenu.h"
#include "tokenfield.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "plugin/plugin.h"
#include "service/downloadservice.h"

#include <coreplugin/messagebox.h>

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QHBoxLayout>
#include <QListWidgetItem>
#include <QUrl>

#include <algorithm>

namespace Vantor {
namespace Internal {

OptionsWidget::OptionsWidget()
    : m_ui(new Ui::OptionsWidget)
    , m_service(Plugin::downloadService())
{
    m_ui->setupUi(this);
    // Texts of servers and archives are shown as they are, never as markup.
    m_ui->statusLabel->setTextFormat(Qt::PlainText);
    m_ui->filterLineEdit->setFiltering(true);
    const Settings settings = m_service ? m_service->settings() : Settings();
    m_ui->timeoutSpinBox->setSpecialValueText(tr("Never"));
    m_ui->timeoutSpinBox->setValue(int(qMin<quint32>(settings.updatesCheckTimeoutDays, 99)));
    m_ui->examplesListWidget->setItemDelegate(new ExampleItemDelegate(m_ui->examplesListWidget));
    m_ui->examplesListWidget->setIconSize(QSize(32, 32));

    QStringList names = settings.repositories.keys();
    std::sort(names.begin(), names.end());
    for (const QString &name : qAsConst(names)) {
        m_ui->repositoryComboBox->addItem(name);
        m_ui->repositoryComboBox->setItemData(
            m_ui->repositoryComboBox->count() - 1,
            tr("<table><tbody>"
               "<tr><td style=\"width: 40%;\">Folder:&nbsp;</td><td style=\"width: 60%;\">%1</td></tr>"
               "<tr><td style=\"width: 40%;\">Link:&nbsp;</td><td style=\"width: 60%;\">%2</td></tr>"
               "</tbody></table>")
                .arg(QDir::toNativeSeparators(repositoryPathTemplate().arg(name)),
                     settings.repositories.value(name).url.toString().toHtmlEscaped()),
            Qt::ToolTipRole);
    }

    // The items store the example's local folder.
    installLocationMenu(m_ui->examplesListWidget,
                        [](const QString &path) { return QUrl::fromLocalFile(path); });

    // The repository's access token beside the drop-down.
    m_tokenField = new TokenField(m_service, this);
    auto repositoryRow = new QHBoxLayout;
    m_ui->gridLayout->removeWidget(m_ui->repositoryComboBox);
    repositoryRow->addWidget(m_ui->repositoryComboBox, 1);
    repositoryRow->addWidget(m_tokenField, 1);
    m_ui->gridLayout->addLayout(repositoryRow, 0, 1);
    m_tokenField->setRepository(currentRepository());
    connect(m_ui->repositoryComboBox, &QComboBox::currentTextChanged, m_tokenField, &TokenField::setRepository);

    // After filling the drop-down, so that filling it does not show examples.
    connect(m_ui->repositoryComboBox, &QComboBox::currentTextChanged, this, &OptionsWidget::showExamples);
    connect(m_ui->filterLineEdit, &QLineEdit::textChanged, this, &OptionsWidget::filterExamples);
    connect(m_ui->addButton, &QPushButton::clicked, this, &OptionsWidget::addExamples);
    connect(m_ui->removeButton, &QPushButton::clicked, this, &OptionsWidget::removeExamples);
    connect(m_ui->repositoryComboBox, &QComboBox::currentTextChanged, this, &OptionsWidget::updateChecks);
    connect(m_ui->timeoutSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this, &OptionsWidget::updateChecks);
    if (m_service) {
        connect(m_ui->checkNowButton, &QPushButton::clicked, m_service, &DownloadService::checkNow);
        connect(m_service, &DownloadService::stateChanged, this, &OptionsWidget::updateItem);
        connect(m_service, &DownloadService::stateChanged, this, &OptionsWidget::updateChecks);
        connect(m_service, &DownloadService::workChanged, this, &OptionsWidget::updateChecks);
        connect(m_service, &DownloadService::statusChanged, m_ui->statusLabel, &QLabel::setText);
        m_ui->statusLabel->setText(m_service->statusText());
    }

    scanInstalledExamples();
    updateChecks();
}

OptionsWidget::~OptionsWidget()
{
    // What the page showed has been seen; a problem of later work will be shown afresh.
    if (m_service)
        m_service->dismissProblem();
    delete m_ui;
}

QString OptionsWidget::currentRepository() const
{
    return m_ui->repositoryComboBox->currentText();
}

// The last and the next check of the selected repository, and "Check now" while nothing runs.
void OptionsWidget::updateChecks()
{
    const bool checking = m_service && m_service->isChecking();
    m_ui->checkNowButton->setEnabled(m_service && !checking);
    m_ui->checkProgressBar->setVisible(checking);
    const int days = m_ui->timeoutSpinBox->value();
    if (days == 0) {
        m_ui->lastCheckLabel->setText(tr("Automatic updates are off"));
        return;
    }
    const QDate last = m_service ? m_service->settings().updatesCheckedDate.value(currentRepository()) : QDate();
    const QLocale locale;
    m_ui->lastCheckLabel->setText(
        last.isValid() ? tr("Last checked: %1 · next check: %2")
                             .arg(locale.toString(last, QLocale::ShortFormat),
                                  locale.toString(qMax(last.addDays(days + 1), QDate::currentDate()), QLocale::ShortFormat))
                       : tr("Last checked: never · next check: when the repository answers"));
}

void OptionsWidget::scanInstalledExamples()
{
    if (m_service)
        m_service->rescan();
    showExamples(currentRepository());
}

void OptionsWidget::showExamples(const QString &name)
{
    m_ui->examplesListWidget->clear();
    if (!m_service)
        return;
    QStringList paths = m_service->states(name).keys() + m_toInstall.value(name).values();
    paths.removeDuplicates();
    for (const QString &path : qAsConst(paths))
        updateItem(name, path);
    // Every item of the repository shows until the filter changes again.
    for (int row = 0; row < m_ui->examplesListWidget->count(); ++row)
        m_ui->examplesListWidget->item(row)->setHidden(false);
}

// An example is listed while it is installed, on its way or failed, or added by the user, and
// not while the user has removed it.
void OptionsWidget::updateItem(const QString &repositoryName, const QString &path)
{
    if (path.isEmpty() || repositoryName != currentRepository())
        return;
    const ExampleState state = m_service->state(repositoryName, path);
    const bool listed = (state.isInstalled() || state.isBusy() || state.state == ExampleState::Failed
                         || m_toInstall.value(repositoryName).contains(path))
                        && !m_toRemove.value(repositoryName).contains(path);
    QListWidget *list = m_ui->examplesListWidget;
    const QList<QListWidgetItem *> found = list->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
    QListWidgetItem *item = found.value(0);
    if (!listed) {
        delete item;
        return;
    }
    if (!item) {
        item = new QListWidgetItem(path);
        list->addItem(item);
        item->setHidden(isFilteredOut(path));
    }
    decorate(item, state);
}

void OptionsWidget::decorate(QListWidgetItem *item, const ExampleState &state) const
{
    QString status;
    QString shortStatus; // beside the name
    switch (state.state) {
    case ExampleState::Installed: status = tr("Updated"); break;
    case ExampleState::UpdateAvailable: status = tr("Update available"); break;
    case ExampleState::Queued: status = tr("Waiting to download"); break;
    case ExampleState::Downloading:
        status = state.total > 0 ? tr("Downloading (%1%)").arg(state.bytes * 100 / state.total) : tr("Downloading");
        break;
    case ExampleState::Installing: status = tr("Installing"); break;
    case ExampleState::Failed: status = tr("Failed: %1").arg(state.problem.message()); break;
    case ExampleState::Available:
    case ExampleState::Removed: break;
    }
    shortStatus = state.state == ExampleState::Installed ? tr("Installed") : status;
    item->setData(ExampleItemDelegate::StateRole, shortStatus);
    // The picture the manifest shows, read again only when another version is installed.
    if (item->data(Qt::UserRole + 2).toDateTime() != state.installed) {
        item->setData(Qt::UserRole + 2, state.installed);
        const QString icon = state.folder + QLatin1String("/example-icon.png");
        item->setIcon(state.isInstalled() && QFileInfo(icon).isFile() ? QIcon(icon) : QIcon());
    }
    const bool update = state.state == ExampleState::UpdateAvailable;
    item->setBackground(update ? QBrush(QColor(226, 178, 182)) : QBrush());
    item->setData(Qt::UserRole, state.folder.isEmpty() ? QVariant() : QVariant(state.folder));
    const QString description = state.description.isEmpty()
                                    ? QString()
                                    : QLatin1String("<p>") + state.description.toHtmlEscaped() + QLatin1String("</p>");
    if (!state.isInstalled()) {
        item->setToolTip(status.isEmpty() && description.isEmpty() ? QString() : status.toHtmlEscaped() + description);
        return;
    }
    item->setToolTip(
        tr("<table><tbody>"
           "<tr><td style=\"width: 40%;\">Location:&nbsp;</td><td style=\"width: 60%;\">%1</td></tr>"
           "<tr><td style=\"width: 40%;\">Updated:&nbsp;</td><td style=\"width: 60%;\">%2</td></tr>"
           "<tr><td style=\"width: 40%;\">Status:&nbsp;</td><td style=\"width: 60%;\">%3</td></tr>"
           "</tbody></table>")
            .arg(QDir::toNativeSeparators(state.folder).toHtmlEscaped(),
                 state.installed.toLocalTime().toString(Qt::TextDate), status.toHtmlEscaped())
        + description);
}

bool OptionsWidget::isFilteredOut(const QString &text) const
{
    return text.indexOf(m_ui->filterLineEdit->text(), 0, Qt::CaseInsensitive) == -1;
}

void OptionsWidget::filterExamples(const QString &)
{
    QListWidget *list = m_ui->examplesListWidget;
    for (int row = 0; row < list->count(); ++row)
        list->item(row)->setHidden(isFilteredOut(list->item(row)->text()));
}

void OptionsWidget::addExamples()
{
    const Repository::Examples online = m_service ? m_service->examples(currentRepository())
                                                  : Repository::Examples();
    if (online.isEmpty()) {
        Core::AsynchronousMessageBox::warning(tr("Examples Not Found"),
                                              tr("Check your online connection and try again later!"));
        return;
    }
    ExamplesDialog dialog(online, this);
    QHash<QString, QString> installed;
    const QMap<QString, ExampleState> states = m_service->states(currentRepository());
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        if (it->isInstalled())
            installed.insert(it.key(), it->folder);
    }
    dialog.setInstalled(installed);
    const QString repositoryName = currentRepository();
    connect(m_service, &DownloadService::stateChanged, &dialog,
            [&dialog, repositoryName](const QString &repository, const QString &path) {
                if (repository == repositoryName)
                    dialog.showPicture(path);
            });
    m_service->fetchPictures(repositoryName);
    dialog.exec();

    // Read again: the repository may have changed while the dialog was open.
    const QString name = currentRepository();
    QListWidget *list = m_ui->examplesListWidget;
    const QSet<QString> selected = dialog.selectedExamples();
    for (const QString &path : selected) {
        if (!list->findItems(path, Qt::MatchFixedString).isEmpty())
            continue;
        // An installed example removed and added again before apply is neither deleted nor downloaded.
        if (!m_toRemove[name].remove(path))
            m_toInstall[name].insert(path);
        updateItem(name, path);
    }
}

void OptionsWidget::removeExamples()
{
    QListWidget *list = m_ui->examplesListWidget;
    QList<QListWidgetItem *> selected = list->selectedItems();
    // Only what the user can see: items hidden by the filter keep their selection but are not meant.
    selected.erase(std::remove_if(selected.begin(), selected.end(),
                                  [](const QListWidgetItem *item) { return item->isHidden(); }),
                   selected.end());
    if (selected.isEmpty()) {
        Core::AsynchronousMessageBox::information(
            tr("Examples Not Selected"),
            tr("Select examples to remove, press Remove button, then press Apply button to apply changes."));
        return;
    }
    const QString name = currentRepository();
    for (QListWidgetItem *item : qAsConst(selected)) {
        const QString path = item->text();
        delete item;
        // One added and removed again before apply leaves no trace.
        if (m_toInstall[name].remove(path))
            continue;
        m_toRemove[name].insert(path);
    }
}

void OptionsWidget::apply()
{
    if (!m_service)
        return;
    QStringList names = m_service->settings().repositories.keys();
    std::sort(names.begin(), names.end());
    for (const QString &name : qAsConst(names)) {
        const QSet<QString> install = m_toInstall.take(name);
        const QSet<QString> remove = m_toRemove.take(name);
        qCDebug(pluginLog) << "Repository:" << name;
        qCDebug(pluginLog) << "Examples to install:" << install;
        qCDebug(pluginLog) << "Examples to remove:" << remove;
        if (!install.isEmpty() || !remove.isEmpty())
            m_service->applyChanges(name, install, remove);
    }
    // Handed over: a second Apply or OK does nothing twice.
    m_toInstall.clear();
    m_toRemove.clear();
    m_service->setUpdateInterval(quint32(m_ui->timeoutSpinBox->value()));
    m_tokenField->apply();
}

} // namespace Internal
} // namespace Vantor
