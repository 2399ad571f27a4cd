#pragma once

#include "repository/repository.h"

#include <QString>

QT_BEGIN_NAMESPACE
class QDomElement;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Writes "examples-manifest.xml" and "example-icon.png" into the folder of an installed example,
// so that the host's examples browser lists it, and finds the values that go into them.
class ManifestWriter
{
public:
    static const QString &manifestFileName();
    static const QString &iconFileName();

    // The template is a parameter only so that its failures can be shown.
    static bool createManifest(const QString &repositoryName, const Repository::ExamplePtr &example,
                               const QString &templatePath = QStringLiteral(":/examples-manifest.xml"));

    static QString findProjectFile(const QString &folder);
    static QString findFileToOpen(const QString &folder);
    static QString findFileContaining(const QString &folder, const QString &pattern,
                                      const QString &text);
    static QString findIcon(const QString &folder);

    // XML 1.0 does not admit every character: the others are dropped, so that whatever a server
    // sends, the manifest stays well-formed.
    static QString xmlText(const QString &text);
    // Appends `text` as CDATA sections that read back as `text`: "]]>" cannot occur inside one.
    static void appendCData(QDomElement &element, const QString &text);
};

} // namespace Internal
} // namespace Vantor
