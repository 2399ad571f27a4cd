#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>

namespace Vantor {
namespace Internal {

// One example project of a repository: the project object as the server sent it and, once
// downloaded, its archive and picture. Shared between threads through Repository::ExamplePtr.
class Example
{
public:
    explicit Example(const QJsonObject &json);
    Example(const Example &) = delete;
    Example &operator=(const Example &) = delete;

    const QJsonObject &json() const { return m_json; }
    bool isValid() const;
    QDateTime lastActivity() const;
    QStringList tags() const;

    QByteArray archive() const;
    void setArchive(const QByteArray &archive);
    // The picture decoded and scaled to fit 128 × 128; null when its header gives more than
    // MaximumDecodedSize pixels on a side. Decoding takes time: callers keep it off the GUI thread.
    QImage image() const;
    void setImage(const QByteArray &data);
    static constexpr int MaximumDecodedSize = 4096;

    // A path is used as a folder name and in deletion paths: it must be one plain name.
    static bool isSafePath(const QString &path);

private:
    const QJsonObject m_json;
    QByteArray m_archive;
    mutable QMutex m_archiveMutex;
    QByteArray m_imageData;
    mutable QMutex m_imageMutex;
};

} // namespace Internal
} // namespace Vantor
