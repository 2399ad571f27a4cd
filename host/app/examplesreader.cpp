#include "examplesreader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSettings>
#include <QXmlStreamReader>

#include <algorithm>

namespace Host {

namespace {

const char manifestFileName[] = "examples-manifest.xml";

// Like the IDE: a path in a manifest is relative to the manifest's folder or, failing that,
// to the set's examples folder.
QString resolvePath(const QString &path, const QString &manifestFolder,
                    const QString &examplesFolder)
{
    if (path.isEmpty())
        return QString();
    const QString relativeToManifest = QDir::cleanPath(manifestFolder + QLatin1Char('/') + path);
    if (QFileInfo::exists(relativeToManifest))
        return relativeToManifest;
    const QString relativeToExamples = QDir::cleanPath(examplesFolder + QLatin1Char('/') + path);
    if (QFileInfo::exists(relativeToExamples))
        return relativeToExamples;
    return relativeToManifest;
}

QStringList splitTags(const QString &text)
{
    QStringList tags;
    for (const QString &tag : text.split(QLatin1Char(','))) {
        const QString trimmed = tag.trimmed();
        if (!trimmed.isEmpty())
            tags.append(trimmed);
    }
    return tags;
}

ExampleItem readExample(QXmlStreamReader &reader, const QString &manifestFolder,
                        const QString &examplesFolder)
{
    ExampleItem item;
    const QXmlStreamAttributes attributes = reader.attributes();
    item.name = attributes.value(QLatin1String("name")).toString();
    item.projectPath = resolvePath(attributes.value(QLatin1String("projectPath")).toString(),
                                   manifestFolder, examplesFolder);
    item.imageUrl = attributes.value(QLatin1String("imageUrl")).toString();
    while (reader.readNextStartElement()) {
        const QStringRef element = reader.name();
        if (element == QLatin1String("description")) {
            item.description = reader.readElementText(QXmlStreamReader::SkipChildElements);
        } else if (element == QLatin1String("tags")) {
            item.tags = splitTags(reader.readElementText(QXmlStreamReader::SkipChildElements));
        } else if (element == QLatin1String("fileToOpen") && item.fileToOpen.isEmpty()) {
            item.fileToOpen = resolvePath(
                        reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed(),
                        manifestFolder, examplesFolder);
        } else {
            reader.skipCurrentElement();
        }
    }
    return item;
}

} // namespace

ExamplesReader::ExamplesReader(QSettings *settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
}

QList<ExampleSet> ExamplesReader::parseExampleSets(const QStringList &entries)
{
    QList<ExampleSet> sets;
    for (const QString &entry : entries) {
        const QStringList fields = entry.split(QLatin1Char('|'));
        if (fields.size() < 3)
            continue;
        const QFileInfo manifestFolder(fields.at(1));
        if (!manifestFolder.isDir() || !manifestFolder.isReadable())
            continue;
        ExampleSet set;
        set.displayName = fields.at(0);
        set.manifestFolder = fields.at(1);
        set.examplesFolder = fields.at(2);
        sets.append(set);
    }
    return sets;
}

QList<ExampleItem> ExamplesReader::readExamples(const ExampleSet &set)
{
    QList<ExampleItem> examples;
    // Names only: the manifest's own status says whether there is one.
    const QStringList folders = QDir(set.manifestFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    const QString folderPath = set.manifestFolder + QLatin1Char('/');
    for (const QString &folder : folders) {
        const QString manifest = folderPath + folder + QLatin1Char('/') + QLatin1String(manifestFileName);
        const QFileInfo info(manifest);
        if (!info.isFile())
            continue;
        const QDateTime modified = info.lastModified();
        Parsed parsed = m_previous.take(manifest);
        if (parsed.modified != modified || !modified.isValid()) {
            parsed.modified = modified;
            parsed.examples = parseManifest(manifest, set.examplesFolder);
        }
        examples += parsed.examples;
        m_parsed.insert(manifest, std::move(parsed));
    }
    std::stable_sort(examples.begin(), examples.end(),
                     [](const ExampleItem &a, const ExampleItem &b) {
                         return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
                     });
    return examples;
}

QList<ExampleItem> ExamplesReader::parseManifest(const QString &manifestPath,
                                                 const QString &examplesFolder)
{
    QList<ExampleItem> examples;
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("Cannot read examples manifest %s", qPrintable(manifestPath));
        return examples;
    }
    const QString manifestFolder = QFileInfo(manifestPath).absolutePath();
    QXmlStreamReader reader(&file);
    while (!reader.atEnd()) {
        reader.readNext();
        if (!reader.isStartElement() || reader.name() != QLatin1String("example"))
            continue;
        ExampleItem item = readExample(reader, manifestFolder, examplesFolder);
        // The Welcome screen offers only examples that can be opened.
        if (item.projectPath.isEmpty() || !QFileInfo(item.projectPath).isFile())
            continue;
        item.manifestPath = manifestPath;
        item.hasImage = !item.imageUrl.isEmpty() && QImageReader(item.imageUrl).canRead();
        examples.append(item);
    }
    if (reader.hasError()) {
        qWarning("Examples manifest %s is not valid XML: %s", qPrintable(manifestPath),
                 qPrintable(reader.errorString()));
    }
    return examples;
}

QImage ExamplesReader::image(const ExampleItem &item)
{
    QImage image;
    if (item.hasImage && image.load(item.imageUrl))
        return image;
    return placeholderImage();
}

QImage ExamplesReader::placeholderImage()
{
    QImage image(128, 128, QImage::Format_ARGB32);
    image.fill(QColor(0xe0, 0xe0, 0xe0));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 4));
    painter.drawRect(image.rect().adjusted(2, 2, -3, -3));
    painter.drawLine(16, 112, 112, 16);
    return image;
}

QStringList ExamplesReader::listing(const QList<ExampleSet> &sets)
{
    QStringList lines;
    for (const ExampleSet &set : sets) {
        lines.append(QStringLiteral("example set: %1 (%2 examples) %3")
                         .arg(set.displayName)
                         .arg(set.examples.size())
                         .arg(set.manifestFolder));
        for (const ExampleItem &item : set.examples) {
            const QString picture = item.hasImage
                    ? item.imageUrl
                    : QStringLiteral("%1 (placeholder)").arg(item.imageUrl);
            lines.append(QStringLiteral("  example: %1 | project: %2 | picture: %3 | tags: %4")
                             .arg(item.name, item.projectPath, picture,
                                  item.tags.join(QLatin1Char(','))));
        }
    }
    return lines;
}

void ExamplesReader::readExampleSets()
{
    const QStringList entries = m_settings
            ? m_settings->value(QLatin1String("Help/InstalledExamples")).toStringList()
            : QStringList();
    m_sets = parseExampleSets(entries);
    readAllExamples();
}

void ExamplesReader::readAllExamples()
{
    QElapsedTimer clock;
    clock.start();
    // What is not found again is forgotten.
    m_previous.swap(m_parsed);
    m_parsed.clear();
    for (ExampleSet &set : m_sets)
        set.examples = readExamples(set);
    m_previous.clear();
    m_longestReadMs = std::max(m_longestReadMs, clock.elapsed());
    emit changed();
}

} // namespace Host
