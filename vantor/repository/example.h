#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFuture>
#include <QImage>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>

namespace Vantor {
namespace Internal {

// One example project of a repository: the project object as the server sent it, the file its
// archive is downloaded into and, once downloaded, its picture. Shared between threads through
// Repository::ExamplePtr.
class Example
{
public:
    explicit Example(const QJsonObject &json);
    Example(const Example &) = delete;
    Example &operator=(const Example &) = delete;

    const QJsonObject &json() const { return m_json; }
    // The project's "path" (the example's folder name) and "name".
    QString path() const { return m_json.value(QLatin1String("path")).toString(); }
    QString name() const { return m_json.value(QLatin1String("name")).toString(); }
    bool isValid() const;
    // The project's "id"; 0 when it is not usable (see toId).
    qint64 id() const;
    QDateTime lastActivity() const;
    QStringList tags() const;

    // The file the archive is downloaded into, which the engine makes for it, perhaps still while
    // the download is queued: reading it waits until it is made. Empty when there is none.
    QString archiveFile() const;
    void setArchiveFile(const QFuture<QString> &file);
    // The picture decoded and scaled to fit 128 × 128; null when its header gives more than
    // MaximumDecodedSize pixels on a side. Decoding takes time: callers keep it off the GUI thread.
    QImage image() const;
    void setImage(const QByteArray &data);
    bool hasImage() const;
    static constexpr int MaximumDecodedSize = 4096;

    // A path is used as a folder name and in deletion paths: it must be one plain name.
    static bool isSafePath(const QString &path);
    // A server id: a positive integer below 2^53, which a JSON number holds exactly, or 0. An id
    // that was rounded on the way (1e30, 2^63, 1000.5) would name another project or group.
    static qint64 toId(const QJsonValue &value);

private:
    const QJsonObject m_json;
    QFuture<QString> m_archiveFile;
    mutable QMutex m_archiveMutex;
    QByteArray m_imageData;
    mutable QMutex m_imageMutex;
};

} // namespace Internal
} // namespace Vantor
