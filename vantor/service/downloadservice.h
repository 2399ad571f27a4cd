#pragma once

#include "examplestate.h"
#include "statusline.h"
#include "worktally.h"
#include "tokenstore.h"

#include "plugin/settings.h"
#include "repository/problem.h"
#include "repository/repository.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class BackgroundWork;
class ExampleInstallation;

// The plugin's engine: it owns the settings, the repositories and the state of every example, and
// is the only one that decides what an example is doing, installs, removes and saves. Views read
// its states and hand it the user's intent.
class DownloadService : public QObject
{
    Q_OBJECT

public:
    // The host re-reads every example set when told that the documentation changed: a burst of
    // installations tells it at most this often, and always once after the last one.
    static constexpr int NotifyIntervalMs = 250;
    // It re-reads every manifest each time, which at a thousand examples holds its GUI thread for
    // tens of milliseconds: while a burst of several goes on, the pause doubles up to this. The
    // progress task tells the host that work goes on meanwhile.
    static constexpr int MaximumNotifyIntervalMs = 2000;

    // `store` is the host's settings, where `settings` came from and where they are saved.
    DownloadService(const Settings &settings, QSettings *store, QObject *parent = nullptr);
    ~DownloadService() override;

    const Settings &settings() const { return m_settings; }
    QSharedPointer<Repository> repository(const QString &name) const;
    Repository::Examples examples(const QString &repositoryName) const;
    // Every example known of the repository, online or installed or removed, by path.
    QMap<QString, ExampleState> states(const QString &repositoryName) const;
    ExampleState state(const QString &repositoryName, const QString &path) const;
    RepositoryState repositoryState(const QString &repositoryName) const;
    // Examples queued, downloading or installing.
    bool isBusy() const;
    // Installations have ended that the host has not been told of yet.
    bool hasPendingNotice() const { return m_notifyTimer.isActive(); }
    // What the status line shows: progress while work runs, then the last problem until dismissed.
    QString statusText() const { return m_statusLine.text(); }

    // The user's changes to a repository: removed examples are deleted and kept from the automatic
    // update, added ones are downloaded (again, whatever failed before).
    void applyChanges(const QString &repositoryName, const QSet<QString> &install, const QSet<QString> &remove);
    void setUpdateInterval(quint32 days);
    // Runs the update check of every repository now, whatever the dates say.
    void checkNow();
    // A "Check now" or the work it started is under way.
    bool isChecking() const { return !m_forced.isEmpty() || isBusy(); }
    // The queued examples are not downloaded after all; those under way go on.
    void cancelQueued();
    // The hourly timer's work: a repository whose check fell due by `today` is checked while the IDE runs.
    void checkDue(const QDate &today = QDate::currentDate());
    static constexpr int DueCheckIntervalMs = 60 * 60 * 1000;
    static constexpr int SaveDelayMs = 1000;
    // Installations set up in one turn of the event loop: a thousand at once would hold the GUI
    // thread for tens of milliseconds.
    static constexpr int QueueSlice = 100;
    // The user's access token for a repository (empty: none), kept in the desktop's keychain; the
    // repository starts afresh with it once it is kept.
    void setToken(const QString &repositoryName, const QString &token);
    // Asks for the pictures of the repository's online examples that have none yet; each that
    // arrives is announced as a change of its example.
    void fetchPictures(const QString &repositoryName);
    // Reads the installed examples of every repository from disk again.
    void rescan();
    // The user has seen the last problem, or started new work.
    void dismissProblem();

signals:
    // The one announcement of a change of an example's state; an empty path: of the repository.
    void stateChanged(const QString &repositoryName, const QString &path);
    void progressChanged(const QString &text);
    void problemReported(const Vantor::Internal::Problem &problem);
    void statusChanged(const QString &status);
    // Examples of the current work that have ended, of how many; 0 of 0 once it has all ended.
    void workChanged(int done, int total);
    // The installed examples changed: the host re-reads them.
    void documentationChanged();

private:
    using Edit = std::function<void(ExampleState &)>;

    void connectRepository(Repository *repository);
    void onFetched(Repository *repository);
    void onDownloaded(Repository *repository, const Repository::ExamplePtr &example);
    void onInstalled(const QString &repositoryName, const QString &path, const Problem &problem, bool registered);
    void checkClients();
    void retryFailed();
    QSet<QString> retryPaths(const Repository &repository, bool atStart);
    void queue(Repository &repository, const QSet<QString> &paths, bool byUser);
    void startQueued(const QString &repositoryName, QSet<QString> paths);

    // Every change of an example's state goes through here.
    void setState(const QString &repositoryName, const QString &path, ExampleState::State state,
                  const Edit &edit = {});
    // The state of an example that nothing is happening to, from what is known of it.
    void settle(const QString &repositoryName, const QString &path, const Edit &edit = {});
    void setRepositoryState(Repository &repository, RepositoryState::State state, const Problem &problem = {});
    void readToken(const QString &repositoryName);
    void setAccess(const QString &repositoryName, RepositoryState::Access access, const QString &keychainError = {});
    void fail(const QString &repositoryName, const QString &path, const Problem &problem);
    bool scanInstalled(const QString &repositoryName);
    void countWork(const QString &repositoryName, const QString &path, const ExampleState &before,
                   const ExampleState &after);

    void setProgress(const QString &text);
    void report(const Problem &problem);
    void notifyChanged();
    void scheduleRetry();
    void save();
    void saveSoon();
    // The installation of an example about to be downloaded, which makes the staging folder its
    // archive streams into; none, and the example failed, when its name is unusable.
    ExampleInstallation *prepareInstallation(const QString &repositoryName, const Repository::ExamplePtr &example);
    void discardInstallation(const QString &repositoryName, const QString &path);

    Settings m_settings;
    // The installations' work on the disk; gone last, after waiting for it.
    std::unique_ptr<BackgroundWork> m_background;
    QSettings *const m_store;
    QTimer m_timer;       // restarts clients that are not ready
    QTimer m_notifyTimer; // runs while an installation has not been announced yet
    QElapsedTimer m_sinceNotified;
    int m_unannounced = 0;   // installations since the last notification
    int m_lastAnnounced = 0; // installations the last notification told of
    QTimer m_retryTimer;  // the next retry of a failed example
    QTimer m_saveTimer;   // bookkeeping of a burst of installations, saved together
    QTimer m_dueTimer;
    QList<QSharedPointer<Repository>> m_repositories;
    QHash<QString, QMap<QString, ExampleState>> m_states;
    QHash<QString, RepositoryState> m_repositoryStates;
    int m_busy = 0; // examples queued, downloading or installing: asked at every change
    QSet<QString> m_fetchedOnce; // repositories whose list arrived since the start
    QSet<QString> m_forced;      // repositories that "Check now" asked for, until their list arrives
    WorkTally m_work; // since the last time nothing was busy, for the progress indicator
    StatusLine m_statusLine;
    TokenStore m_tokens;
    // Of the examples on their way, by repository name and path; they own the staging folders.
    QHash<QPair<QString, QString>, ExampleInstallation *> m_installations;
};

} // namespace Internal
} // namespace Vantor
