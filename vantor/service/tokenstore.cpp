#include "tokenstore.h"

#include "plugin/logging.h"

#include <qt5keychain/keychain.h>

namespace Vantor {
namespace Internal {

namespace {

TokenStore::Result resultOf(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return TokenStore::Done;
    case QKeychain::EntryNotFound:
        return TokenStore::NotFound;
    default:
        return TokenStore::Unavailable;
    }
}

} // namespace

const QString TokenStore::Service = QStringLiteral("Vantor examples");

QString TokenStore::key(const QString &repositoryName, const QUrl &url)
{
    return repositoryName + QLatin1Char('|') + url.toString(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash);
}

void TokenStore::read(const QString &key, const Handler &handler)
{
    auto job = new QKeychain::ReadPasswordJob(Service, this);
    job->setInsecureFallback(false);
    job->setKey(key);
    connect(job, &QKeychain::Job::finished, this, [handler](QKeychain::Job *job) {
        const Result result = resultOf(*job);
        if (result == Unavailable)
            qCDebug(serviceLog) << "Keychain:" << job->errorString();
        handler(result, result == Done ? static_cast<QKeychain::ReadPasswordJob *>(job)->textData() : job->errorString());
    });
    job->start();
}

void TokenStore::write(const QString &key, const QString &token, const Handler &handler)
{
    QKeychain::Job *job = nullptr;
    if (token.isEmpty()) {
        job = new QKeychain::DeletePasswordJob(Service, this);
    } else {
        auto writeJob = new QKeychain::WritePasswordJob(Service, this);
        writeJob->setTextData(token);
        job = writeJob;
    }
    job->setInsecureFallback(false);
    job->setKey(key);
    connect(job, &QKeychain::Job::finished, this, [handler, removing = token.isEmpty()](QKeychain::Job *job) {
        Result result = resultOf(*job);
        if (removing && result == NotFound)
            result = Done; // nothing to remove is removed
        if (result == Unavailable)
            qCDebug(serviceLog) << "Keychain:" << job->errorString();
        handler(result, result == Unavailable ? job->errorString() : QString());
    });
    job->start();
}

} // namespace Internal
} // namespace Vantor
