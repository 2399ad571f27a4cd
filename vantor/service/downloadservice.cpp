#include "downloadservice.h"

#include "installedfolders.h"
#include "manifestwriter.h"
#include "pathguard.h"
#include "updatecheck.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "repository/example.h"

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>
#include <utils/archive.h>
#include <utils/fileutils.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <limits>

namespace Vantor {
namespace Internal {

namespace {

const char castErrorText[] = QT_TRANSLATE_NOOP("QObject", "Unable to cast repository from: %1");
// Translated once, when the library is loaded.
const QString castErrorStatus = QCoreApplication::translate("QObject", castErrorText);

QString castError()
{
    return castErrorStatus.arg(QLatin1String(QObject::staticMetaObject.className()));
}

QString pathOf(const Repository::ExamplePtr &example)
{
    return example->json().value(QLatin1String("path")).toString();
}

QString nameOf(const Repository::ExamplePtr &example)
{
    return example->json().value(QLatin1String("name")).toString();
}

QString exampleFolder(const QString &repositoryName, const QString &path)
{
    return examplePathTemplate().arg(repositoryName, path);
}

} // namespace

DownloadService::DownloadService(QObject *parent)
    : QObject(parent)
{
    m_settings.load(Core::ICore::settings());
    for (auto it = m_settings.repositories.cbegin(); it != m_settings.repositories.cend(); ++it) {
        const auto repository = QSharedPointer<Repository>::create(it->url, this);
        m_repositories.append(repository);
        connect(repository.data(), &Repository::downloaded, this, &DownloadService::onDownloaded);
        connect(repository.data(), &Repository::fetched, this, &DownloadService::onFetched);
    }
    connect(&m_timer, &QTimer::timeout, &m_timer, [this] { checkClients(); }, Qt::DirectConnection);
    // Beyond what the timer can hold, the interval is the longest it can.
    const qint64 interval = qint64(m_settings.serviceRestartTimeoutSeconds) * 1000;
    m_timer.start(int(qMin<qint64>(interval, std::numeric_limits<int>::max())));
}

DownloadService::~DownloadService()
{
    // Stop the unpackers before their temporary archives go.
    for (auto it = m_unpacking.cbegin(); it != m_unpacking.cend(); ++it) {
        delete it.key();
        QFile::remove(it.value());
    }
}

Repository::Examples DownloadService::examples(const QString &repositoryName) const
{
    const QSharedPointer<Repository> found = repository(repositoryName);
    return found ? found->examples() : Repository::Examples();
}

void DownloadService::download(const QString &repositoryName, const QSet<QString> &paths)
{
    const QSharedPointer<Repository> found = repository(repositoryName);
    if (!found) {
        setStatus(tr("Skip downloading examples - unable to find repository for name: %1")
                      .arg(repositoryName));
        return;
    }
    found->download(paths);
}

QSharedPointer<Repository> DownloadService::repository(const QString &name) const
{
    const QUrl url = m_settings.repositories.value(name).url;
    if (url.isEmpty())
        return {};
    for (const QSharedPointer<Repository> &repository : m_repositories) {
        if (repository->url() == url)
            return repository;
    }
    return {};
}

void DownloadService::setStatus(const QString &status)
{
    if (!status.isEmpty())
        qCDebug(serviceLog) << "Status:" << status;
    emit statusChanged(status);
}

void DownloadService::checkClients()
{
    const QList<QSharedPointer<Repository>> repositories = m_repositories;
    bool allReady = true;
    for (const QSharedPointer<Repository> &repository : repositories) {
        if (repository->isReady())
            continue;
        allReady = false;
        setStatus(QStringLiteral("%1 (%2)").arg(tr("API client is not ready - restarting"),
                                                repository->url().toString()));
        repository->restart();
    }
    if (allReady)
        m_timer.stop();
}

void DownloadService::onFetched()
{
    auto *repository = qobject_cast<Repository *>(sender());
    if (!repository) {
        setStatus(castError());
        return;
    }
    emit updated();

    // The options page saves its own copy: its interval and removals count from the next check.
    reloadSettings();
    if (m_settings.updatesCheckTimeoutDays == 0) {
        qCDebug(serviceLog) << "Automatic updates disabled";
        return;
    }
    const QString name = m_settings.repositoryName(repository->url());
    const QDate lastCheck = m_settings.updatesCheckedDate.value(name);
    const QDate today = QDate::currentDate();
    if (!UpdateCheck::isDue(lastCheck, m_settings.updatesCheckTimeoutDays, today))
        return;

    const Repository::Examples examples = repository->examples();
    qCDebug(serviceLog) << "Updating examples:" << examples.size();
    recordCheck(name, today);
    if (name.isEmpty()) {
        setStatus(tr("Skip downloading examples - unable to find repository for url: %1")
                      .arg(repository->url().toString()));
        return;
    }

    const QSet<QString> removed = m_settings.repositories.value(name).removedExamples;
    QSet<QString> paths;
    for (const Repository::ExamplePtr &example : examples) {
        const QString path = pathOf(example);
        const bool wanted = !removed.contains(path)
                            && UpdateCheck::needsDownload(example->lastActivity(), lastCheck,
                                                          QDir(exampleFolder(name, path)).exists());
        if (wanted)
            paths.insert(path);
        else
            qCDebug(serviceLog) << "Skip example:" << nameOf(example);
    }
    repository->download(paths);
}

void DownloadService::reloadSettings()
{
    Settings fresh;
    fresh.load(Core::ICore::settings());
    // A date recorded here outlives an older one that another copy saved meanwhile.
    const QHash<QString, QDate> &recorded = m_settings.updatesCheckedDate;
    for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
        const QDate stored = fresh.updatesCheckedDate.value(it.key());
        if (it.value().isValid() && (!stored.isValid() || stored < it.value()))
            fresh.updatesCheckedDate.insert(it.key(), it.value());
    }
    m_settings = fresh;
}

void DownloadService::recordCheck(const QString &repositoryName, const QDate &date)
{
    // m_settings was read from the store at the start of this check, so its dates are what is
    // stored now (plus later ones remembered here). Only the dates are written, so that the other
    // keys saved by the options page are never undone.
    m_settings.updatesCheckedDate.insert(repositoryName, date);
    m_settings.saveCheckedDates(Core::ICore::settings());
}

void DownloadService::onDownloaded(Repository::ExamplePtr example)
{
    if (!example)
        return;
    auto *repository = qobject_cast<Repository *>(sender());
    const QString path = pathOf(example);
    // The repository keeps the path busy until its installation has ended, however it ends.
    const auto release = [repository, &path] {
        if (repository)
            repository->release(path);
    };

    // The record does not keep the bytes once they are here: the repository's list must not hold
    // every archive of the session in memory.
    const QByteArray bytes = example->archive();
    example->setArchive(QByteArray());
    if (bytes.isEmpty()) {
        setStatus(tr("The data is not downloaded for example: %1").arg(nameOf(example)));
        release();
        return;
    }
    if (!repository) {
        setStatus(castError());
        return;
    }
    const QString name = m_settings.repositoryName(repository->url());
    if (name.isEmpty()) {
        setStatus(tr("Skip saving example %1 - unable to find repository name for url: %2")
                      .arg(nameOf(example), repository->url().toString()));
        release();
        return;
    }
    if (!Settings::isSafeName(name) || !Example::isSafePath(path)) {
        setStatus(tr("Skip saving example %1 - unusable folder name: %2")
                      .arg(nameOf(example), Settings::isSafeName(name) ? path : name));
        release();
        return;
    }

    setStatus(tr("Unpacking example: %1").arg(nameOf(example)));
    // An unusable temporary folder reads as empty: the file would land in the root folder.
    const QString temporaryFolder = QDir::tempPath();
    QTemporaryFile temporaryFile(QStringLiteral("%1%2%3-XXXXXX%4")
                                     .arg(temporaryFolder, QString(QDir::separator()), path,
                                          QStringLiteral(".tar.gz")));
    if (!temporaryFolder.isEmpty() && temporaryFile.open()) {
        temporaryFile.write(bytes);
        temporaryFile.flush();
        temporaryFile.close();
    }
    qCDebug(serviceLog) << "Saved temp file:" << temporaryFile.fileName();

    Utils::Archive *archive
        = Utils::Archive::unarchive(Utils::FilePath::fromString(temporaryFile.fileName()),
                                    Utils::FilePath::fromString(exampleFolder(name, QString())));
    if (!archive) {
        setStatus(tr("Downloaded file is not an archive"));
        release();
        return;
    }
    archive->setParent(this);
    temporaryFile.setAutoRemove(false);
    m_unpacking.insert(archive, temporaryFile.fileName());
    connect(archive, &Utils::Archive::outputReceived, this, [](const QString &output) {
        qCDebug(archiveLog) << "Unpacking output:" << output;
    });
    const QPointer<Repository> origin(repository);
    connect(archive, &Utils::Archive::finished, this,
            [this, archive, name, example, origin](bool success) {
                onUnpacked(archive, name, example, origin, success);
            });
}

void DownloadService::onUnpacked(Utils::Archive *archive, const QString &repositoryName,
                                 const Repository::ExamplePtr &example,
                                 const QPointer<Repository> &origin, bool success)
{
    QFile::remove(m_unpacking.take(archive));
    if (success)
        registerExample(repositoryName, example);
    else
        setStatus(tr("There was an error while unarchiving"));
    archive->deleteLater();
    if (origin)
        origin->release(pathOf(example));
}

void DownloadService::registerExample(const QString &repositoryName,
                                      const Repository::ExamplePtr &example)
{
    const QString path = pathOf(example);
    const QSharedPointer<Repository> found = repository(repositoryName);
    if (!found) {
        setStatus(tr("Skip registering example %1 - unable to find repository for name: %2")
                      .arg(nameOf(example), repositoryName));
        return;
    }

    const PathGuard guard(repositoryName);
    const QString installed = exampleFolder(repositoryName, path);
    const QStringList folders = findUnpackedFolders(repositoryName, path, found->examples());
    // True once the folder carrying the path holds the newly unpacked version.
    bool fresh = false;
    if (!folders.isEmpty()) {
        for (int i = 0; i < folders.size() - 1; ++i) {
            if (!discardInstalled(guard, exampleFolder(repositoryName, folders.at(i)), path))
                return;
        }
        fresh = folders.last() != path
                && guard.rename(exampleFolder(repositoryName, folders.last()), installed);
    }

    // Without a new version in place, a manifest written now would hide the user's changes. A
    // folder without a manifest (unpacked under the path itself) has none to hide and gets one.
    if (!fresh && InstalledFolders::hasManifest(installed)
        && InstalledFolders::isModified(installed)) {
        qCDebug(serviceLog) << "Keeping modified example as it is:" << installed;
    } else if (!createManifest(repositoryName, example)) {
        guard.removeFolder(installed);
        setStatus(tr("There was an error while creating example mainfest"));
    }
    emit updated();
    emit Core::HelpManager::Signals::instance()->documentationChanged();
}

// Deletes an older folder of the example, except that the installed version is kept as a backup
// when the user changed it. False when that backup could not be made.
bool DownloadService::discardInstalled(const PathGuard &guard, const QString &folder,
                                       const QString &path)
{
    if (QFileInfo(folder).fileName() != path || !InstalledFolders::isModified(folder)) {
        guard.removeFolder(folder);
        return true;
    }
    QDir().mkpath(guard.backupFolder());
    const QString base = guard.backupFolder() + QDir::separator()
                         + InstalledFolders::backupName(path, QDateTime::currentDateTime());
    QString backup = base;
    for (int n = 2; QFileInfo::exists(backup); ++n)
        backup = base + QLatin1Char('-') + QString::number(n);
    if (!guard.rename(folder, backup)) {
        setStatus(tr("Example %1 was modified and could not be kept as a backup, so it was not updated")
                      .arg(path));
        return false;
    }
    setStatus(tr("Example %1 was modified; the previous version was kept in: %2")
                  .arg(path, QDir::toNativeSeparators(backup)));
    return true;
}

bool DownloadService::createManifest(const QString &repositoryName,
                                     const Repository::ExamplePtr &example)
{
    return ManifestWriter::createManifest(repositoryName, example);
}

QStringList DownloadService::findUnpackedFolders(const QString &repositoryName, const QString &path,
                                                 const Repository::Examples &examples) const
{
    return InstalledFolders::findUnpacked(exampleFolder(repositoryName, QString()), path, examples);
}

} // namespace Internal
} // namespace Vantor
