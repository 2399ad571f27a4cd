#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One request as the server received it.
struct HttpRequest
{
    QByteArray method;
    QByteArray version; // "HTTP/1.1"
    QByteArray target;  // as sent: path and query, still percent-encoded
    QByteArray path;    // target without the query, still percent-encoded
    QByteArray query;   // target after "?", still percent-encoded
    QList<QPair<QByteArray, QByteArray>> headers;
    // Filled in by the server's log: milliseconds on its clock (-1: not yet answered) and the
    // number of the connection that carried the request.
    qint64 receivedAt = -1;
    qint64 answeredAt = -1;
    int connection = 0;

    QByteArray header(const QByteArray &name) const; // case-insensitive, empty when missing
    bool hasHeader(const QByteArray &name) const;    // even with an empty value
    // HTTP/1.1 keeps the connection open unless the client asks to close it.
    bool keepAlive() const;
    QString queryValue(const QString &key) const;    // fully decoded, "+" read as a space

    // Parses the head of a request (up to and including the empty line). False when it is malformed.
    static bool parse(const QByteArray &head, HttpRequest *request);
};

// One answer; serialize() gives the bytes on the wire (HTTP/1.1).
struct HttpResponse
{
    int status = 200;
    bool keepAlive = false; // the connection stays open for the next request
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
