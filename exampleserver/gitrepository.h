#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// A real git repository whose work tree is an ordinary folder. Every commit takes the folder as it
// is (added, changed and deleted files) and the archive is made by "git archive" itself, so it has
// exactly the layout a GitLab server sends: one top folder, entry times equal to the commit time
// and a pax global header carrying the commit id.
class GitRepository
{
public:
    // gitDir: where the repository's metadata lives (created on the first commit).
    GitRepository(const QString &gitDir, const QString &branch);

    // Commits the folder's current content with a fixed author and committer at the given date.
    bool commit(const QString &folder, const QDateTime &date, const QString &message);
    QString sha() const { return m_sha; }
    QString branch() const { return m_branch; }

    // "git archive --format=tar.gz --prefix=<prefix>/ <sha>" of the last commit.
    QByteArray archive(const QString &prefix);
    QString errorString() const { return m_error; }

private:
    bool git(const QStringList &arguments, const QDateTime &date = {}, QByteArray *output = nullptr);

    QString m_gitDir;
    QString m_branch;
    QString m_folder;
    QString m_sha;
    QString m_error;
};
