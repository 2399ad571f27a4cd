#pragma once

#include "plugin/settings.h"
#include "repository/example.h"
#include "repository/repository.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QTimer>

class tst_UpdateCheck;
class tst_Installation;

namespace Utils {
class Archive;
} // namespace Utils

namespace Vantor {
namespace Internal {

class PathGuard;

// The one process-wide service that installs the examples of every configured repository and
// keeps them up to date.
class DownloadService : public QObject
{
    Q_OBJECT

public:
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
    void registerExample(const QString &repositoryName, const Repository::ExamplePtr &example);
    bool createManifest(const QString &repositoryName, const Repository::ExamplePtr &example);
    QStringList findUnpackedFolders(const QString &repositoryName, const QString &path,
                                    const Repository::Examples &examples) const;

    void reloadSettings();
    void recordCheck(const QString &repositoryName, const QDate &date);
    void onUnpacked(Utils::Archive *archive, const QString &repositoryName,
                    const Repository::ExamplePtr &example, const QPointer<Repository> &origin,
                    bool success);
    bool discardInstalled(const PathGuard &guard, const QString &folder, const QString &path);

    Settings m_settings;
    QTimer m_timer;
    QList<QSharedPointer<Repository>> m_repositories;
    // Unpackings under way, with their temporary archive files.
    QHash<Utils::Archive *, QString> m_unpacking;

    friend class ::tst_UpdateCheck;
    friend class ::tst_Installation;
};

} // namespace Internal
} // namespace Vantor
