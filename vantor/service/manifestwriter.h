#pragma once

#include "repository/repository.h"

#include <QFileInfo>
#include <QHash>
#include <QString>

QT_BEGIN_NAMESPACE
class QDomElement;
class QImage;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Writes "examples-manifest.xml" and "example-icon.png" into the folder of an installed example,
// so that the host's examples browser lists it, and finds the values that go into them.
class ManifestWriter
{
public:
    static const QString &manifestFileName();
    // Every folder below `repositoryFolder` that holds a manifest is an installed example, named
    // after the folder: the manifests by that name, the first one found for each.
    static QHash<QString, QFileInfo> findManifests(const QString &repositoryFolder);
    static const QString &iconFileName();

    // Writes the manifest of `example` into its installed `folder`; `picture` is the record's,
    // already decoded. The template is a parameter only so that its failures can be shown.
    // `installedFolder`, when given, is where `folder` will be moved: the paths in the manifest name
    // that place, so that it can be written before the example is moved into place.
    static bool createManifest(const QString &repositoryName, const QString &folder,
                               const Repository::ExamplePtr &example, const QImage &picture,
                               const QString &templatePath = QStringLiteral(":/examples-manifest.xml"),
                               const QString &installedFolder = QString());

    // The searches look only at regular files inside `folder`, following a link only when its
    // target stays inside, and read at most the first MiB of a file: an example's content must
    // not make them block or read without end.
    static QString findProjectFile(const QString &folder);
    static QString findFileToOpen(const QString &folder);
    static QString findFileContaining(const QString &folder, const QString &pattern,
                                      const QString &text);
    static QString findIcon(const QString &folder);
    static constexpr qint64 MaximumReadBytes = 1 << 20;

    // XML 1.0 does not admit every character: the others are dropped, so that whatever a server
    // sends, the manifest stays well-formed.
    static QString xmlText(const QString &text);
    // Appends `text` as CDATA sections that read back as `text`: "]]>" cannot occur inside one.
    static void appendCData(QDomElement &element, const QString &text);

private:
    // A regular file (perhaps through links) whose real place is inside `canonicalFolder`.
    static bool isInsideFile(const QFileInfo &info, const QString &canonicalFolder);
};

} // namespace Internal
} // namespace Vantor
