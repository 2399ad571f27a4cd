#include "fileutils.h"

#include <QDir>
#include <QFileInfo>

namespace Utils {

FilePath FilePath::fromString(const QString &filePath)
{
    FilePath result;
    result.m_data = filePath;
    return result;
}

// Text typed by a user: a leading "~" means the home folder, and the path is cleaned.
FilePath FilePath::fromUserInput(const QString &filePath)
{
    QString path = filePath.trimmed();
    if (path == QLatin1String("~"))
        path = QDir::homePath();
    else if (path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return fromString(path.isEmpty() ? path : QDir::cleanPath(path));
}

bool FilePath::exists() const
{
    return !m_data.isEmpty() && QFileInfo::exists(m_data);
}

} // namespace Utils
