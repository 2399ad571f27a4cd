#pragma once

#include "plugin/settings.h"
#include "repository/repository.h"

#include <QObject>
#include <QSharedPointer>
#include <QTimer>

namespace Vantor {
namespace Internal {

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

    Settings m_settings;
    QTimer m_timer;
    QList<QSharedPointer<Repository>> m_repositories;
};

} // namespace Internal
} // namespace Vantor
