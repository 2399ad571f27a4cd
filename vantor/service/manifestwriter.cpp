#include "manifestwriter.h"

#include "pathguard.h"

#include "plugin/logging.h"
#include "repository/example.h"

#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

namespace Vantor {
namespace Internal {

const QString &ManifestWriter::manifestFileName()
{
    static const QString name = QStringLiteral("examples-manifest.xml");
    return name;
}

QHash<QString, QFileInfo> ManifestWriter::findManifests(const QString &repositoryFolder)
{
    QHash<QString, QFileInfo> found;
    QDirIterator walk(repositoryFolder, QStringList(manifestFileName()),
                      QDir::Files | QDir::Readable | QDir::CaseSensitive, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        walk.next();
        const QString path = walk.fileInfo().dir().dirName();
        if (!found.contains(path))
            found.insert(path, walk.fileInfo());
    }
    return found;
}

const QString &ManifestWriter::iconFileName()
{
    static const QString name = QStringLiteral("example-icon.png");
    return name;
}

bool ManifestWriter::createManifest(const QString &repositoryName, const QString &folder,
                                    const Repository::ExamplePtr &example, const QImage &picture,
                                    const QString &templatePath, const QString &installedFolder)
{
    // A path below `folder` (or its canonical form) as it will read once the folder is in its place.
    const QFileInfo target(installedFolder);
    const QString canonicalTarget = QFileInfo(target.absolutePath()).canonicalFilePath() + QLatin1Char('/')
                                    + target.fileName();
    const auto installed = [&](const QString &path, bool canonical) {
        const QString base = canonical ? QFileInfo(folder).canonicalFilePath() : folder;
        if (installedFolder.isEmpty() || !path.startsWith(base + QLatin1Char('/')))
            return path;
        return (canonical ? canonicalTarget : installedFolder) + path.mid(base.size());
    };
    QDomDocument document(QStringLiteral("document"));
    QFile templateFile(templatePath);
    if (!templateFile.open(QIODevice::ReadOnly)) {
        qCDebug(serviceLog) << "Internal manifest XML error: file not found";
        return false;
    }
    QString errorText;
    int errorLine = -1;
    int errorColumn = -1;
    if (!document.setContent(&templateFile, &errorText, &errorLine, &errorColumn)) {
        templateFile.close();
        qCDebug(serviceLog) << "Internal manifest XML error:" << errorText << errorLine << errorColumn;
        return false;
    }
    templateFile.close();

    const QDomNodeList roots = document.elementsByTagName(QStringLiteral("instructionals"));
    if (roots.isEmpty()) {
        qCDebug(serviceLog) << "Internal manifest XML error: element \"instructionals\" not found";
        return false;
    }
    QDomElement root = roots.at(0).toElement();
    root.setAttribute(QStringLiteral("module"), xmlText(repositoryName));

    const QJsonObject &json = example->json();
    const QString name = json.value(QLatin1String("name")).toString();
    QDomElement exampleElement = root.firstChildElement(QStringLiteral("examples"))
                                     .firstChildElement(QStringLiteral("example"));
    exampleElement.setAttribute(QStringLiteral("name"), xmlText(name));

    const QString projectFile = findProjectFile(folder);
    if (projectFile.isEmpty()) {
        qCDebug(serviceLog) << "Project file not found";
        return false;
    }
    exampleElement.setAttribute(QStringLiteral("projectPath"), xmlText(projectFile));

    const PathGuard guard(repositoryName);
    if (!picture.isNull()) {
        const QString iconPath = folder + QDir::separator() + iconFileName();
        // A picture that cannot be saved is not worth failing the installation for.
        if (guard.prepareWrite(iconPath))
            picture.save(iconPath);
        exampleElement.setAttribute(QStringLiteral("imageUrl"),
                                    xmlText(installed(iconPath, false)));
    } else {
        qCDebug(serviceLog) << "Repository contains no image for example:" << name;
        exampleElement.setAttribute(QStringLiteral("imageUrl"), xmlText(installed(findIcon(folder), true)));
    }

    QDomElement description = exampleElement.firstChildElement(QStringLiteral("description"));
    appendCData(description, json.value(QLatin1String("description")).toString());
    exampleElement.firstChildElement(QStringLiteral("tags"))
        .appendChild(document.createTextNode(xmlText(example->tags().join(QLatin1Char(',')))));
    exampleElement.firstChildElement(QStringLiteral("fileToOpen"))
        .appendChild(document.createTextNode(xmlText(findFileToOpen(folder))));

    const QString manifestPath = folder + QDir::separator() + manifestFileName();
    QSaveFile manifest(manifestPath);
    if (!guard.prepareWrite(manifestPath) || !manifest.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCDebug(serviceLog) << "Unable to save manifest:" << manifestPath;
        return false;
    }
    manifest.write(document.toByteArray(1));
    if (!manifest.commit()) {
        qCDebug(serviceLog) << "Unable to save manifest:" << manifestPath;
        return false;
    }
    return true;
}

bool ManifestWriter::isInsideFile(const QFileInfo &info, const QString &canonicalFolder)
{
    if (!info.isFile())
        return false; // a folder, or a FIFO, socket or device, which could block or never end
    if (!info.isSymLink())
        return true;
    return info.canonicalFilePath().startsWith(canonicalFolder + QLatin1Char('/'));
}

QString ManifestWriter::findProjectFile(const QString &folder)
{
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QFileInfoList entries = QDir(folder).entryInfoList({QStringLiteral("*.pro"),
                                                             QStringLiteral("CMakeLists.txt")},
                                                            QDir::Files | QDir::Readable, QDir::Time);
    for (const QFileInfo &entry : entries) {
        if (isInsideFile(entry, canonicalFolder))
            return entry.fileName();
    }
    return QString();
}

QString ManifestWriter::findFileToOpen(const QString &folder)
{
    const QString absoluteFolder = QFileInfo(folder).absoluteFilePath();
    QString file = findFileContaining(absoluteFolder, QStringLiteral("*.qml"),
                                      QStringLiteral("ApplicationWindow"));
    if (!file.isNull())
        return file;
    file = findFileContaining(absoluteFolder, QStringLiteral("*"), QStringLiteral(" main("));
    if (!file.isNull())
        return file;
    return findProjectFile(absoluteFolder);
}

QString ManifestWriter::findFileContaining(const QString &folder, const QString &pattern,
                                           const QString &text)
{
    const QByteArray needle = text.toLatin1();
    const QString root = QFileInfo(folder).absoluteFilePath();
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    QDirIterator it(root, {pattern}, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString filePath = it.next();
        if (!isInsideFile(it.fileInfo(), canonicalRoot))
            continue;
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        if (!file.read(MaximumReadBytes).contains(needle))
            continue;
        // The part below the folder, starting with "/".
        return QFileInfo(filePath).absoluteFilePath().mid(root.size());
    }
    return QString();
}

QString ManifestWriter::findIcon(const QString &folder)
{
    const QString size = QStringLiteral("%1x%1").arg(128);
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    QDirIterator it(folder, {QStringLiteral("icons")}, QDir::Dirs | QDir::Readable,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QDir icons(it.next() + QLatin1Char('/') + size);
        const QFileInfoList pictures = icons.entryInfoList({QStringLiteral("*.png"),
                                                            QStringLiteral("*.jpeg"),
                                                            QStringLiteral("*.jpg"),
                                                            QStringLiteral("*.bmp")},
                                                           QDir::Files | QDir::Readable, QDir::Size);
        for (const QFileInfo &picture : pictures) {
            // "icons" itself may be a link; the host is given only a picture of the example.
            const QString canonical = picture.canonicalFilePath();
            if (picture.isFile() && canonical.startsWith(canonicalFolder + QLatin1Char('/')))
                return canonical;
        }
    }
    return QStringLiteral("dummy.png");
}

QString ManifestWriter::xmlText(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char16_t unit = text.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size()
            && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            // Every character beyond the basic plane is allowed.
            result += text.midRef(i, 2);
            ++i;
            continue;
        }
        const bool allowed = unit == 0x9 || unit == 0xA || unit == 0xD
                             || (unit >= 0x20 && unit <= 0xD7FF)
                             || (unit >= 0xE000 && unit <= 0xFFFD);
        if (allowed)
            result += text.at(i);
    }
    return result;
}

void ManifestWriter::appendCData(QDomElement &element, const QString &text)
{
    QDomDocument document = element.ownerDocument();
    const QString clean = xmlText(text);
    // "]]" ends one section and ">" starts the next, so that "]]>" never appears inside one.
    int start = 0;
    for (int end = clean.indexOf(QLatin1String("]]>")); end >= 0;
         end = clean.indexOf(QLatin1String("]]>"), start)) {
        element.appendChild(document.createCDATASection(clean.mid(start, end + 2 - start)));
        start = end + 2;
    }
    element.appendChild(document.createCDATASection(clean.mid(start)));
}

} // namespace Internal
} // namespace Vantor
