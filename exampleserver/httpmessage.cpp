#include "httpmessage.h"

#include <QHash>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

QByteArray HttpRequest::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return {};
}

bool HttpRequest::hasHeader(const QByteArray &name) const
{
    return std::any_of(headers.cbegin(), headers.cend(), [&](const QPair<QByteArray, QByteArray> &header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

bool HttpRequest::keepAlive() const
{
    return version == "HTTP/1.1" && header("Connection").compare("close", Qt::CaseInsensitive) != 0;
}

QString HttpRequest::queryValue(const QString &key) const
{
    // Form encoding writes spaces as "+"; QUrlQuery would keep them.
    QByteArray raw = query;
    raw.replace('+', "%20");
    return QUrlQuery(QString::fromLatin1(raw)).queryItemValue(key, QUrl::FullyDecoded);
}

bool HttpRequest::parse(const QByteArray &head, HttpRequest *request)
{
    const QList<QByteArray> lines = head.split('\n');
    if (lines.isEmpty())
        return false;
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || !parts.at(2).startsWith("HTTP/1.") || !parts.at(1).startsWith('/'))
        return false;
    request->method = parts.at(0);
    request->version = parts.at(2);
    request->target = parts.at(1);
    const int question = request->target.indexOf('?');
    request->path = question < 0 ? request->target : request->target.left(question);
    request->query = question < 0 ? QByteArray() : request->target.mid(question + 1);
    request->headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return false;
        request->headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return true;
}

HttpResponse::HttpResponse(int status, const QByteArray &body, const QByteArray &contentType)
    : status(status)
    , contentType(contentType)
    , body(body)
{}

QByteArray HttpResponse::head() const
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty() && status != 204)
        head += "Content-Type: " + contentType + "\r\n";
    if (status != 204)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const auto &header : headers)
        head += header.first + ": " + header.second + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return head;
}

QByteArray HttpResponse::reasonPhrase(int status)
{
    static const QHash<int, QByteArray> phrases{
        {200, "OK"}, {204, "No Content"}, {301, "Moved Permanently"}, {302, "Found"}, {400, "Bad Request"},
        {401, "Unauthorized"}, {403, "Forbidden"}, {404, "Not Found"}, {405, "Method Not Allowed"},
        {429, "Too Many Requests"}, {500, "Internal Server Error"}, {502, "Bad Gateway"}, {503, "Service Unavailable"}};
    return phrases.value(status, "Status");
}
