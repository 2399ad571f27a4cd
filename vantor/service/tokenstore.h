#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace Vantor {
namespace Internal {

// Access tokens of repositories in the desktop's keychain (a Secret Service, KWallet...) through
// QtKeychain, with no plain-text fallback: a token never reaches a file of the plugin. Jobs run
// asynchronously; each calls its handler once, unless the store is gone by then.
class TokenStore : public QObject
{
    Q_OBJECT

public:
    enum Result {
        Done,        // read: found; write: stored or removed
        NotFound,    // read: no token stored
        Unavailable, // no keychain service answers, or it refused
    };
    // The token on success; the keychain's own error text when Unavailable.
    using Handler = std::function<void(Result result, const QString &tokenOrError)>;

    static const QString Service;

    using QObject::QObject;

    // A token belongs to a repository at its address: one configured anew elsewhere does not get it.
    static QString key(const QString &repositoryName, const QUrl &url);

    void read(const QString &key, const Handler &handler);
    // An empty token removes the stored one.
    void write(const QString &key, const QString &token, const Handler &handler);
};

} // namespace Internal
} // namespace Vantor
