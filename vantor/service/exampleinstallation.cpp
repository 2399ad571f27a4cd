#include "exampleinstallation.h"

#include "backgroundwork.h"
#include "manifestwriter.h"
#include "unpacker.h"

#include "plugin/logging.h"
#include "plugin/pathtemplates.h"
#include "repository/example.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace Vantor {
namespace Internal {

namespace {

const QString stagingPrefix = QStringLiteral(".unpack-");
const QString lockSuffix = QStringLiteral(".lock");
const QString unpackedName = QStringLiteral("archive");
const QString previousName = QStringLiteral("previous");
const QString recordFileName = QStringLiteral(".examples-installed");

QString tooLargeStatus(const Repository::ExamplePtr &example)
{
    return QCoreApplication::translate("Vantor::Internal::DownloadService",
                                       "Unpacking cancelled, example %1 is larger than %2 MiB or %3 files")
        .arg(example->name())
        .arg(ExampleInstallation::MaximumUnpackedBytes >> 20)
        .arg(ExampleInstallation::MaximumUnpackedEntries);
}

// The data folder refused the staging folder or a file in it.
Problem stagingProblem()
{
    return Problem(Problem::LocalError, QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                                    "There was an error while unarchiving"));
}

// "<temporary folder>/<path>-XXXXXX.tar.gz" for the staging folder ".unpack-<path>-XXXXXX": where
// older versions saved the archive.
QString temporaryArchive(const QString &stagingName)
{
    const QString folder = QDir::tempPath();
    // An unusable temporary folder reads as empty: the file would land in the root folder.
    if (folder.isEmpty())
        return QString();
    return folder + QDir::separator() + stagingName.mid(stagingPrefix.size())
           + QLatin1String(".tar.gz");
}

// A lock that only a living process holds: never taken over for its age, a long unpacking is no sign of death.
std::unique_ptr<QLockFile> stagingLock(const QString &staging)
{
    auto lock = std::make_unique<QLockFile>(staging + lockSuffix);
    lock->setStaleLockTime(0);
    return lock;
}

// Makes the staging folder "<base>XXXXXX" once its lock is taken, so that no other process finds
// the folder without it. Returns the folder, or nothing when none could be made.
QString createStaging(const QString &base, std::unique_ptr<QLockFile> &lock)
{
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString staging = base;
        for (int i = 0; i < 6; ++i)
            staging += QLatin1Char(characters[QRandomGenerator::global()->bounded(62)]);
        lock = stagingLock(staging); // one taken in a failed attempt is given back
        if (!lock->tryLock(0)) {
            if (lock->error() == QLockFile::LockFailedError)
                continue; // a living process holds that name
            break;
        }
        if (::mkdir(QFile::encodeName(staging).constData(), 0700) == 0)
            return staging;
        if (errno != EEXIST)
            break;
    }
    lock.reset();
    return QString();
}

bool isInside(const QString &path, const QString &root)
{
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

bool removeEntry(const PathGuard &guard, const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink() ? guard.removeFolder(path) : guard.removeFile(path);
}

// Size and modification time of every file below `root`, except what the installation itself
// writes and the IDE's per-user ".user" files.
QJsonObject fileStates(const QString &root)
{
    QJsonObject states;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString relative = it.next().mid(root.size() + 1);
        if (relative == ManifestWriter::manifestFileName() || relative == ManifestWriter::iconFileName()
            || relative == recordFileName || relative.endsWith(QLatin1String(".user")))
            continue;
        const QFileInfo &info = it.fileInfo();
        states.insert(relative, QJsonArray{info.size(), info.lastModified().toMSecsSinceEpoch()});
    }
    return states;
}

// A link stays only when it is relative and leads to something inside the example: one that
// leads nowhere now may lead out later, and an absolute one leads out once the folder moves.
bool leadsInside(const QString &link, const QString &canonicalRoot)
{
    char first = 0;
    if (::readlink(QFile::encodeName(link).constData(), &first, 1) != 1 || first == '/')
        return false;
    const QString resolved = QFileInfo(link).canonicalFilePath();
    return !resolved.isEmpty() && isInside(resolved, canonicalRoot);
}

// Removes from `root` what a later reader or the user's tools could be turned against: special
// files, links that leave it, hard links to files elsewhere; clears setuid and setgid bits.
void clean(const QString &root, const PathGuard &guard)
{
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());

    const auto remove = [&guard, &root](const QString &path, const char *reason) {
        qCDebug(serviceLog) << "Removed from unpacked example:" << path.mid(root.size() + 1) << reason;
        removeEntry(guard, path);
    };
    QStringList links;
    QHash<ino_t, QStringList> names; // of files with more than one name, by inode
    QHash<ino_t, nlink_t> nameCounts;
    for (const QString &path : qAsConst(paths)) {
        // At any depth: ours is written at the top afterwards, any other would be listed as an example.
        if (path.endsWith(QLatin1Char('/') + ManifestWriter::manifestFileName())) {
            remove(path, "an archive's own manifest");
            continue;
        }
        struct stat status;
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
            continue;
        if (S_ISLNK(status.st_mode)) {
            links.append(path);
            continue;
        }
        if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode) || S_ISCHR(status.st_mode)
            || S_ISBLK(status.st_mode)) {
            remove(path, "special file");
            continue;
        }
        if (S_ISREG(status.st_mode) && status.st_nlink > 1) {
            names[status.st_ino].append(path);
            nameCounts.insert(status.st_ino, status.st_nlink);
        }
        if ((status.st_mode & (S_ISUID | S_ISGID)) || status.st_uid != ::geteuid()
            || status.st_gid != ::getegid()) {
            qCDebug(serviceLog) << "Cleared privileges in unpacked example:" << path.mid(root.size() + 1);
            guard.dropPrivileges(path);
        }
    }
    // After the special files, so that a link to one leads nowhere.
    for (const QString &link : qAsConst(links)) {
        if (!leadsInside(link, canonicalRoot))
            remove(link, "link leaving the example or leading nowhere");
    }
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (nlink_t(it.value().size()) < nameCounts.value(it.key())) {
            for (const QString &path : it.value())
                remove(path, "hard link to a file elsewhere");
        }
    }
    // Ours replaces it.
    const QFileInfo record(root + QLatin1Char('/') + recordFileName);
    if (record.exists() || record.isSymLink())
        remove(record.filePath(), "the installation writes its own");
}

// Why an archive is not unpacked at all: what it would write is too much, or would leave the
// example, or is what the cleaning removes anyway and must not be made in the first place.
Problem refusal(const ArchiveContents &contents, const Repository::ExamplePtr &example)
{
    using Verdict = ArchiveContents::Verdict;
    switch (contents.verdict()) {
    case Verdict::TooManyEntries:
    case Verdict::TooLarge:
        return Problem(Problem::TooLarge, tooLargeStatus(example));
    case Verdict::Unreadable:
        qCDebug(serviceLog) << "Unreadable archive:" << contents.refusalDetail();
        return Problem(Problem::NotAnArchive,
                       QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                   "The archive of example %1 is damaged or not a .tar.gz archive")
                           .arg(example->name()));
    case Verdict::UnsafeName:
        return Problem(Problem::Refused, QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                                     "Example %1 is not installed: its archive holds "
                                                                     "a name that leads out of its folder: %2")
                                             .arg(example->name(), contents.refusalDetail()));
    case Verdict::Accepted:
        break;
    }
    using Type = ArchiveContents::Type;
    for (const ArchiveContents::Entry &entry : contents.specialEntries()) {
        if (entry.type != Type::SymbolicLink && entry.type != Type::HardLink) {
            return Problem(Problem::Refused, QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                                         "Example %1 is not installed: its archive "
                                                                         "holds a device, pipe or socket: %2")
                                                 .arg(example->name(), entry.name));
        }
    }
    return Problem();
}

// Cleaned, and given its manifest and the record of its files here, away from the GUI thread: what
// is left for the GUI thread is the move into place.
ExampleInstallation::Prepared prepare(const QString &unpacked, const PathGuard &guard,
                                      const Repository::ExamplePtr &example, const QString &repositoryName,
                                      const QString &installedFolder)
{
    ExampleInstallation::Prepared result;
    result.unpacked = true;
    // The single top folder, or the whole content when the archive has several top entries.
    const QStringList top = QDir(unpacked).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                                                     | QDir::NoDotAndDotDot);
    const QFileInfo single(unpacked + QLatin1Char('/') + top.value(0));
    result.version = top.size() == 1 && single.isDir() && !single.isSymLink()
                         ? single.absoluteFilePath() : unpacked;
    clean(result.version, guard);
    const QJsonObject record = fileStates(result.version);
    result.described = ManifestWriter::createManifest(repositoryName, result.version, example, example->image(),
                                                      QStringLiteral(":/examples-manifest.xml"), installedFolder);
    if (!result.described)
        return result;
    const QString recordPath = result.version + QLatin1Char('/') + recordFileName;
    QSaveFile recordFile(recordPath);
    if (!guard.prepareWrite(recordPath) || !recordFile.open(QIODevice::WriteOnly)
        || recordFile.write(QJsonDocument(record).toJson(QJsonDocument::Compact)) < 0 || !recordFile.commit()) {
        qCDebug(serviceLog) << "Unable to record the installed files:" << recordPath;
    }
    return result;
}

// Examples without a record keep the older rule: any file newer than the manifest.
bool changedSinceManifest(const QString &folder)
{
    const QFileInfo manifest(folder + QLatin1Char('/') + ManifestWriter::manifestFileName());
    if (!manifest.isFile())
        return true;
    const QDateTime written = manifest.lastModified();
    const QJsonObject states = fileStates(folder);
    for (auto it = states.begin(); it != states.end(); ++it) {
        if (QDateTime::fromMSecsSinceEpoch(qint64(it.value().toArray().at(1).toDouble())) > written)
            return true;
    }
    return false;
}

// True when the user changed a file of the installed example `folder` or added one.
bool isModified(const QString &folder)
{
    QFile recordFile(folder + QLatin1Char('/') + recordFileName);
    const QFileInfo recordInfo(recordFile.fileName());
    if (!recordInfo.isFile() || recordInfo.isSymLink() || !recordFile.open(QIODevice::ReadOnly))
        return changedSinceManifest(folder);
    const QJsonObject recorded = QJsonDocument::fromJson(recordFile.read(16 << 20)).object();
    const QJsonObject current = fileStates(folder);
    for (auto it = current.begin(); it != current.end(); ++it) {
        if (recorded.value(it.key()) != it.value())
            return true;
    }
    return false;
}

} // namespace

ExampleInstallation::ExampleInstallation(const QString &repositoryName, const QString &path,
                                         const Repository::ExamplePtr &example, BackgroundWork *background,
                                         QObject *parent)
    : QObject(parent)
    , m_repositoryName(repositoryName)
    , m_example(example)
    , m_path(path)
    , m_background(background)
    , m_guard(repositoryName)
    , m_folder(examplePathTemplate().arg(repositoryName, path))
{
    connect(&m_contents, &QFutureWatcher<ArchiveContents>::finished, this, &ExampleInstallation::onRead);
    connect(&m_preparation, &QFutureWatcher<Prepared>::finished, this, &ExampleInstallation::onPrepared);
}

ExampleInstallation::~ExampleInstallation()
{
    // Work not started yet does not start, and an unpacking under way stops at its next block:
    // waiting here holds the GUI thread.
    *m_cancelled = true;
    m_contents.cancel();
    m_preparation.cancel();
    m_contents.waitForFinished();
    m_preparation.waitForFinished();
    cleanUp();
}

bool ExampleInstallation::isReservedName(const QString &name)
{
    return name.startsWith(stagingPrefix);
}

void ExampleInstallation::removeLeftovers(const QString &repositoryName)
{
    const PathGuard guard(repositoryName);
    const QDir folder(guard.repositoryFolder());
    const QStringList names = folder.entryList({stagingPrefix + QLatin1Char('*')},
                                               QDir::AllEntries | QDir::Hidden | QDir::System
                                                   | QDir::NoDotAndDotDot);
    QStringList stagings;
    for (const QString &name : names) {
        // A lock stands for its folder, also when the folder is gone; QLockFile's ".rmlock" is its own.
        const QString staging = name.endsWith(lockSuffix) ? name.chopped(lockSuffix.size()) : name;
        if (!name.endsWith(QLatin1String(".rmlock")) && !stagings.contains(staging))
            stagings.append(staging);
    }
    for (const QString &name : qAsConst(stagings)) {
        // Taken also where there is no lock file; given back (and its file removed) at the end.
        const auto lock = stagingLock(folder.filePath(name));
        if (!lock->tryLock(0)) {
            qCDebug(serviceLog) << "Leaving the installation of a running process:" << name;
            continue;
        }
        qCDebug(serviceLog) << "Removing unfinished installation:" << name;
        removeEntry(guard, folder.filePath(name));
        const QString archive = temporaryArchive(name);
        if (!archive.isEmpty())
            QFile::remove(archive);
    }
}

QFuture<QString> ExampleInstallation::prepareStaging()
{
    m_stagingMade = m_background->runAhead([this] { return makeStaging(); });
    return m_stagingMade;
}

QString ExampleInstallation::makeStaging()
{
    QDir().mkpath(m_guard.repositoryFolder());
    m_staging = createStaging(m_guard.repositoryFolder() + QDir::separator() + stagingPrefix + m_path
                                  + QLatin1Char('-'),
                              m_stagingLock);
    // The unpacker's folder too: a folder takes the disk long to make.
    if (m_staging.isEmpty() || !QDir(m_staging).mkdir(unpackedName))
        return QString();
    // The download only opens it: it never makes a file of its own in the staging folder.
    const QString archiveFile = m_staging + QLatin1Char('/') + m_path + QLatin1String(".tar.gz");
    QFile file(archiveFile);
    if (m_guard.prepareWrite(archiveFile) && file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        m_archiveFile = archiveFile;
    return m_archiveFile;
}

void ExampleInstallation::start()
{
    m_stagingMade.waitForFinished();
    if (m_archiveFile.isEmpty()) {
        finish(false, stagingProblem());
        return;
    }
    emit statusChanged(QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                   "Unpacking example: %1").arg(m_example->name()));
    if (QFileInfo(m_archiveFile).size() == 0) {
        finish(false, Problem(Problem::NotAnArchive,
                              QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                          "The data is not downloaded for example: %1")
                                  .arg(m_example->name())));
        return;
    }
    // Read through before a byte is unpacked: the limits count what the data really holds, not
    // what its headers claim, and a bomb is found without writing it.
    m_contents.setFuture(m_background->run([archive = m_archiveFile] {
        return ArchiveContents::readFile(archive, ArchiveContents::Limits(MaximumUnpackedBytes, MaximumUnpackedEntries));
    }));
}

void ExampleInstallation::onRead()
{
    const Problem refused = refusal(m_contents.result(), m_example);
    if (!refused.isNull()) {
        finish(false, refused);
        return;
    }
    m_preparation.setFuture(m_background->run([archive = m_archiveFile, unpacked = m_staging + QLatin1Char('/') + unpackedName,
                                                  guard = m_guard, example = m_example, repository = m_repositoryName,
                                                  folder = m_folder, cancelled = m_cancelled] {
        Unpacker unpacker(archive, unpacked);
        if (!unpacker.unpack(*cancelled)) {
            qCDebug(archiveLog) << "Unpacking failed:" << unpacker.errorString();
            return Prepared();
        }
        guard.removeFile(archive); // its space is free while the rest goes on
        return prepare(unpacked, guard, example, repository, folder);
    }));
}

void ExampleInstallation::onPrepared()
{
    const Prepared prepared = m_preparation.result();
    if (!prepared.unpacked) {
        // A broken archive and a full disk look alike from here.
        finish(false, Problem(Problem::NotAnArchive,
                              QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                          "There was an error while unarchiving")));
        return;
    }
    const Problem refusal = m_registrationCheck ? m_registrationCheck() : Problem();
    if (!refusal.isNull()) {
        finish(false, refusal);
        return;
    }
    // A new version without a manifest never replaces the working one.
    if (!prepared.described) {
        finish(false, Problem(Problem::NoProjectFile,
                              QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                          "There was an error while creating example mainfest")));
        return;
    }
    m_registered = true;
    Problem replaceProblem;
    if (!replaceInstalled(prepared.version, &replaceProblem)) {
        finish(false, replaceProblem);
        return;
    }
    finish(true);
}

// Moves the installed version aside (into the staging folder, which goes at the end) or into the
// backup folder when the user changed it, then the new version into its place.
bool ExampleInstallation::replaceInstalled(const QString &version, Problem *problem)
{
    const QFileInfo installed(m_folder);
    const QString previous = m_staging + QLatin1Char('/') + previousName;
    if (installed.isSymLink()) {
        m_guard.removeFile(m_folder); // never followed
    } else if (installed.isDir() && isModified(m_folder)) {
        QDir().mkpath(m_guard.backupFolder());
        const QString base = m_guard.backupFolder() + QDir::separator() + m_path + QLatin1Char('-')
                             + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        QString backup = base;
        for (int n = 2; QFileInfo::exists(backup); ++n)
            backup = base + QLatin1Char('-') + QString::number(n);
        if (!m_guard.rename(m_folder, backup)) {
            *problem = Problem(Problem::LocalError,
                               QCoreApplication::translate(
                                   "Vantor::Internal::DownloadService",
                                   "Example %1 was modified and could not be kept as a backup, so it was not updated")
                                   .arg(m_path));
            return false;
        }
        emit noticed(Problem(Problem::BackupKept,
                             QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                         "Example %1 was modified; the previous version was kept in: %2")
                                 .arg(m_path, QDir::toNativeSeparators(backup))));
    } else if (installed.exists()) {
        if (m_guard.rename(m_folder, previous))
            m_previous = previous;
        else
            removeEntry(m_guard, m_folder);
    }
    if (!m_guard.rename(version, m_folder)) {
        if (!m_previous.isEmpty())
            m_guard.rename(m_previous, m_folder);
        *problem = Problem(Problem::LocalError, QCoreApplication::translate("Vantor::Internal::DownloadService",
                                                                            "Unable to move example %1 into place")
                                                    .arg(m_path));
        return false;
    }
    return true;
}

void ExampleInstallation::finish(bool installed, const Problem &problem)
{
    if (m_finished)
        return;
    m_finished = true;
    m_problem = problem;
    cleanUp();
    emit finished(installed);
}

void ExampleInstallation::cleanUp()
{
    // One that has not started yet does not start any more.
    m_stagingMade.cancel();
    m_stagingMade.waitForFinished();
    *m_cancelled = true;
    if (m_staging.isEmpty())
        return;
    // Away from the GUI thread: freeing a file's blocks may wait for the disk.
    m_background->run([guard = m_guard, staging = m_staging,
                         lock = std::shared_ptr<QLockFile>(std::move(m_stagingLock))] {
        guard.removeFolder(staging);
        // Only now: another process may remove the folder once it can take the lock.
        if (lock)
            lock->unlock();
    });
    m_staging.clear();
}

} // namespace Internal
} // namespace Vantor
