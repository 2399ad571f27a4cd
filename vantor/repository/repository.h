#pragma once

// Complete, because the shared-pointer meta-types below look into it.
#include "example.h"
#include "problem.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QSharedPointer>
#include <QUrl>

#include <memory>

namespace Vantor {
namespace Internal {

class ApiClient;

// One configured repository: a group of example projects on a server, under its name in the settings.
class Repository : public QObject
{
    Q_OBJECT

public:
    using ExamplePtr = QSharedPointer<Example>;
    using Examples = QList<ExamplePtr>;

    // A repository whose token is still being read from the keychain starts its client with setToken().
    enum class Start { Now, WithToken };

    Repository(const QString &name, const QUrl &url, QObject *parent = nullptr, Start start = Start::Now);
    ~Repository() override;

    QString name() const { return m_name; }
    QUrl url() const { return m_url; }
    Examples examples() const { return m_examples; }
    bool isReady() const;
    // The client's group search is queued or under way, or waits for the token.
    bool isSearching() const;
    void restart();
    // Starts the client afresh with this access token (empty: none).
    void setToken(const QByteArray &token);

    // Asks the server for the list again; fetched() follows.
    void fetch();
    // Starts the download of the examples of the current list whose path is in the set.
    void download(const QSet<QString> &paths);
    // Asks the server for the pictures of the listed examples that have none yet.
    void fetchPictures();
    // The examples of downloads that have not started are dropped and returned.
    Examples cancelQueued();

    ApiClient *client() const { return m_client.get(); }

    // Makes the example types usable in queued connections and signal spies; idempotent.
    static void registerMetaTypes();

signals:
    void downloaded(Vantor::Internal::Repository::ExamplePtr example);
    void downloadFailed(Vantor::Internal::Repository::ExamplePtr example, const Vantor::Internal::Problem &problem);
    void downloadProgress(Vantor::Internal::Repository::ExamplePtr example, qint64 received, qint64 total);
    void fetched();
    void pictureArrived(Vantor::Internal::Repository::ExamplePtr example);
    // The group search or the list failed, or a picture did not arrive.
    void problemOccurred(const Vantor::Internal::Problem &problem);

private slots:
    void onFetched(const Vantor::Internal::Repository::Examples &examples);

private:
    void connectClient();

    const QString m_name;
    const QUrl m_url;
    Examples m_examples;
    QByteArray m_token;
    bool m_awaitingToken = false;
    std::unique_ptr<ApiClient> m_client;
};

} // namespace Internal
} // namespace Vantor

Q_DECLARE_METATYPE(Vantor::Internal::Repository::ExamplePtr)
Q_DECLARE_METATYPE(Vantor::Internal::Repository::Examples)
