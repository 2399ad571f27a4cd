#include "repository.h"

#include "apiclient.h"
#include "example.h"
#include "plugin/logging.h"

#include <QMetaType>

namespace Vantor {
namespace Internal {

Repository::Repository(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_client(std::make_unique<ApiClient>(url))
{
    registerMetaTypes();
    connectClient();
}

Repository::~Repository()
{
    m_client.reset();
}

void Repository::registerMetaTypes()
{
    qRegisterMetaType<Repository::ExamplePtr>("Vantor::Internal::Repository::ExamplePtr");
    qRegisterMetaType<Repository::Examples>("Vantor::Internal::Repository::Examples");
}

bool Repository::isReady() const
{
    return m_client && m_client->groupId() != 0;
}

bool Repository::isSearching() const
{
    return m_client && m_client->isSearching();
}

void Repository::restart()
{
    auto client = std::make_unique<ApiClient>(m_url);
    std::swap(m_client, client);
    client.reset();
    // The old client's pending downloads are never delivered; what was delivered is still installing.
    m_busy.subtract(m_downloading);
    m_downloading.clear();
    connectClient();
}

void Repository::connectClient()
{
    ApiClient *client = m_client.get();
    // Bookkeeping first, so that receivers of downloaded() see the example as installing.
    connect(client, &ApiClient::downloaded, this, [this](const ExamplePtr &example) {
        m_downloading.remove(example->path());
    });
    connect(client, &ApiClient::downloadFailed, this, [this](const ExamplePtr &example) {
        const QString path = example->path();
        m_downloading.remove(path);
        m_busy.remove(path);
    });
    connect(client, &ApiClient::downloaded, this, &Repository::downloaded);
    connect(client, &ApiClient::fetched, this, &Repository::onFetched);
    connect(client, &ApiClient::ready, client, &ApiClient::fetch);
    connect(client, &ApiClient::statusChanged, this, &Repository::statusChanged);
}

void Repository::onFetched(const Examples &examples)
{
    m_examples = examples;
    emit fetched();
}

void Repository::download(const QSet<QString> &paths)
{
    if (paths.isEmpty())
        return;
    Examples selection;
    for (const QString &path : paths) {
        if (m_busy.contains(path)) {
            qCDebug(apiLog) << "Skip example already in progress:" << path;
            continue;
        }
        for (const ExamplePtr &example : qAsConst(m_examples)) {
            if (example->path() == path) {
                selection.append(example);
                m_busy.insert(path);
                m_downloading.insert(path);
                break;
            }
        }
    }
    m_client->download(selection);
}

void Repository::release(const QString &path)
{
    m_busy.remove(path);
    m_downloading.remove(path);
}

} // namespace Internal
} // namespace Vantor
