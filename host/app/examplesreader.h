#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Host {

struct ExampleItem
{
    QString name;
    QString description;
    QString projectPath;   // resolved, exists
    QString imageUrl;      // as the manifest gives it
    bool hasImage = false; // a picture can be read there; false: the placeholder is shown
    QStringList tags;
    QString fileToOpen;    // resolved; empty when the manifest names none
    QString manifestPath;
};

struct ExampleSet
{
    QString displayName;
    QString manifestFolder;
    QString examplesFolder;
    QList<ExampleItem> examples;
};

// Reads the example sets that the Welcome screen offers the way the IDE does: the sets from the
// settings key "Help/InstalledExamples", the examples from the manifests of each set.
class ExamplesReader : public QObject
{
    Q_OBJECT

public:
    explicit ExamplesReader(QSettings *settings, QObject *parent = nullptr);

    QList<ExampleSet> exampleSets() const { return m_sets; }
    // The longest time the examples took to be read again, for measurements.
    qint64 longestReadMs() const { return m_longestReadMs; }

    // Entries "display name|manifest folder|examples folder"; shorter entries and entries whose
    // manifest folder is not a readable folder are left out. The sets come without examples.
    static QList<ExampleSet> parseExampleSets(const QStringList &entries);
    // The examples of every "examples-manifest.xml" in an immediate subfolder of the set's
    // manifest folder, sorted by name.
    QList<ExampleItem> readExamples(const ExampleSet &set);
    static QList<ExampleItem> parseManifest(const QString &manifestPath,
                                            const QString &examplesFolder);
    static QImage placeholderImage();
    // The picture, decoded only when a view shows it, as the IDE's Welcome screen does.
    static QImage image(const ExampleItem &item);

    // One line per set and one per example, for scripts.
    static QStringList listing(const QList<ExampleSet> &sets);

public slots:
    // The sets changed ("setupFinished"): read the settings and every set's examples again.
    void readExampleSets();
    // The installed documentation changed ("documentationChanged"): read the manifests again.
    void readAllExamples();

signals:
    void changed();

private:
    struct Parsed
    {
        QDateTime modified;
        QList<ExampleItem> examples;
    };

    QSettings *m_settings = nullptr;
    QList<ExampleSet> m_sets;
    // Manifests unchanged since they were last read are not read again.
    QHash<QString, Parsed> m_parsed;
    QHash<QString, Parsed> m_previous; // while reading: those not found again yet
    qint64 m_longestReadMs = 0;
};

} // namespace Host
