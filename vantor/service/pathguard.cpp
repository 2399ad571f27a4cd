#include "pathguard.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "plugin/settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace Vantor {
namespace Internal {

PathGuard::PathGuard(const QString &repositoryName)
    : m_repositoryFolder(repositoryPathTemplate().arg(repositoryName))
    , m_backupFolder(m_repositoryFolder + QLatin1String(".backup"))
    , m_safeName(Settings::isSafeName(repositoryName))
{
}

bool PathGuard::allows(const QString &path) const
{
    // A name such as ".." would move the folders themselves elsewhere.
    return m_safeName && isBelow(path, {m_repositoryFolder, m_backupFolder});
}

bool PathGuard::isBelow(const QString &path, const QStringList &roots)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (parent.isEmpty())
        return false;
    const QString resolved = parent + QLatin1Char('/') + name;
    for (const QString &root : roots) {
        const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
        if (!canonicalRoot.isEmpty() && resolved.startsWith(canonicalRoot + QLatin1Char('/')))
            return true;
    }
    return false;
}

// What removeFolder() and prepareWrite() share: the check, and a symbolic link in the path's place
// removed as a link, never followed into its target. `act` does the rest on anything else.
template<typename Action>
static bool guarded(const PathGuard &guard, const QString &path, const char *refusal, Action act)
{
    if (!guard.allows(path)) {
        qCDebug(serviceLog) << refusal << path;
        return false;
    }
    const QFileInfo info(path);
    return info.isSymLink() ? QFile::remove(path) : act(info);
}

bool PathGuard::removeFolder(const QString &path) const
{
    return guarded(*this, path, "Refusing to delete outside the repository folder:",
                   [&path](const QFileInfo &info) { return !info.exists() || QDir(path).removeRecursively(); });
}

bool PathGuard::removeFile(const QString &path) const
{
    return guarded(*this, path, "Refusing to delete outside the repository folder:",
                   [&path](const QFileInfo &info) { return !info.isDir() && QFile::remove(path); });
}

bool PathGuard::rename(const QString &from, const QString &to) const
{
    if (!allows(from) || !allows(to)) {
        qCDebug(serviceLog) << "Refusing to move outside the repository folder:" << from << to;
        return false;
    }
    return QDir().rename(from, to);
}

bool PathGuard::prepareWrite(const QString &filePath) const
{
    return guarded(*this, filePath, "Refusing to write outside the repository folder:",
                   [](const QFileInfo &info) { return !info.isDir(); });
}

bool PathGuard::dropPrivileges(const QString &path) const
{
    if (!allows(path))
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::lstat(name.constData(), &status) != 0 || S_ISLNK(status.st_mode))
        return false;
    if ((status.st_uid != ::geteuid() || status.st_gid != ::getegid())
        && ::lchown(name.constData(), ::geteuid(), ::getegid()) != 0)
        return false;
    // A change of owner may have cleared the bits already; chmod sets what is left exactly.
    return ::chmod(name.constData(), status.st_mode & 07777 & ~mode_t(S_ISUID | S_ISGID)) == 0;
}

} // namespace Internal
} // namespace Vantor
