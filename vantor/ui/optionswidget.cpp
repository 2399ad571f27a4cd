#include "optionswidget.h"
#include "ui_optionswidget.h"

#include "examplesdialog.h"
#include "installlocationmenu.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "plugin/plugin.h"
#include "repository/example.h"
#include "service/downloadservice.h"
#include "service/manifestwriter.h"
#include "service/pathguard.h"

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>
#include <coreplugin/messagebox.h>

#include <QBrush>
#include <QColor>
#include <QDir>
#include <QDirIterator>
#include <QJsonObject>
#include <QListWidgetItem>
#include <QUrl>

#include <algorithm>

namespace Vantor {
namespace Internal {

namespace {

Repository::Examples onlineExamples(const QString &repositoryName)
{
    DownloadService *service = Plugin::downloadService();
    return service ? service->examples(repositoryName) : Repository::Examples();
}

} // namespace

OptionsWidget::OptionsWidget()
    : m_ui(new Ui::OptionsWidget)
{
    m_settings.load(Core::ICore::settings());
    m_ui->setupUi(this);
    m_ui->timeoutSpinBox->setValue(int(qMin<quint32>(m_settings.updatesCheckTimeoutDays, 99)));
    m_ui->filterLineEdit->setFiltering(true);

    QStringList names = m_settings.repositories.keys();
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
                     m_settings.repositories.value(name).url.toString()),
            Qt::ToolTipRole);
    }

    // The items store the example's local folder.
    installLocationMenu(m_ui->examplesListWidget,
                        [](const QString &path) { return QUrl::fromLocalFile(path); });

    // After filling the drop-down, so that filling it does not show examples.
    connect(m_ui->repositoryComboBox, &QComboBox::currentTextChanged, this, &OptionsWidget::showExamples);
    connect(m_ui->filterLineEdit, &QLineEdit::textChanged, this, &OptionsWidget::filterExamples);
    connect(m_ui->addButton, &QPushButton::clicked, this, &OptionsWidget::addExamples);
    connect(m_ui->removeButton, &QPushButton::clicked, this, &OptionsWidget::removeExamples);
    if (DownloadService *service = Plugin::downloadService()) {
        connect(service, &DownloadService::updated, this, &OptionsWidget::scanInstalledExamples);
        // The only place where a user sees what the service is doing or what went wrong.
        connect(service, &DownloadService::statusChanged, m_ui->statusLabel, &QLabel::setText);
    }

    scanInstalledExamples();
    showExamples(m_ui->repositoryComboBox->currentText());
}

OptionsWidget::~OptionsWidget()
{
    delete m_ui;
}

void OptionsWidget::scanInstalledExamples()
{
    bool changed = false;
    for (auto it = m_settings.repositories.begin(); it != m_settings.repositories.end(); ++it) {
        const int before = it->installedManifests.size();
        it->installedManifests.clear();
        QDirIterator walk(repositoryPathTemplate().arg(it.key()),
                          QStringList(ManifestWriter::manifestFileName()),
                          QDir::Files | QDir::Readable | QDir::CaseSensitive,
                          QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            walk.next();
            it->installedManifests.append(walk.fileInfo());
        }
        if (it->installedManifests.size() != before)
            changed = true;
    }
    showExamples(m_ui->repositoryComboBox->currentText());
    if (changed)
        emit Core::HelpManager::Signals::instance()->documentationChanged();
}

void OptionsWidget::showExamples(const QString &name)
{
    QListWidget *list = m_ui->examplesListWidget;
    list->clear();
    const Repository::Examples online = onlineExamples(name);
    const auto entry = m_settings.repositories.constFind(name);
    if (entry == m_settings.repositories.cend())
        return;

    for (const QFileInfo &manifest : entry->installedManifests) {
        const QDir folder = manifest.dir();
        auto item = new QListWidgetItem(folder.dirName());
        QString status = tr("Updated");
        const bool updateAvailable
            = std::any_of(online.cbegin(), online.cend(), [&](const Repository::ExamplePtr &example) {
                  return example->path().compare(item->text(), Qt::CaseSensitive) == 0
                         && manifest.lastModified().secsTo(example->lastActivity()) > 0;
              });
        if (updateAvailable) {
            item->setBackground(QBrush(QColor(226, 178, 182)));
            status = tr("Update available");
        }
        const QString canonical = folder.canonicalPath();
        item->setToolTip(
            tr("<table><tbody>"
               "<tr><td style=\"width: 40%;\">Location:&nbsp;</td><td style=\"width: 60%;\">%1</td></tr>"
               "<tr><td style=\"width: 40%;\">Updated:&nbsp;</td><td style=\"width: 60%;\">%2</td></tr>"
               "<tr><td style=\"width: 40%;\">Status:&nbsp;</td><td style=\"width: 60%;\">%3</td></tr>"
               "</tbody></table>")
                .arg(QDir::toNativeSeparators(canonical),
                     manifest.lastModified().toLocalTime().toString(Qt::TextDate), status));
        item->setData(Qt::UserRole, canonical);
        list->addItem(item);
    }
}

void OptionsWidget::filterExamples(const QString &text)
{
    QListWidget *list = m_ui->examplesListWidget;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem *item = list->item(row);
        item->setHidden(item->text().indexOf(text, 0, Qt::CaseInsensitive) == -1);
    }
}

void OptionsWidget::addExamples()
{
    if (onlineExamples(m_ui->repositoryComboBox->currentText()).isEmpty()) {
        Core::AsynchronousMessageBox::warning(tr("Examples Not Found"),
                                              tr("Check your online connection and try again later!"));
        return;
    }
    ExamplesDialog dialog(onlineExamples(m_ui->repositoryComboBox->currentText()), this);
    dialog.exec();

    // Read again: the list may have been refilled while the dialog was open.
    const QString name = m_ui->repositoryComboBox->currentText();
    RepositorySettings &repository = m_settings.repositories[name];
    QListWidget *list = m_ui->examplesListWidget;
    const QSet<QString> selected = dialog.selectedExamples();
    for (const QString &path : selected) {
        if (!list->findItems(path, Qt::MatchFixedString).isEmpty())
            continue;
        repository.examplesToInstall.insert(path);
        list->addItem(path);
    }
    cancelOut(name);
}

void OptionsWidget::removeExamples()
{
    QListWidget *list = m_ui->examplesListWidget;
    const QList<QListWidgetItem *> selected = list->selectedItems();
    if (selected.isEmpty()) {
        Core::AsynchronousMessageBox::information(
            tr("Examples Not Selected"),
            tr("Select examples to remove, press Remove button, then press Apply button to apply changes."));
        return;
    }
    const QString name = m_ui->repositoryComboBox->currentText();
    RepositorySettings &repository = m_settings.repositories[name];
    for (QListWidgetItem *item : selected) {
        repository.examplesToRemove.insert(item->text());
        // Items added by "Add..." have no folder.
        const QString folder = item->data(Qt::UserRole).toString();
        if (!folder.isEmpty())
            m_foldersToRemove[name].insert(item->text(), folder);
        delete list->takeItem(list->row(item));
    }
    cancelOut(name);
}

// An example both added and removed before apply is neither downloaded nor deleted.
void OptionsWidget::cancelOut(const QString &repositoryName)
{
    RepositorySettings &repository = m_settings.repositories[repositoryName];
    const QSet<QString> both = QSet<QString>(repository.examplesToInstall)
                                   .intersect(repository.examplesToRemove);
    for (const QString &path : both) {
        repository.examplesToInstall.remove(path);
        repository.examplesToRemove.remove(path);
        m_foldersToRemove[repositoryName].remove(path);
    }
}

void OptionsWidget::apply()
{
    for (auto it = m_settings.repositories.begin(); it != m_settings.repositories.end(); ++it) {
        const QString &name = it.key();
        RepositorySettings &repository = it.value();
        qCDebug(pluginLog) << "Repository:" << name;
        qCDebug(pluginLog) << "Examples to install:" << repository.examplesToInstall;
        qCDebug(pluginLog) << "Examples to remove:" << repository.examplesToRemove;
        if (repository.examplesToRemove.isEmpty() && repository.examplesToInstall.isEmpty())
            continue;

        // Only the folders the removed items showed, and only inside the repository folder.
        const PathGuard guard(name);
        const QMultiHash<QString, QString> folders = m_foldersToRemove.value(name);
        for (const QString &path : qAsConst(repository.examplesToRemove)) {
            const QStringList pathFolders = folders.values(path);
            for (const QString &folder : pathFolders) {
                QList<QFileInfo> &manifests = repository.installedManifests;
                manifests.erase(std::remove_if(manifests.begin(), manifests.end(),
                                               [&folder](const QFileInfo &manifest) {
                                                   return manifest.dir().canonicalPath() == folder;
                                               }),
                                manifests.end());
                // Not even the backup folder beside it, which the guard would allow.
                if (PathGuard::isBelow(folder, {guard.repositoryFolder()}))
                    guard.removeFolder(folder);
                else
                    qCDebug(pluginLog) << "Not deleting a folder outside the repository folder:" << folder;
            }
            repository.removedExamples.insert(path);
        }
        for (const QString &path : qAsConst(repository.examplesToInstall))
            repository.removedExamples.remove(path);

        if (DownloadService *service = Plugin::downloadService())
            service->download(name, repository.examplesToInstall);
        emit Core::HelpManager::Signals::instance()->documentationChanged();
    }

    m_settings.updatesCheckTimeoutDays = quint32(m_ui->timeoutSpinBox->value());
    // The check dates of this copy are as old as the page; the service's newer ones stay.
    m_settings.saveExceptCheckedDates(Core::ICore::settings());
}

} // namespace Internal
} // namespace Vantor
