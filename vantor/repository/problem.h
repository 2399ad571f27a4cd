#pragma once

#include <QCoreApplication>
#include <QMetaType>
#include <QString>

namespace Vantor {
namespace Internal {

// What can go wrong, typed, so that the engine decides on retries by kind and the user reads a text
// that says what to do. The message is the producer's own (translated where it is made); the
// advice comes from the kind.
class Problem
{
    Q_DECLARE_TR_FUNCTIONS(Vantor::Internal::Problem)

public:
    enum Kind {
        None,
        // Worth another attempt later: the server or the connection may recover.
        NetworkError,
        ServerError,    // 5xx
        RateLimited,    // 429
        TimedOut,
        Interrupted,    // the IDE ended while the example was on its way
        LocalError,     // the disk or the data folder refused
        // Not worth another attempt until the example changes on the server.
        NotAnArchive,
        NoProjectFile,
        TooLarge,
        Refused,        // names or content an example must not have
        Unauthorized,   // 401 or 403: the access token is missing, wrong or lacks the rights
        // Of the repository as a whole: its address or the server's answers.
        RepositoryError,
        // Worth telling, but nothing failed.
        PictureUnavailable,
        BackupKept,
        NotInstalled,   // removed by the user while on its way
        RateLimitWait,  // a server asked to wait before the next request
        ListIncomplete, // the group has more projects than the plugin lists
        NoKeychain,     // no keychain service: the repository is used without its token
    };

    Problem() = default;
    Problem(Kind kind, const QString &message)
        : m_kind(kind)
        , m_message(message)
    {}

    Kind kind() const { return m_kind; }
    bool isNull() const { return m_kind == None; }
    // An example that failed this way is tried again after a pause.
    bool isTransient() const;
    // Notices leave the example installed.
    bool isFailure() const { return m_kind != None && m_kind < PictureUnavailable; }
    QString message() const { return m_message; }
    // The message followed by what the user can do about it.
    QString text() const;

    // The name under which a kind is stored, and back; unknown names read as Interrupted.
    static QString kindName(Kind kind);
    static Kind kindFromName(const QString &name);

    // Of an HTTP status or Qt's network error code; `timedOut` when the transfer was aborted for stalling.
    static Kind fromNetwork(int httpStatus, int networkError, bool timedOut);

    bool operator==(const Problem &other) const
    {
        return m_kind == other.m_kind && m_message == other.m_message;
    }

private:
    Kind m_kind = None;
    QString m_message;
};

} // namespace Internal
} // namespace Vantor

Q_DECLARE_METATYPE(Vantor::Internal::Problem)
