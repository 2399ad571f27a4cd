#pragma once

#include "plugin/settings.h"
#include "repository/example.h"
#include "repository/repository.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QTimer>

class tst_UpdateCheck;
class tst_Installation;

namespace Vantor {
namespace Internal {

// The one process-wide service that installs the examples of every configured repository and
// keeps them up to date.
class DownloadService : public QObject
{
    Q_OBJECT

public:
    // The host re-reads every example set when told that the documentation changed: a burst of
    // installations tells it at most this often, and always once after the last one.
    static constexpr int NotifyIntervalMs = 250;

    explicit DownloadService(QObject *parent = nullptr);
    ~DownloadService() override;

    Repository::Examples examples(const QString &repositoryName) const;
    void download(const QString &repositoryName, const QSet<QString> &paths);

signals:
    void updated();
    void statusChanged(const QString &status);

private slots:
    void onDownloaded(Vantor::Internal::Repository::ExamplePtr example);
    void onFetched();

private:
    QSharedPointer<Repository> repository(const QString &name) const;
    void setStatus(const QString &status);
    void checkClients();
    void notifyChanged();
    void reloadSettings();
    void recordCheck(const QString &repositoryName, const QDate &date);
    // Examples of the list to try again whatever the check date says: not removed, and either
    // started before without being installed, or without a folder.
    QSet<QString> pendingPaths(const QString &repositoryName, const Repository &repository) const;
    void retryPending(Repository *repository);
    void setPending(const QString &repositoryName, const QSet<QString> &paths);
    bool isRemovedNow(const QString &repositoryName, const QString &path) const;
    bool isIdle() const;
    void clearStatusWhenIdle();

    Settings m_settings;
    QTimer m_timer;
    QTimer m_notifyTimer; // runs while an installation has not been announced yet
    QList<QSharedPointer<Repository>> m_repositories;
    // Per repository name, the examples the restart timer has tried again.
    QHash<QString, QSet<QString>> m_retriedOnTick;
    // A problem was reported since the service was last idle: the status line keeps it.
    bool m_reported = false;

    friend class ::tst_UpdateCheck;
    friend class ::tst_Installation;
};

} // namespace Internal
} // namespace Vantor
