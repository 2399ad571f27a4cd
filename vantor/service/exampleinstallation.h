#pragma once

#include "pathguard.h"

#include "repository/problem.h"
#include "repository/repository.h"

#include <QFutureWatcher>
#include <QImage>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

QT_BEGIN_NAMESPACE
class QLockFile;
QT_END_NAMESPACE

namespace Utils {
class Archive;
} // namespace Utils

namespace Vantor {
namespace Internal {

// The installation of one downloaded example: its archive is saved as a temporary file and
// unpacked into a staging folder of its own, cleaned of what an archive must not leave behind,
// and moved into "<repository folder>/<path>" by one rename once the previous version is gone or
// kept as a backup. Then its manifest and the record of its files are written. Nothing of another
// example is looked at; the staging folder and the temporary file go whatever the outcome.
// The staging folder's lock "<staging folder>.lock" beside it is held until the folder is gone, so
// that another process sharing the data folder leaves the folder alone.
class ExampleInstallation : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MaximumUnpackedBytes = qint64(1) << 30;
    static constexpr int MaximumUnpackedEntries = 100000;

    ExampleInstallation(const QString &repositoryName, const QString &path,
                        const Repository::ExamplePtr &example, QObject *parent = nullptr);
    ~ExampleInstallation() override;

    // Asked right before the new version replaces the installed one; a problem refuses it.
    void setRegistrationCheck(const std::function<Problem()> &check) { m_registrationCheck = check; }
    // Starts; finished() follows, also when nothing could be started.
    void start(const QByteArray &archive);
    // True once the example's folder was dealt with, whatever the result: listeners re-read it.
    bool hasRegistered() const { return m_registered; }
    // Why it was not installed.
    Problem problem() const { return m_problem; }

    // Folders and files the installation uses beside the examples; no example path may be one.
    static bool isReservedName(const QString &name);
    // Staging folders and their temporary archives left by a run that ended before cleaning up:
    // those whose lock no living process holds, and those without a lock (of older versions).
    static void removeLeftovers(const QString &repositoryName);

    // What a cleaned staging folder holds, worked out away from the GUI thread.
    struct Prepared
    {
        QString version;      // the folder that becomes the example's folder
        QString refusal;      // a status when the unpacked content is refused
        QJsonObject record;   // the installed files
        QImage picture;       // the record's picture, decoded
    };

signals:
    // Progress.
    void statusChanged(const QString &status);
    // Worth telling although the installation goes on.
    void noticed(const Vantor::Internal::Problem &problem);
    // Exactly once: true when the new version is in place with its manifest.
    void finished(bool installed);

private:
    void onUnpacked(bool success);
    void onPrepared();
    // Stops an unpacking that grew past the limits.
    void cancelUnpacking();
    bool replaceInstalled(const QString &version, Problem *problem);
    void finish(bool installed, const Problem &problem = {});
    void cleanUp();

    const QString m_repositoryName;
    const Repository::ExamplePtr m_example;
    const QString m_path;
    const PathGuard m_guard;
    const QString m_folder;      // "<repository folder>/<path>"
    QString m_staging;           // ".unpack-<path>-XXXXXX" in the repository folder
    std::unique_ptr<QLockFile> m_stagingLock; // "<m_staging>.lock", taken before the folder is made
    QString m_previous;          // the replaced version, moved aside into the staging folder
    QString m_temporaryFile;     // "<temporary folder>/<path>-XXXXXX.tar.gz", same six characters
    QPointer<Utils::Archive> m_archive;
    QTimer m_sizeTimer;
    QFutureWatcher<qint64> m_sizeWatcher;
    QFutureWatcher<Prepared> m_preparation;
    int m_unpackedLines = 0;
    bool m_limitReached = false;
    std::function<Problem()> m_registrationCheck;
    Problem m_problem;
    bool m_registered = false;
    bool m_finished = false;
};

} // namespace Internal
} // namespace Vantor
