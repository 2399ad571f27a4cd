#include "downloadservice.h"

#include "exampleinstallation.h"
#include "updatecheck.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "repository/example.h"

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QCoreApplication>
#include <QDir>
#include <QPointer>
#include <QScopeGuard>

#include <algorithm>
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
        if (Settings::isSafeName(it.key()))
            ExampleInstallation::removeLeftovers(it.key());
        const auto repository = QSharedPointer<Repository>::create(it->url, this);
        m_repositories.append(repository);
        connect(repository.data(), &Repository::downloaded, this, &DownloadService::onDownloaded);
        connect(repository.data(), &Repository::fetched, this, &DownloadService::onFetched);
        // The clients' texts too; this service clears the text itself once it has nothing to do.
        connect(repository.data(), &Repository::statusChanged, this, [this](const QString &status) {
            if (!status.isEmpty())
                emit statusChanged(status);
        });
    }
    connect(&m_timer, &QTimer::timeout, &m_timer, [this] { checkClients(); }, Qt::DirectConnection);
    m_notifyTimer.setSingleShot(true);
    m_notifyTimer.setInterval(NotifyIntervalMs);
    connect(&m_notifyTimer, &QTimer::timeout, this, [this] {
        emit updated();
        emit Core::HelpManager::Signals::instance()->documentationChanged();
    });
    // Beyond what the timer can hold, the interval is the longest it can. Below a second, the
    // ticks would keep the GUI thread busy restarting clients.
    const qint64 interval = qint64(qMax(m_settings.serviceRestartTimeoutSeconds, 1u)) * 1000;
    m_timer.start(int(qMin<qint64>(interval, std::numeric_limits<int>::max())));
}

DownloadService::~DownloadService() = default;

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
    QSet<QString> listed;
    for (const Repository::ExamplePtr &example : found->examples())
        listed.insert(example->path());
    setPending(repositoryName, m_settings.updatesPendingExamples.value(repositoryName) + (paths & listed));
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
    if (!status.isEmpty()) {
        qCDebug(serviceLog) << "Status:" << status;
        m_reported = true;
    }
    emit statusChanged(status);
}

void DownloadService::checkClients()
{
    const QList<QSharedPointer<Repository>> repositories = m_repositories;
    bool allReady = true;
    for (const QSharedPointer<Repository> &repository : repositories) {
        if (repository->isReady()) {
            retryPending(repository.data());
            continue;
        }
        allReady = false;
        // A search under way ends by itself, successfully or not; restarting it would only
        // start it again.
        if (repository->isSearching())
            continue;
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
    const auto clear = qScopeGuard([this] { clearStatusWhenIdle(); });
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
    const bool due = UpdateCheck::isDue(lastCheck, m_settings.updatesCheckTimeoutDays, today);
    const Repository::Examples examples = repository->examples();
    if (due) {
        qCDebug(serviceLog) << "Updating examples:" << examples.size();
        recordCheck(name, today);
    }
    if (name.isEmpty()) {
        if (due)
            setStatus(tr("Skip downloading examples - unable to find repository for url: %1")
                          .arg(repository->url().toString()));
        return;
    }

    // Failed downloads and installations are tried again whether the repository is due or not.
    QSet<QString> paths = pendingPaths(name, *repository);
    const QSet<QString> removed = m_settings.repositories.value(name).removedExamples;
    for (const Repository::ExamplePtr &example : examples) {
        const QString path = example->path();
        if (!due || paths.contains(path))
            continue;
        const bool wanted = !removed.contains(path)
                            && UpdateCheck::needsDownload(example->lastActivity(), lastCheck,
                                                          QDir(exampleFolder(name, path)).exists());
        if (wanted)
            paths.insert(path);
        else
            qCDebug(serviceLog) << "Skip example:" << example->name();
    }
    // Examples removed meanwhile or gone from the server are no longer waited for.
    setPending(name, paths);
    repository->download(paths);
}

QSet<QString> DownloadService::pendingPaths(const QString &repositoryName, const Repository &repository) const
{
    const QSet<QString> removed = m_settings.repositories.value(repositoryName).removedExamples;
    const QSet<QString> started = m_settings.updatesPendingExamples.value(repositoryName);
    QSet<QString> paths;
    for (const Repository::ExamplePtr &example : repository.examples()) {
        const QString path = example->path();
        if (!removed.contains(path)
            && (started.contains(path) || !QDir(exampleFolder(repositoryName, path)).exists()))
            paths.insert(path);
    }
    return paths;
}

void DownloadService::retryPending(Repository *repository)
{
    reloadSettings();
    const QString name = m_settings.repositoryName(repository->url());
    if (m_settings.updatesCheckTimeoutDays == 0 || name.isEmpty())
        return;
    // Once per session: a timer that keeps ticking for another repository must not make a loop
    // of a permanently failing example.
    QSet<QString> &retried = m_retriedOnTick[name];
    QSet<QString> paths = pendingPaths(name, *repository) - retried;
    for (auto it = paths.begin(); it != paths.end();)
        it = repository->isBusy(*it) ? paths.erase(it) : std::next(it);
    retried += paths;
    setPending(name, m_settings.updatesPendingExamples.value(name) + paths);
    repository->download(paths);
}

// Only the service writes the pending examples, so its copy is what is stored.
void DownloadService::setPending(const QString &repositoryName, const QSet<QString> &paths)
{
    if (m_settings.updatesPendingExamples.value(repositoryName) == paths)
        return;
    if (paths.isEmpty())
        m_settings.updatesPendingExamples.remove(repositoryName);
    else
        m_settings.updatesPendingExamples.insert(repositoryName, paths);
    m_settings.savePendingExamples(Core::ICore::settings());
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
    fresh.updatesPendingExamples = m_settings.updatesPendingExamples;
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
    const QString path = example->path();
    // The repository keeps the path busy until its installation has ended, however it ends.
    const QPointer<Repository> origin(repository);
    const auto release = [origin, path] {
        if (origin)
            origin->release(path);
    };

    // The record does not keep the bytes once they are here: the repository's list must not hold
    // every archive of the session in memory.
    const QByteArray bytes = example->archive();
    example->setArchive(QByteArray());
    if (bytes.isEmpty()) {
        setStatus(tr("The data is not downloaded for example: %1").arg(example->name()));
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
                      .arg(example->name(), repository->url().toString()));
        release();
        return;
    }
    if (!Settings::isSafeName(name) || !Example::isSafePath(path)
        || ExampleInstallation::isReservedName(path)) {
        setStatus(tr("Skip saving example %1 - unusable folder name: %2")
                      .arg(example->name(), Settings::isSafeName(name) ? path : name));
        release();
        return;
    }

    // Removed by the user while it was downloading or unpacking: not installed after all.
    const QString removed = tr("Example %1 was removed, so it is not installed").arg(example->name());
    if (isRemovedNow(name, path)) {
        setStatus(removed);
        release();
        clearStatusWhenIdle();
        return;
    }

    auto *installation = new ExampleInstallation(name, path, example, this);
    installation->setRegistrationCheck([this, name, path, example, removed] {
        if (!this->repository(name))
            return tr("Skip registering example %1 - unable to find repository for name: %2")
                .arg(example->name(), name);
        return isRemovedNow(name, path) ? removed : QString();
    });
    const QString unpacking = tr("Unpacking example: %1").arg(example->name());
    connect(installation, &ExampleInstallation::statusChanged, this, [this, unpacking](const QString &status) {
        // Progress, not a problem to keep on show.
        const bool reported = m_reported;
        setStatus(status);
        if (status == unpacking)
            m_reported = reported;
    });
    connect(installation, &ExampleInstallation::finished, this,
            [this, installation, release, name, path](bool installed) {
        installation->deleteLater();
        release();
        // A failed one stays pending and is tried again.
        if (installed) {
            QSet<QString> pending = m_settings.updatesPendingExamples.value(name);
            pending.remove(path);
            setPending(name, pending);
        }
        if (installation->hasRegistered())
            notifyChanged();
        clearStatusWhenIdle();
    });
    installation->start(bytes);
}

// The user may remove an example while it is still downloading or unpacking; what is stored now
// counts, not the copy read when the download was chosen.
bool DownloadService::isRemovedNow(const QString &repositoryName, const QString &path) const
{
    Settings stored;
    stored.load(Core::ICore::settings());
    return stored.repositories.value(repositoryName).removedExamples.contains(path);
}

bool DownloadService::isIdle() const
{
    return std::none_of(m_repositories.cbegin(), m_repositories.cend(),
                        [](const QSharedPointer<Repository> &repository) { return repository->isBusy(); });
}

// Once nothing is left to do, the progress text goes; a problem reported meanwhile stays.
void DownloadService::clearStatusWhenIdle()
{
    if (!isIdle())
        return;
    if (!m_reported)
        setStatus(QString());
    m_reported = false;
}

// Installations that end while an announcement is pending join it.
void DownloadService::notifyChanged()
{
    if (!m_notifyTimer.isActive())
        m_notifyTimer.start();
}

} // namespace Internal
} // namespace Vantor
