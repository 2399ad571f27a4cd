#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One request as the server received it.
struct HttpRequest
{
    QByteArray method;
    QByteArray target;  // as sent: path and query, still percent-encoded
    QByteArray path;    // target without the query, still percent-encoded
    QByteArray query;   // target after "?", still percent-encoded
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray header(const QByteArray &name) const; // case-insensitive, empty when missing
    QString queryValue(const QString &key) const;    // fully decoded, "+" read as a space

    // Parses the head of a request (up to and including the empty line). False when it is malformed.
    static bool parse(const QByteArray &head, HttpRequest *request);
};

// One answer; serialize() gives the bytes on the wire (HTTP/1.1, one request per connection).
struct HttpResponse
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    HttpResponse() = default;
    HttpResponse(int status, const QByteArray &body, const QByteArray &contentType = "application/json");

    void addHeader(const QByteArray &name, const QByteArray &value) { headers.append({name, value}); }
    QByteArray head() const;
    QByteArray serialize() const { return head() + body; }

    static QByteArray reasonPhrase(int status);
};
