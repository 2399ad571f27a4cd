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
        Redirect      // 301 with `location`
    };

    Kind kind = Normal;
    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QString location;
    int delayMs = 0;
    int times = -1; // how many requests it applies to; -1: every one

    static GitLabBehaviour delay(int milliseconds) { return of(Normal).after(milliseconds); }
    static GitLabBehaviour reply(int status, const QByteArray &body = {},
                                 const QByteArray &contentType = "application/json")
    {
        GitLabBehaviour behaviour = of(Reply);
        behaviour.status = status;
        behaviour.body = body;
        behaviour.contentType = contentType;
        return behaviour;
    }
    static GitLabBehaviour noAnswer() { return of(NoAnswer); }
    static GitLabBehaviour closeMidBody() { return of(CloseMidBody); }
    static GitLabBehaviour notJson() { return of(NotJson); }
    static GitLabBehaviour noContent() { return of(NoContent); }
    static GitLabBehaviour redirect(const QString &location)
    {
        GitLabBehaviour behaviour = of(Redirect);
        behaviour.location = location;
        return behaviour;
    }

    GitLabBehaviour &after(int milliseconds) { delayMs = milliseconds; return *this; }
    GitLabBehaviour &only(int count) { times = count; return *this; }

private:
    static GitLabBehaviour of(Kind kind)
    {
        GitLabBehaviour behaviour;
        behaviour.kind = kind;
        return behaviour;
    }
};

Q_DECLARE_METATYPE(GitLabBehaviour)
