#pragma once

#include "repository/repository.h"

#include <QDateTime>
#include <QStringList>

namespace Vantor {
namespace Internal {

// What lies in a repository folder after an unpacking: which folders belong to an example, and
// whether the installed one holds the user's work.
class InstalledFolders
{
public:
    // Names of the folders in `repositoryFolder` that belong to the example with `path`, oldest
    // first; the last one is the one to keep. The folder named exactly `path` is the installed
    // version and counts as the oldest whenever others exist: an unpacked folder carries the
    // commit time, which may be older than the installed folder. Any other folder with a manifest
    // is an installed example of another path and never belongs to this one.
    static QStringList findUnpacked(const QString &repositoryFolder, const QString &path,
                                    const Repository::Examples &examples);

    static bool hasManifest(const QString &folder);

    // True when a file of the installed example `folder` changed after its manifest was written.
    // The manifest, the icon and the IDE's per-user ".user" files do not count. A folder without
    // a manifest is not known to be unchanged and counts as modified: before such a folder is
    // deleted it is kept as a backup, but it never stops a manifest from being written into it.
    static bool isModified(const QString &folder);

    // "<path>-<yyyyMMdd-HHmmss>", the name under which a modified example is kept.
    static QString backupName(const QString &path, const QDateTime &time);
};

} // namespace Internal
} // namespace Vantor
