#include "installedfolders.h"

#include "manifestwriter.h"

#include "plugin/logging.h"
#include "repository/example.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace Vantor {
namespace Internal {

QStringList InstalledFolders::findUnpacked(const QString &repositoryFolder, const QString &path,
                                           const Repository::Examples &examples)
{
    // setNameFilters, not the constructor's filter text, which would split a name at blanks.
    QDir folder(repositoryFolder);
    folder.setNameFilters({path + QLatin1Char('*')});
    folder.setSorting(QDir::Time | QDir::Reversed);
    folder.setFilter(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList names = folder.entryList();

    // Folders of "demo-chart" also match "demo*" but are not this example's.
    QStringList longerPaths;
    for (const Repository::ExamplePtr &example : examples) {
        const QString other = example->json().value(QLatin1String("path")).toString();
        if (other.size() > path.size())
            longerPaths.append(other);
    }
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&longerPaths](const QString &name) {
                                   return std::any_of(longerPaths.cbegin(), longerPaths.cend(),
                                                      [&name](const QString &other) {
                                                          return name.startsWith(other);
                                                      });
                               }),
                names.end());

    // Unpacked folders and leftovers of failed unpackings have no manifest yet. One that has it is
    // the installed example of another path, maybe one the server no longer lists.
    const auto installedElsewhere = [&folder, &path](const QString &name) {
        if (name == path || !hasManifest(folder.filePath(name)))
            return false;
        qCDebug(serviceLog) << "Skip folder of another example:" << name;
        return true;
    };
    names.erase(std::remove_if(names.begin(), names.end(), installedElsewhere), names.end());

    if (names.size() > 1 && names.removeOne(path))
        names.prepend(path);
    return names;
}

bool InstalledFolders::hasManifest(const QString &folder)
{
    return QFileInfo(folder + QLatin1Char('/') + ManifestWriter::manifestFileName()).isFile();
}

bool InstalledFolders::isModified(const QString &folder)
{
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir())
        return false;
    const QString root = folderInfo.absoluteFilePath();
    const QFileInfo manifest(root + QLatin1Char('/') + ManifestWriter::manifestFileName());
    if (!manifest.isFile())
        return true;
    const QString icon = root + QLatin1Char('/') + ManifestWriter::iconFileName();
    const QDateTime written = manifest.lastModified();

    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString filePath = it.next();
        if (filePath == manifest.absoluteFilePath() || filePath == icon
            || filePath.endsWith(QLatin1String(".user"))) {
            continue;
        }
        if (it.fileInfo().lastModified() > written)
            return true;
    }
    return false;
}

QString InstalledFolders::backupName(const QString &path, const QDateTime &time)
{
    return path + QLatin1Char('-') + time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace Internal
} // namespace Vantor
