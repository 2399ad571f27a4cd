#pragma once

#include <QString>
#include <QStringList>

namespace Vantor {
namespace Internal {

// Keeps every delete, move and write of the installation below the repository folder and its
// backup folder. Names come from servers, archives and settings, and an unpacked archive may
// hold symbolic links, so each operation is checked against where it would really act.
class PathGuard
{
public:
    explicit PathGuard(const QString &repositoryName);

    QString repositoryFolder() const { return m_repositoryFolder; }
    // Where modified examples are kept instead of being deleted.
    QString backupFolder() const { return m_backupFolder; }

    // True when an unlink or rename of `path` acts strictly below one of the two folders: every
    // folder above the last name is resolved, the last name itself is not followed.
    bool allows(const QString &path) const;
    static bool isBelow(const QString &path, const QStringList &roots);

    // Each one refuses (with a debug message) what allows() rejects. A symbolic link is removed
    // as a link, never followed into its target.
    bool removeFolder(const QString &path) const;
    // Removes anything that is not a folder: a file, link, FIFO, socket or device node.
    bool removeFile(const QString &path) const;
    bool rename(const QString &from, const QString &to) const;
    // Makes `filePath` safe to open for writing: allowed, and no symbolic link in its place.
    bool prepareWrite(const QString &filePath) const;
    // Clears the setuid and setgid bits of `path` and, where the archive set another owner (only
    // possible when running as root), gives it to the running user. Links are left alone.
    bool dropPrivileges(const QString &path) const;

private:
    QString m_repositoryFolder;
    QString m_backupFolder;
    bool m_safeName = false;
};

} // namespace Internal
} // namespace Vantor
