#include "repository.h"

#include "apiclient.h"
#include "example.h"

#include <QMetaType>

#include <algorithm>

namespace Vantor {
namespace Internal {

Repository::Repository(const QString &name, const QUrl &url, QObject *parent, Start start)
    : QObject(parent)
    , m_name(name)
    , m_url(url)
    , m_awaitingToken(start == Start::WithToken)
{
    registerMetaTypes();
    if (!m_awaitingToken)
        restart();
}

Repository::~Repository()
{
    m_client.reset();
}

void Repository::registerMetaTypes()
{
    qRegisterMetaType<Repository::ExamplePtr>("Vantor::Internal::Repository::ExamplePtr");
    qRegisterMetaType<Repository::Examples>("Vantor::Internal::Repository::Examples");
    qRegisterMetaType<Problem>("Vantor::Internal::Problem");
}

bool Repository::isReady() const
{
    return m_client && m_client->groupId() != 0;
}

bool Repository::isSearching() const
{
    return m_awaitingToken || (m_client && m_client->isSearching());
}

void Repository::setToken(const QByteArray &token)
{
    m_token = token;
    m_awaitingToken = false;
    restart();
}

void Repository::restart()
{
    if (m_awaitingToken)
        return;
    auto client = std::make_unique<ApiClient>(m_url);
    client->setToken(m_token);
    std::swap(m_client, client);
    client.reset();
    connectClient();
}

void Repository::connectClient()
{
    ApiClient *client = m_client.get();
    connect(client, &ApiClient::downloaded, this, &Repository::downloaded);
    connect(client, &ApiClient::pictureArrived, this, &Repository::pictureArrived);
    connect(client, &ApiClient::downloadFailed, this, &Repository::downloadFailed);
    connect(client, &ApiClient::downloadProgress, this, &Repository::downloadProgress);
    connect(client, &ApiClient::problemOccurred, this, &Repository::problemOccurred);
    connect(client, &ApiClient::fetched, this, &Repository::onFetched);
    connect(client, &ApiClient::ready, client, &ApiClient::fetch);
}

void Repository::onFetched(const Examples &examples)
{
    m_examples = examples;
    emit fetched();
}

void Repository::fetch()
{
    m_client->fetch();
}

void Repository::fetchPictures()
{
    if (m_client)
        m_client->fetchPictures(m_examples);
}

Repository::Examples Repository::cancelQueued()
{
    return m_client->cancelQueued();
}

void Repository::download(const QSet<QString> &paths)
{
    if (paths.isEmpty())
        return;
    // One pass over the list, the first example of each path: a group of thousands asks for them all.
    Examples selection;
    QSet<QString> taken;
    for (const ExamplePtr &example : qAsConst(m_examples)) {
        const QString path = example->path();
        if (paths.contains(path) && !taken.contains(path)) {
            taken.insert(path);
            selection.append(example);
        }
    }
    if (m_client)
        m_client->download(selection);
}

} // namespace Internal
} // namespace Vantor
