#pragma once

#include "archivecontents.h"
#include "pathguard.h"

#include "repository/problem.h"
#include "repository/repository.h"

#include <QFuture>
#include <QFutureWatcher>
#include <QImage>
#include <QJsonObject>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QLockFile;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class BackgroundWork;

// The installation of one example: before its download, a staging folder of its own with the file
// the archive is downloaded into. Once downloaded, the archive's contents are read through and
// checked against the limits and for names and entries an example must not have, before anything is
// unpacked; then it is unpacked into the staging folder, cleaned of what an archive must not leave
// behind, and moved into "<repository folder>/<path>" by one rename once the previous version is
// gone or kept as a backup. Then its manifest and the record of its files are written. Nothing of
// another example is looked at; the staging folder goes whatever the outcome.
// The staging folder's lock "<staging folder>.lock" beside it is held until the folder is gone, so
// that another process sharing the data folder leaves the folder alone.
class ExampleInstallation : public QObject
{
    Q_OBJECT

public:
    // What an archive may unpack to, files' bytes and entries, as reading it through finds them.
    static constexpr qint64 MaximumUnpackedBytes = qint64(1) << 30;
    static constexpr int MaximumUnpackedEntries = 100000;

    ExampleInstallation(const QString &repositoryName, const QString &path,
                        const Repository::ExamplePtr &example, BackgroundWork *background,
                        QObject *parent = nullptr);
    ~ExampleInstallation() override;

    // Asked right before the new version replaces the installed one; a problem refuses it.
    void setRegistrationCheck(const std::function<Problem()> &check) { m_registrationCheck = check; }
    // Starts making the staging folder and the empty file the archive is downloaded into, away from
    // the GUI thread: the disk takes a while over a lock file. The future gives the file; nothing
    // when the disk refused.
    QFuture<QString> prepareStaging();
    // Checks and installs the downloaded archive; finished() follows, also when nothing could be started.
    void start();
    // True once the example's folder was dealt with, whatever the result: listeners re-read it.
    bool hasRegistered() const { return m_registered; }
    // Why it was not installed.
    Problem problem() const { return m_problem; }

    // Folders and files the installation uses beside the examples; no example path may be one.
    static bool isReservedName(const QString &name);
    // Staging folders left by a run that ended before cleaning up: those whose lock no living
    // process holds, and those without a lock (of older versions, with their temporary archives).
    static void removeLeftovers(const QString &repositoryName);

    // What a cleaned staging folder holds, worked out away from the GUI thread.
    struct Prepared
    {
        bool unpacked = false;  // every entry written
        QString version;        // the folder that becomes the example's folder
        bool described = false; // its manifest is written
    };

signals:
    // Progress.
    void statusChanged(const QString &status);
    // Worth telling although the installation goes on.
    void noticed(const Vantor::Internal::Problem &problem);
    // Exactly once: true when the new version is in place with its manifest.
    void finished(bool installed);

private:
    QString makeStaging(); // in a pool thread, before anything else touches the staging members
    void onRead();
    void onPrepared();
    bool replaceInstalled(const QString &version, Problem *problem);
    void finish(bool installed, const Problem &problem = {});
    void cleanUp();

    const QString m_repositoryName;
    const Repository::ExamplePtr m_example;
    const QString m_path;
    BackgroundWork *const m_background;
    const PathGuard m_guard;
    const QString m_folder;      // "<repository folder>/<path>"
    QString m_staging;           // ".unpack-<path>-XXXXXX" in the repository folder
    std::unique_ptr<QLockFile> m_stagingLock; // "<m_staging>.lock", taken before the folder is made
    QString m_previous;          // the replaced version, moved aside into the staging folder
    QString m_archiveFile;       // "<m_staging>/<path>.tar.gz"
    QFuture<QString> m_stagingMade;
    // Set when the installation ends or goes: an unpacking under way stops at its next block.
    const std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    QFutureWatcher<ArchiveContents> m_contents;
    QFutureWatcher<Prepared> m_preparation;
    std::function<Problem()> m_registrationCheck;
    Problem m_problem;
    bool m_registered = false;
    bool m_finished = false;
};

} // namespace Internal
} // namespace Vantor
