#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// How a route answers instead of its normal answer. Build one with the factory functions; a delay
// can be added to any of them (delay() alone delays the normal answer).
struct GitLabBehaviour
{
    enum Kind {
        Normal,       // the normal answer
        Reply,        // `status` with `body` (a JSON error message suited to the route when empty)
        NoAnswer,     // read the request and never answer; the connection stays open
        CloseMidBody, // send the head and half of the normal body, then close the connection
        NotJson,      // 200 with a body that is no JSON
        NoContent,    // 204 with an empty body
        Redirect,     // `status` (301 by default) with `location`
        Drip          // the normal answer's head, then its body one byte every `dripMs`
    };

    explicit GitLabBehaviour(Kind kind = Normal, int status = 200, const QByteArray &body = {},
                             const QByteArray &contentType = "application/json", const QString &location = {})
        : kind(kind), status(status), body(body), contentType(contentType), location(location)
    {}

    Kind kind;
    int status;
    QByteArray body;
    QByteArray contentType;
    QString location;
    int delayMs = 0;
    int dripMs = 0;
    int times = -1; // how many requests it applies to; -1: every one

    static GitLabBehaviour delay(int milliseconds) { return GitLabBehaviour().after(milliseconds); }
    static GitLabBehaviour reply(int status, const QByteArray &body = {},
                                 const QByteArray &contentType = "application/json")
    {
        return GitLabBehaviour(Reply, status, body, contentType);
    }
    static GitLabBehaviour noAnswer() { return GitLabBehaviour(NoAnswer); }
    static GitLabBehaviour closeMidBody() { return GitLabBehaviour(CloseMidBody); }
    static GitLabBehaviour notJson() { return GitLabBehaviour(NotJson); }
    static GitLabBehaviour noContent() { return GitLabBehaviour(NoContent); }
    static GitLabBehaviour redirect(const QString &to, int status = 301)
    {
        return GitLabBehaviour(Redirect, status, {}, {}, to);
    }
    static GitLabBehaviour drip(int msPerByte)
    {
        GitLabBehaviour behaviour(Drip);
        behaviour.dripMs = msPerByte;
        return behaviour;
    }

    GitLabBehaviour &after(int milliseconds) { delayMs = milliseconds; return *this; }
    GitLabBehaviour &only(int count) { times = count; return *this; }
};

Q_DECLARE_METATYPE(GitLabBehaviour)
