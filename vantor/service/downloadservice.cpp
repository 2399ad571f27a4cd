#include "downloadservice.h"

#include "backgroundwork.h"
#include "exampleinstallation.h"
#include "manifestwriter.h"
#include "pathguard.h"
#include "updatecheck.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "repository/example.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

#include <algorithm>
#include <limits>
#include <utility>

namespace Vantor {
namespace Internal {

namespace {

// A timer holds at most this many milliseconds.
constexpr qint64 MaximumTimerMs = std::numeric_limits<int>::max();

QString exampleFolder(const QString &repositoryName, const QString &path)
{
    return examplePathTemplate().arg(repositoryName, path);
}

// Removed by the user while it was downloading or unpacking: not installed after all.
Problem removedOnItsWay(const Repository::ExamplePtr &example)
{
    return Problem(Problem::NotInstalled,
                   DownloadService::tr("Example %1 was removed, so it is not installed").arg(example->name()));
}

const char *stateName(ExampleState::State state)
{
    static const char *const names[] = {"available", "installed", "update available", "queued",
                                        "downloading", "installing", "failed", "removed"};
    return names[state];
}

} // namespace

DownloadService::DownloadService(const Settings &settings, QSettings *store, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_background(std::make_unique<BackgroundWork>())
    , m_store(store)
{
    Repository::registerMetaTypes();
    for (auto it = m_settings.repositories.cbegin(); it != m_settings.repositories.cend(); ++it) {
        const QString &name = it.key();
        if (Settings::isSafeName(name))
            ExampleInstallation::removeLeftovers(name);
        const auto repository = QSharedPointer<Repository>::create(
            name, it->url, this, it->hasToken ? Repository::Start::WithToken : Repository::Start::Now);
        m_repositories.append(repository);
        connectRepository(repository.data());
        if (it->hasToken)
            readToken(name);
        scanInstalled(name);
        for (const QString &path : m_settings.failedExamples.value(name).keys())
            settle(name, path);
        for (const QString &path : it->removedExamples)
            settle(name, path);
    }

    connect(&m_statusLine, &StatusLine::changed, this, &DownloadService::statusChanged);
    connect(&m_timer, &QTimer::timeout, &m_timer, [this] { checkClients(); }, Qt::DirectConnection);
    m_notifyTimer.setSingleShot(true);
    m_notifyTimer.setInterval(NotifyIntervalMs);
    connect(&m_notifyTimer, &QTimer::timeout, this, [this] {
        m_sinceNotified.start();
        m_lastAnnounced = std::exchange(m_unannounced, 0);
        emit documentationChanged();
    });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &DownloadService::retryFailed);
    // The bookkeeping of a burst of installations is saved together: the settings file is written
    // whole, and a thousand writes would hold the GUI thread.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(SaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &DownloadService::save);
    // As the IDE's own update checker: coarse, since a check falls due by the day.
    m_dueTimer.setInterval(DueCheckIntervalMs);
    connect(&m_dueTimer, &QTimer::timeout, this, [this] { checkDue(); });
    m_dueTimer.start();
    if (QCoreApplication::instance()) {
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
            if (m_saveTimer.isActive())
                save();
        });
    }
    // Beyond what the timer can hold, the interval is the longest it can. Below a second, the
    // ticks would keep the GUI thread busy restarting clients.
    const qint64 interval = qint64(qMax(m_settings.serviceRestartTimeoutSeconds, 1u)) * 1000;
    m_timer.start(int(qMin(interval, MaximumTimerMs)));
}

void DownloadService::connectRepository(Repository *repository)
{
    const QString name = repository->name();
    connect(repository, &Repository::fetched, this, [this, repository] { onFetched(repository); });
    connect(repository, &Repository::pictureArrived, this, [this, name](const Repository::ExamplePtr &example) {
        emit stateChanged(name, example->path());
    });
    connect(repository, &Repository::downloaded, this,
            [this, repository](const Repository::ExamplePtr &example) { onDownloaded(repository, example); });
    connect(repository, &Repository::downloadFailed, this,
            [this, name](const Repository::ExamplePtr &example, const Problem &problem) {
                discardInstallation(name, example->path());
                fail(name, example->path(), problem);
            });
    connect(repository, &Repository::downloadProgress, this,
            [this, name](const Repository::ExamplePtr &example, qint64 received, qint64 total) {
                const ExampleState current = state(name, example->path());
                if (!current.isBusy())
                    return;
                if (current.state != ExampleState::Downloading)
                    setProgress(tr("Downloading example: %1").arg(example->name()));
                setState(name, example->path(), ExampleState::Downloading, [received, total](ExampleState &s) {
                    s.bytes = received;
                    s.total = total;
                });
            });
    connect(repository, &Repository::problemOccurred, this, [this, repository](const Problem &problem) {
        if (!problem.isFailure()) {
            report(problem);
            return;
        }
        m_forced.remove(repository->name());
        setRepositoryState(*repository, RepositoryState::Failed, problem);
    });
}

// Saves nothing: what is pending was saved when the application was about to quit, and at the
// library's unloading the host's settings may be gone already.
DownloadService::~DownloadService()
{
    // Also those past their download, which the table no longer holds. Their staging folders go
    // in the background: nothing of them is left once the engine is gone.
    m_installations.clear();
    qDeleteAll(findChildren<ExampleInstallation *>(QString(), Qt::FindDirectChildrenOnly));
    m_background->waitForDone();
}

Repository::Examples DownloadService::examples(const QString &repositoryName) const
{
    const QSharedPointer<Repository> found = repository(repositoryName);
    return found ? found->examples() : Repository::Examples();
}

QMap<QString, ExampleState> DownloadService::states(const QString &repositoryName) const
{
    return m_states.value(repositoryName);
}

ExampleState DownloadService::state(const QString &repositoryName, const QString &path) const
{
    return m_states.value(repositoryName).value(path);
}

RepositoryState DownloadService::repositoryState(const QString &repositoryName) const
{
    return m_repositoryStates.value(repositoryName);
}

bool DownloadService::isBusy() const
{
    return m_busy > 0;
}

QSharedPointer<Repository> DownloadService::repository(const QString &name) const
{
    for (const QSharedPointer<Repository> &repository : m_repositories) {
        if (repository->name() == name)
            return repository;
    }
    return {};
}

void DownloadService::applyChanges(const QString &repositoryName, const QSet<QString> &install,
                                   const QSet<QString> &remove)
{
    dismissProblem();
    const QSharedPointer<Repository> found = repository(repositoryName);
    if (!found) {
        report(Problem(Problem::RepositoryError,
                       tr("Skip downloading examples - unable to find repository for name: %1").arg(repositoryName)));
        return;
    }
    RepositorySettings &settings = m_settings.repositories[repositoryName];
    const PathGuard guard(repositoryName);
    for (const QString &path : remove) {
        // Only the folder the user saw, and only inside the repository folder (not its backups).
        const QString folder = state(repositoryName, path).folder;
        if (PathGuard::isBelow(folder, {guard.repositoryFolder()}))
            guard.removeFolder(folder);
        else if (!folder.isEmpty())
            qCWarning(serviceLog) << "Not deleting a folder outside the repository folder:" << folder;
        settings.removedExamples.insert(path);
        m_settings.failedExamples[repositoryName].remove(path);
        const Edit forget = [](ExampleState &s) { s.folder.clear(); };
        // One on its way settles once it arrives, and is then not installed.
        if (state(repositoryName, path).isBusy())
            setState(repositoryName, path, state(repositoryName, path).state, forget);
        else
            settle(repositoryName, path, forget);
    }
    for (const QString &path : install) {
        settings.removedExamples.remove(path);
        // Added again by the user: whatever failed before is tried again now.
        m_settings.failedExamples[repositoryName].remove(path);
    }
    save();
    queue(*found, install, true);
    emit documentationChanged();
}

void DownloadService::fetchPictures(const QString &repositoryName)
{
    if (const QSharedPointer<Repository> found = repository(repositoryName))
        found->fetchPictures();
}

void DownloadService::setUpdateInterval(quint32 days)
{
    if (m_settings.updatesCheckTimeoutDays == days)
        return;
    m_settings.updatesCheckTimeoutDays = days;
    save();
}

void DownloadService::setToken(const QString &repositoryName, const QString &token)
{
    if (!repository(repositoryName))
        return;
    const QString key = TokenStore::key(repositoryName, m_settings.repositories.value(repositoryName).url);
    m_tokens.write(key, token, [this, repositoryName, token](TokenStore::Result result, const QString &error) {
        const QSharedPointer<Repository> found = repository(repositoryName);
        if (!found)
            return;
        if (result != TokenStore::Done) {
            setAccess(repositoryName, RepositoryState::NoKeychain, error);
            return;
        }
        m_settings.repositories[repositoryName].hasToken = !token.isEmpty();
        save();
        setAccess(repositoryName, token.isEmpty() ? RepositoryState::Public : RepositoryState::WithToken);
        setRepositoryState(*found, RepositoryState::Connecting);
        found->setToken(token.toUtf8());
        // The restart check may have stopped once every client was ready.
        if (!m_timer.isActive())
            m_timer.start();
    });
}

// The client waits for the token: a repository whose token is in the keychain is never searched
// without it, and one whose keychain does not answer is searched as a public one.
void DownloadService::readToken(const QString &repositoryName)
{
    const QString key = TokenStore::key(repositoryName, m_settings.repositories.value(repositoryName).url);
    m_tokens.read(key, [this, repositoryName](TokenStore::Result result, const QString &tokenOrError) {
        const QSharedPointer<Repository> found = repository(repositoryName);
        if (!found)
            return;
        found->setToken(result == TokenStore::Done ? tokenOrError.toUtf8() : QByteArray());
        if (result == TokenStore::Unavailable)
            setAccess(repositoryName, RepositoryState::NoKeychain, tokenOrError);
        else
            setAccess(repositoryName, result == TokenStore::Done ? RepositoryState::WithToken : RepositoryState::Public);
    });
}

void DownloadService::setAccess(const QString &repositoryName, RepositoryState::Access access,
                                const QString &keychainError)
{
    m_repositoryStates[repositoryName].access = access;
    if (access == RepositoryState::NoKeychain) {
        report(Problem(Problem::NoKeychain, tr("No keychain service answers (%1): repository %2 is used without "
                                               "an access token.")
                                                .arg(keychainError, repositoryName)));
    }
    emit stateChanged(repositoryName, QString());
}

void DownloadService::rescan()
{
    bool changed = false;
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories))
        changed = scanInstalled(repository->name()) || changed;
    if (changed)
        emit documentationChanged();
}

void DownloadService::dismissProblem()
{
    m_statusLine.dismiss(isBusy());
}

void DownloadService::checkClients()
{
    bool allReady = true;
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        // A search under way ends by itself, successfully or not; restarting it would only start it again.
        if (repository->isReady() || repository->isSearching()) {
            allReady = allReady && repository->isReady();
            continue;
        }
        allReady = false;
        qCDebug(serviceLog).noquote() << QStringLiteral("%1 (%2)").arg(tr("API client is not ready - restarting"),
                                                                    repository->url().toString());
        setRepositoryState(*repository, RepositoryState::Connecting);
        repository->restart();
    }
    if (allReady)
        m_timer.stop();
}

void DownloadService::onFetched(Repository *repository)
{
    const QString name = repository->name();
    setRepositoryState(*repository, RepositoryState::Ready);
    const Repository::Examples examples = repository->examples();
    for (const Repository::ExamplePtr &example : examples) {
        const QString path = example->path();
        if (state(name, path).isBusy())
            continue;
        settle(name, path, [&example](ExampleState &s) {
            s.name = example->name();
            s.description = example->json().value(QLatin1String("description")).toString();
            s.activity = example->lastActivity();
        });
    }

    const bool atStart = !m_fetchedOnce.contains(name);
    m_fetchedOnce.insert(name);
    const bool forced = m_forced.remove(name);
    if (m_settings.updatesCheckTimeoutDays == 0 && !forced) {
        qCDebug(serviceLog) << "Automatic updates disabled";
        return;
    }
    // Examples whose last attempt failed are tried again whether the repository is due or not.
    QSet<QString> paths = retryPaths(*repository, atStart);
    const QDate lastCheck = m_settings.updatesCheckedDate.value(name);
    const QDate today = QDate::currentDate();
    if (forced || UpdateCheck::isDue(lastCheck, m_settings.updatesCheckTimeoutDays, today)) {
        qCDebug(serviceLog) << "Updating examples:" << examples.size();
        m_settings.updatesCheckedDate.insert(name, today);
        save();
        const QSet<QString> removed = m_settings.repositories.value(name).removedExamples;
        const QHash<QString, ExampleFailure> failed = m_settings.failedExamples.value(name);
        for (const Repository::ExamplePtr &example : examples) {
            const QString path = example->path();
            // A failed example waits for its retry; a removed one for the user.
            // Asked for by the user, what the page shows as an update is one.
            const bool update = forced && state(name, path).state == ExampleState::UpdateAvailable;
            const bool wanted = !removed.contains(path) && !failed.contains(path)
                                && (update || UpdateCheck::needsDownload(example->lastActivity(), lastCheck,
                                                                         QDir(exampleFolder(name, path)).exists()));
            if (wanted)
                paths.insert(path);
            else
                qCDebug(serviceLog) << "Skip example:" << example->name();
        }
    }
    queue(*repository, paths, false);
    scheduleRetry();
}

// The failed examples of the repository that may be tried again now. Failures of examples that are
// gone from the server or were removed are forgotten.
QSet<QString> DownloadService::retryPaths(const Repository &repository, bool atStart)
{
    const QString name = repository.name();
    QHash<QString, ExampleFailure> &failed = m_settings.failedExamples[name];
    const QSet<QString> removed = m_settings.repositories.value(name).removedExamples;
    const QDateTime now = QDateTime::currentDateTime();
    QSet<QString> paths;
    for (auto it = failed.begin(); it != failed.end();) {
        const Repository::Examples examples = repository.examples();
        const auto example = std::find_if(examples.cbegin(), examples.cend(),
                                          [&it](const Repository::ExamplePtr &e) { return e->path() == it.key(); });
        if (example == examples.cend() || removed.contains(it.key())) {
            const QString path = it.key();
            it = failed.erase(it);
            saveSoon();
            settle(name, path);
            continue;
        }
        if (UpdateCheck::shouldRetry(*it, (*example)->lastActivity(), now, atStart))
            paths.insert(it.key());
        ++it;
    }
    return paths;
}

void DownloadService::retryFailed()
{
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        if (repository->isReady() && m_fetchedOnce.contains(repository->name())
            && m_settings.updatesCheckTimeoutDays != 0)
            queue(*repository, retryPaths(*repository, false), false);
    }
    scheduleRetry();
}

// Each attempt is recorded before it starts, as an interrupted one: if the IDE ends before it does,
// the next start tries it again.
void DownloadService::queue(Repository &repository, const QSet<QString> &paths, bool byUser)
{
    const QString name = repository.name();
    const QDateTime now = QDateTime::currentDateTime();
    QSet<QString> queued;
    for (const Repository::ExamplePtr &example : repository.examples()) {
        const QString path = example->path();
        if (!paths.contains(path) || state(name, path).isBusy() || queued.contains(path))
            continue;
        ExampleFailure &failure = m_settings.failedExamples[name][path];
        failure = UpdateCheck::attempt(byUser ? ExampleFailure() : failure, Problem::Interrupted,
                                       example->lastActivity(), now);
        queued.insert(path);
    }
    if (queued.isEmpty())
        return;
    if (byUser)
        m_work.setByUser();
    saveSoon();
    startQueued(name, queued);
}

// Sets up the installations of a slice of the queued paths, in the repository's order, and hands
// them to the downloads; the rest follow in the next turn of the event loop.
void DownloadService::startQueued(const QString &repositoryName, QSet<QString> paths)
{
    const QSharedPointer<Repository> found = repository(repositoryName);
    if (!found)
        return;
    const QHash<QString, ExampleFailure> attempts = m_settings.failedExamples.value(repositoryName);
    QSet<QString> selection;
    for (const Repository::ExamplePtr &example : found->examples()) {
        if (selection.size() == QueueSlice)
            break;
        const QString path = example->path();
        if (!paths.remove(path))
            continue;
        // Since it was queued, the user may have removed it (which drops its attempt), or it started otherwise.
        if (state(repositoryName, path).isBusy() || !attempts.contains(path))
            continue;
        if (!prepareInstallation(repositoryName, example))
            continue;
        selection.insert(path);
        setState(repositoryName, path, ExampleState::Queued, [](ExampleState &s) {
            s.bytes = 0;
            s.total = -1;
        });
    }
    found->download(selection);
    if (selection.size() == QueueSlice && !paths.isEmpty())
        QTimer::singleShot(0, this, [this, repositoryName, paths] { startQueued(repositoryName, paths); });
}

ExampleInstallation *DownloadService::prepareInstallation(const QString &repositoryName,
                                                          const Repository::ExamplePtr &example)
{
    const QString &name = repositoryName;
    const QString path = example->path();
    if (!Settings::isSafeName(name) || !Example::isSafePath(path) || ExampleInstallation::isReservedName(path)) {
        fail(name, path, Problem(Problem::Refused, tr("Skip saving example %1 - unusable folder name: %2")
                                                       .arg(example->name(), Settings::isSafeName(name) ? path : name)));
        return nullptr;
    }
    discardInstallation(name, path);
    auto *installation = new ExampleInstallation(name, path, example, m_background.get(), this);
    installation->setRegistrationCheck([this, name, path, removed = removedOnItsWay(example)] {
        return m_settings.repositories.value(name).removedExamples.contains(path) ? removed : Problem();
    });
    connect(installation, &ExampleInstallation::statusChanged, this, &DownloadService::setProgress);
    connect(installation, &ExampleInstallation::noticed, this, &DownloadService::report);
    connect(installation, &ExampleInstallation::finished, this, [this, installation, name, path](bool installed) {
        installation->deleteLater();
        onInstalled(name, path, installed ? Problem() : installation->problem(), installation->hasRegistered());
    });
    // Made while the download waits for its turn; one that cannot be made fails the download.
    example->setArchiveFile(installation->prepareStaging());
    m_installations.insert({name, path}, installation);
    return installation;
}

void DownloadService::discardInstallation(const QString &repositoryName, const QString &path)
{
    delete m_installations.take({repositoryName, path}); // with its staging folder
}

void DownloadService::onDownloaded(Repository *repository, const Repository::ExamplePtr &example)
{
    const QString name = repository->name();
    const QString path = example->path();
    ExampleInstallation *installation = m_installations.take({name, path});
    if (!installation) {
        qCDebug(serviceLog) << "Downloaded without an installation under way:" << name << path;
        return;
    }
    if (m_settings.repositories.value(name).removedExamples.contains(path)) {
        delete installation;
        onInstalled(name, path, removedOnItsWay(example), false);
        return;
    }
    setState(name, path, ExampleState::Installing);
    installation->start();
}

void DownloadService::onInstalled(const QString &repositoryName, const QString &path, const Problem &problem,
                                  bool registered)
{
    const bool removed = m_settings.repositories.value(repositoryName).removedExamples.contains(path);
    if (problem.isFailure() && !removed) {
        if (registered)
            scanInstalled(repositoryName);
        fail(repositoryName, path, problem);
    } else {
        if (!problem.isNull())
            report(problem);
        m_settings.failedExamples[repositoryName].remove(path);
        saveSoon();
        const QFileInfo manifest(exampleFolder(repositoryName, path) + QLatin1Char('/') + ManifestWriter::manifestFileName());
        settle(repositoryName, path, [&manifest, registered](ExampleState &s) {
            s.problem = Problem();
            if (!registered)
                return;
            s.folder = manifest.isFile() ? manifest.dir().canonicalPath() : QString();
            s.installed = manifest.lastModified();
        });
    }
    if (registered)
        notifyChanged();
}

void DownloadService::fail(const QString &repositoryName, const QString &path, const Problem &problem)
{
    ExampleFailure &failure = m_settings.failedExamples[repositoryName][path];
    if (!failure.at.isValid())
        failure = UpdateCheck::attempt(failure, problem.kind(), state(repositoryName, path).activity,
                                       QDateTime::currentDateTime());
    failure.kind = Problem::kindName(problem.kind());
    saveSoon();
    setState(repositoryName, path, ExampleState::Failed, [&](ExampleState &s) {
        s.problem = problem;
        s.attempts = failure.attempts;
        s.failedAt = failure.at;
    });
    report(problem);
    scheduleRetry();
}

void DownloadService::setState(const QString &repositoryName, const QString &path, ExampleState::State state,
                               const Edit &edit)
{
    ExampleState &record = m_states[repositoryName][path];
    const ExampleState before = record;
    record.state = state;
    if (record.name.isEmpty())
        record.name = path;
    if (edit)
        edit(record);
    if (before.state != state)
        qCDebug(serviceLog) << "Example" << repositoryName << path << stateName(before.state) << "->" << stateName(state);
    const ExampleState after = record;
    m_busy += int(after.isBusy()) - int(before.isBusy());
    emit stateChanged(repositoryName, path);
    countWork(repositoryName, path, before, after);
    m_statusLine.update(isBusy());
}

void DownloadService::settle(const QString &repositoryName, const QString &path, const Edit &edit)
{
    ExampleState record = state(repositoryName, path);
    if (edit)
        edit(record);
    ExampleState::State resting = ExampleState::Available;
    const QHash<QString, ExampleFailure> *failures = nullptr;
    const auto repositoryFailures = m_settings.failedExamples.constFind(repositoryName);
    if (repositoryFailures != m_settings.failedExamples.cend())
        failures = &*repositoryFailures;
    const auto failure = failures ? failures->constFind(path) : QHash<QString, ExampleFailure>::const_iterator();
    if (failures && failure != failures->cend()) {
        resting = ExampleState::Failed;
        if (record.problem.isNull())
            record.problem = Problem(Problem::kindFromName(failure->kind),
                                     tr("The last attempt to install example %1 failed.").arg(record.name.isEmpty() ? path : record.name));
        record.attempts = failure->attempts;
        record.failedAt = failure->at;
    } else if (record.isInstalled()) {
        resting = record.installed.secsTo(record.activity) > 0 ? ExampleState::UpdateAvailable
                                                               : ExampleState::Installed;
    } else if (m_settings.repositories.value(repositoryName).removedExamples.contains(path)) {
        resting = ExampleState::Removed;
    }
    record.state = resting;
    setState(repositoryName, path, resting, [&record](ExampleState &s) { s = record; });
}

// Once all the work has ended, a summary of what changed.
void DownloadService::countWork(const QString &repositoryName, const QString &path, const ExampleState &before,
                                const ExampleState &after)
{
    if (!m_work.count(repositoryName + QLatin1Char('/') + path, before, after))
        return;
    emit workChanged(m_work.done(), m_work.total());
    if (!m_work.isFinished())
        return;
    const QString summary = m_work.summary();
    m_work = WorkTally();
    emit workChanged(0, 0);
    if (summary.isEmpty())
        return;
    qCInfo(serviceLog).noquote() << summary;
    m_statusLine.setSummary(summary, isBusy());
}

void DownloadService::checkNow()
{
    dismissProblem();
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        m_forced.insert(repository->name());
        if (repository->isReady()) {
            repository->fetch();
        } else if (!repository->isSearching()) {
            setRepositoryState(*repository, RepositoryState::Connecting);
            repository->restart();
            // An address that cannot work never brings a list.
            if (!repository->isSearching())
                m_forced.remove(repository->name());
        }
        emit stateChanged(repository->name(), QString());
    }
}

void DownloadService::checkDue(const QDate &today)
{
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        const QString name = repository->name();
        if (repository->isReady() && m_settings.updatesCheckTimeoutDays != 0
            && UpdateCheck::isDue(m_settings.updatesCheckedDate.value(name), m_settings.updatesCheckTimeoutDays, today)) {
            // Due by this check's day, whatever the list's arrival finds.
            m_forced.insert(name);
            repository->fetch();
        }
    }
}

void DownloadService::cancelQueued()
{
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        const QString name = repository->name();
        for (const Repository::ExamplePtr &example : repository->cancelQueued()) {
            const QString path = example->path();
            if (state(name, path).state != ExampleState::Queued)
                continue;
            discardInstallation(name, path);
            m_settings.failedExamples[name].remove(path);
            settle(name, path);
        }
    }
    saveSoon();
}

void DownloadService::setRepositoryState(Repository &repository, RepositoryState::State state,
                                         const Problem &problem)
{
    RepositoryState &record = m_repositoryStates[repository.name()];
    // A server that stays away is reported once, not at every restart.
    if (state == RepositoryState::Failed && !(record.problem == problem))
        report(problem);
    record.state = state;
    if (state != RepositoryState::Connecting)
        record.problem = problem;
    emit stateChanged(repository.name(), QString());
}

// True when the number of installed examples changed.
bool DownloadService::scanInstalled(const QString &repositoryName)
{
    const QHash<QString, QFileInfo> found = ManifestWriter::findManifests(repositoryPathTemplate().arg(repositoryName));
    QMap<QString, ExampleState> &records = m_states[repositoryName];
    const int before = int(std::count_if(records.cbegin(), records.cend(),
                                         [](const ExampleState &s) { return s.isInstalled(); }));
    QStringList paths = records.keys();
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        if (!records.contains(it.key()))
            paths.append(it.key());
    }
    for (const QString &path : qAsConst(paths)) {
        const QFileInfo manifest = found.value(path);
        const ExampleState current = state(repositoryName, path);
        const QString folder = manifest.filePath().isEmpty() ? QString() : manifest.dir().canonicalPath();
        if (current.folder == folder && current.installed == manifest.lastModified() && records.contains(path))
            continue;
        const Edit edit = [&folder, &manifest](ExampleState &s) {
            s.folder = folder;
            s.installed = folder.isEmpty() ? QDateTime() : manifest.lastModified();
        };
        if (current.isBusy())
            setState(repositoryName, path, current.state, edit);
        else
            settle(repositoryName, path, edit);
    }
    return found.size() != before;
}

void DownloadService::setProgress(const QString &text)
{
    qCDebug(serviceLog).noquote() << "Progress:" << text;
    emit progressChanged(text);
    m_statusLine.setProgress(text, isBusy());
}

void DownloadService::report(const Problem &problem)
{
    if (problem.isFailure())
        qCWarning(serviceLog).noquote() << problem.text();
    else
        qCInfo(serviceLog).noquote() << problem.text();
    emit problemReported(problem);
    m_statusLine.report(problem, isBusy());
}

// Installations that end while an announcement is pending join it.
void DownloadService::notifyChanged()
{
    ++m_unannounced;
    if (m_notifyTimer.isActive())
        return;
    const bool burst = m_lastAnnounced > 1 && m_sinceNotified.isValid()
                       && m_sinceNotified.elapsed() < m_notifyTimer.interval();
    m_notifyTimer.setInterval(burst ? qMin(m_notifyTimer.interval() * 2, MaximumNotifyIntervalMs) : NotifyIntervalMs);
    m_notifyTimer.start();
}

void DownloadService::scheduleRetry()
{
    const QDateTime now = QDateTime::currentDateTime();
    QDateTime next;
    for (const QSharedPointer<Repository> &repository : qAsConst(m_repositories)) {
        for (const ExampleFailure &failure : m_settings.failedExamples.value(repository->name())) {
            const QDateTime at = UpdateCheck::nextAttempt(failure, now, false);
            if (at.isValid() && (!next.isValid() || at < next))
                next = at;
        }
    }
    if (!next.isValid()) {
        m_retryTimer.stop();
        return;
    }
    m_retryTimer.start(int(qBound<qint64>(1000, now.msecsTo(next), MaximumTimerMs)));
}

void DownloadService::save()
{
    m_saveTimer.stop();
    m_settings.save(m_store);
}

void DownloadService::saveSoon()
{
    if (!m_saveTimer.isActive())
        m_saveTimer.start();
}

} // namespace Internal
} // namespace Vantor
