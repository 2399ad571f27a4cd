#include "example.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QJsonArray>
#include <QMutexLocker>

#include <cmath>

namespace Vantor {
namespace Internal {

namespace {

constexpr int ImageSize = 128;

} // namespace

Example::Example(const QJsonObject &json)
    : m_json(json)
{}

bool Example::isValid() const
{
    return id() != 0
           && !m_json.value(QLatin1String("name")).toString().isEmpty()
           && !m_json.value(QLatin1String("web_url")).toString().isEmpty()
           && isSafePath(m_json.value(QLatin1String("path")).toString());
}

qint64 Example::id() const
{
    return toId(m_json.value(QLatin1String("id")));
}

qint64 Example::toId(const QJsonValue &value)
{
    // From 2^53 on, a number may be a neighbouring integer rounded: 2^53 + 1 reads as 2^53.
    constexpr double limit = double(qint64(1) << 53);
    const double id = value.toDouble();
    if (!value.isDouble() || !(id >= 1 && id < limit) || std::trunc(id) != id)
        return 0;
    return qint64(id);
}

QDateTime Example::lastActivity() const
{
    return QDateTime::fromString(m_json.value(QLatin1String("last_activity_at")).toString(), Qt::ISODate);
}

QStringList Example::tags() const
{
    QStringList tags;
    // GitLab renamed "tag_list" to "topics"; older servers send only the former.
    const QLatin1String key(m_json.contains(QLatin1String("topics")) ? "topics" : "tag_list");
    for (const QJsonValue &tag : m_json.value(key).toArray())
        tags.append(tag.toString());
    if (tags.isEmpty())
        tags << QStringLiteral("Qt") << QCoreApplication::translate("Vantor::Internal::Example", "example");
    return tags;
}

QString Example::archiveFile() const
{
    QFuture<QString> file;
    {
        QMutexLocker locker(&m_archiveMutex);
        file = m_archiveFile;
    }
    file.waitForFinished();
    return file.resultCount() > 0 ? file.result() : QString();
}

void Example::setArchiveFile(const QFuture<QString> &file)
{
    QMutexLocker locker(&m_archiveMutex);
    m_archiveFile = file;
}

QImage Example::image() const
{
    QByteArray data;
    {
        QMutexLocker locker(&m_imageMutex);
        data = m_imageData;
    }
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    // The header tells the size: a small download can decode into gigabytes.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaximumDecodedSize || size.height() > MaximumDecodedSize)
        return QImage();
    QImage image = reader.read();
    if (image.isNull())
        return image;
    image = image.scaled(ImageSize, ImageSize, Qt::KeepAspectRatio, Qt::FastTransformation);
    // The picture is written beside the example; the text tells readers it is not part of it.
    image.setText(QCoreApplication::translate("Vantor::Internal::Example", "Description"),
                  QCoreApplication::translate("Vantor::Internal::Example",
                                              "This file is used by SDK to show image for example inside "
                                              "Welcome screen.\nIt is not the part of the example."));
    return image;
}

void Example::setImage(const QByteArray &data)
{
    QMutexLocker locker(&m_imageMutex);
    m_imageData = data;
}

bool Example::hasImage() const
{
    QMutexLocker locker(&m_imageMutex);
    return !m_imageData.isEmpty();
}

bool Example::isSafePath(const QString &path)
{
    if (path.isEmpty() || path == QLatin1String(".") || path == QLatin1String(".."))
        return false;
    for (const QChar ch : path) {
        if (ch.category() == QChar::Other_Control)
            return false;
        switch (ch.unicode()) {
        case '/': case '\\': case '|': case '*': case '?': case '[': case ']':
            return false;
        default:
            break;
        }
    }
    return true;
}

} // namespace Internal
} // namespace Vantor
