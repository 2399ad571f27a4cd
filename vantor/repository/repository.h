#pragma once

// Complete, because the shared-pointer meta-types below look into it.
#include "example.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QUrl>

#include <memory>

namespace Vantor {
namespace Internal {

class ApiClient;

// One configured repository: a group of example projects on a server.
class Repository : public QObject
{
    Q_OBJECT

public:
    using ExamplePtr = QSharedPointer<Example>;
    using Examples = QList<ExamplePtr>;

    explicit Repository(const QUrl &url, QObject *parent = nullptr);
    ~Repository() override;

    QUrl url() const { return m_url; }
    Examples examples() const { return m_examples; }
    bool isReady() const;
    // The client's group search is queued or under way.
    bool isSearching() const;
    void restart();

    // Starts the download of the examples of the current list whose path is in the set. A path
    // whose download or installation is still under way is skipped until release() is called.
    void download(const QSet<QString> &paths);
    // Ends the installation of a downloaded example, so that it may be downloaded again.
    void release(const QString &path);
    bool isBusy(const QString &path) const { return m_busy.contains(path); }
    bool isBusy() const { return !m_busy.isEmpty(); }

    ApiClient *client() const { return m_client.get(); }

    // Makes the example types usable in queued connections and signal spies; idempotent.
    static void registerMetaTypes();

signals:
    void downloaded(Vantor::Internal::Repository::ExamplePtr example);
    void fetched();
    // The client's status texts.
    void statusChanged(const QString &status);

private slots:
    void onFetched(const Vantor::Internal::Repository::Examples &examples);

private:
    void connectClient();

    QUrl m_url;
    Examples m_examples;
    std::unique_ptr<ApiClient> m_client;
    QSet<QString> m_busy;        // downloading or being installed
    QSet<QString> m_downloading; // the part of m_busy whose download has not been delivered yet
};

} // namespace Internal
} // namespace Vantor

Q_DECLARE_METATYPE(Vantor::Internal::Repository::ExamplePtr)
Q_DECLARE_METATYPE(Vantor::Internal::Repository::Examples)
