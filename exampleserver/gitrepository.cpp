#include "gitrepository.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

GitRepository::GitRepository(const QString &gitDir, const QString &branch)
    : m_gitDir(gitDir)
    , m_branch(branch)
{}

bool GitRepository::commit(const QString &folder, const QDateTime &date, const QString &message)
{
    m_folder = QFileInfo(folder).absoluteFilePath();
    if (!QFileInfo(m_folder).isDir()) {
        m_error = QStringLiteral("Not a folder: %1").arg(folder);
        return false;
    }
    if (!QFileInfo::exists(m_gitDir + QStringLiteral("/HEAD"))) {
        QDir().mkpath(m_gitDir);
        if (!git({QStringLiteral("init"), QStringLiteral("--quiet"), QStringLiteral("--bare"),
                  QStringLiteral("--initial-branch=") + m_branch, m_gitDir}))
            return false;
    }
    QByteArray sha;
    if (!git({QStringLiteral("add"), QStringLiteral("--all"), QStringLiteral(".")})
        || !git({QStringLiteral("commit"), QStringLiteral("--quiet"), QStringLiteral("--allow-empty"),
                 QStringLiteral("--no-verify"), QStringLiteral("--message"), message}, date)
        || !git({QStringLiteral("rev-parse"), QStringLiteral("HEAD")}, {}, &sha))
        return false;
    m_sha = QString::fromLatin1(sha.trimmed());
    return true;
}

QByteArray GitRepository::archive(const QString &prefix)
{
    QByteArray bytes;
    if (m_sha.isEmpty()
        || !git({QStringLiteral("archive"), QStringLiteral("--format=tar.gz"),
                 QStringLiteral("--prefix=") + prefix + QLatin1Char('/'), m_sha}, {}, &bytes))
        return {};
    return bytes;
}

bool GitRepository::git(const QStringList &arguments, const QDateTime &date, QByteArray *output)
{
    // Nothing of the user's or the system's git configuration may change the result.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GIT_CONFIG_NOSYSTEM"), QStringLiteral("1"));
    environment.insert(QStringLiteral("GIT_CONFIG_GLOBAL"), QStringLiteral("/dev/null"));
    if (arguments.first() != QLatin1String("init")) {
        environment.insert(QStringLiteral("GIT_DIR"), m_gitDir);
        environment.insert(QStringLiteral("GIT_WORK_TREE"), m_folder);
    }
    const QString when = QString::number(date.isValid() ? date.toSecsSinceEpoch() : 0)
                         + QStringLiteral(" +0000");
    for (const QString &role : {QStringLiteral("AUTHOR"), QStringLiteral("COMMITTER")}) {
        environment.insert(QStringLiteral("GIT_%1_NAME").arg(role), QStringLiteral("Example Maintainer"));
        environment.insert(QStringLiteral("GIT_%1_EMAIL").arg(role), QStringLiteral("examples@example.org"));
        environment.insert(QStringLiteral("GIT_%1_DATE").arg(role), when);
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(m_folder.isEmpty() ? m_gitDir : m_folder);
    const QStringList options = {QStringLiteral("-c"), QStringLiteral("core.autocrlf=false"),
                                 QStringLiteral("-c"), QStringLiteral("commit.gpgsign=false")};
    process.start(QStringLiteral("git"), options + arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = QStringLiteral("git %1 failed: %2").arg(arguments.join(QLatin1Char(' ')),
                                                           QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}
