#pragma once

#include "repository/problem.h"

#include <QDateTime>
#include <QString>

namespace Vantor {
namespace Internal {

// What one example of one repository is doing, as the engine decided it. Views read it; only the
// engine writes it.
struct ExampleState
{
    enum State {
        Available,       // on the server, not installed
        Installed,
        UpdateAvailable, // installed, and changed on the server since
        Queued,
        Downloading,
        Installing,
        Failed,          // the last attempt failed; `problem` says why
        Removed,         // removed by the user; the automatic update leaves it out
    };

    State state = Available;
    QString name;          // the example's name on the server, else its path
    QString description;   // from the server
    QString folder;        // canonical folder of the installed version; empty when none
    QDateTime installed;   // when its manifest was written
    QDateTime activity;    // its last activity on the server, when listed
    qint64 bytes = 0;      // of the archive, while downloading
    qint64 total = -1;     // -1 while unknown
    Problem problem;       // of the last attempt
    int attempts = 0;      // failed attempts today
    QDateTime failedAt;

    bool isBusy() const { return state == Queued || state == Downloading || state == Installing; }
    bool isInstalled() const { return !folder.isEmpty(); }
};

// What one repository is doing.
struct RepositoryState
{
    enum State { Connecting, Ready, Failed };
    // Whether its requests carry an access token from the desktop's keychain.
    enum Access { Public, WithToken, NoKeychain };

    State state = Connecting;
    Problem problem;
    Access access = Public;
};

} // namespace Internal
} // namespace Vantor
