#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// How a route answers instead of its normal answer. Build one with the factory functions; a delay
// can be added to any of them (delay() alone delays the normal answer).
struct GitLabBehaviour
{
    enum Kind {
        Normal,         // the normal answer
        Reply,          // `status` with `body` (a JSON error message suited to the route when empty)
        NoAnswer,       // read the request and never answer; the connection stays open
        CloseMidBody,   // send the head and half of the normal body, then close the connection
        NotJson,        // 200 with a body that is no JSON
        NoContent,      // 204 with an empty body
        Redirect,       // `status` (301 by default) with `location`
        Drip,           // the normal answer's head, then its body one byte every `dripMs`
        RateLimited,    // `status` (429 or 503) with the route's error message and the `retry` hint
        LinkOnly,       // a paged listing with its Link header but none of the X-* paging headers
        RepeatPrevious  // a page of a listing (not the first) begins with the last item of the page before
    };
    // How a rate-limited answer says when to come back: in `retrySeconds` from the answer.
    enum RetryHint {
        RetryAfterSeconds, // Retry-After: <seconds>
        RetryAfterDate,    // Retry-After: <HTTP date>
        RateLimitReset,    // RateLimit-Reset: <Unix time>
        NoRetryHint
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
    RetryHint retry = NoRetryHint;
    int retrySeconds = 0;

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
    // Dates and times are whole seconds, rounded up so that they never come before `seconds` have passed.
    static GitLabBehaviour rateLimited(int status = 429, RetryHint hint = RetryAfterSeconds, int seconds = 1)
    {
        GitLabBehaviour behaviour(RateLimited, status);
        behaviour.retry = hint;
        behaviour.retrySeconds = seconds;
        return behaviour;
    }
    // Keyset pagination and some proxies answer like this: only the Link header tells of a next page.
    static GitLabBehaviour linkOnly() { return GitLabBehaviour(LinkOnly); }
    // As when a project was added ahead of the reader between two pages of an offset listing.
    static GitLabBehaviour repeatPrevious() { return GitLabBehaviour(RepeatPrevious); }

    GitLabBehaviour &after(int milliseconds) { delayMs = milliseconds; return *this; }
    GitLabBehaviour &only(int count) { times = count; return *this; }
};

Q_DECLARE_METATYPE(GitLabBehaviour)
