#include "examplesreader.h"

#include <testprojects.h>

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace Host;

class tst_ExamplesReader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void exampleSets_data();
    void exampleSets();
    void manifestsOnlyInImmediateSubfolders();
    void exampleFields();
    void pathsResolveAgainstManifestThenExamplesFolder();
    void readAgainFromSettings();
    void listing();

private:
    QString path(const QString &relative) const { return m_dir->filePath(relative); }
    void write(const QString &relative, const QByteArray &content)
    {
        QVERIFY(TestProjects::writeFile(m_dir->path(), relative, content));
    }
    static QByteArray manifest(const QByteArray &examples);
    // The examples of a set whose manifests are below `manifests`, its sources below `sources`
    // (the same folder when empty).
    QList<ExampleItem> readExamples(const QString &manifests, const QString &sources = {}) const
    {
        ExampleSet set;
        set.manifestFolder = path(manifests);
        set.examplesFolder = path(sources.isEmpty() ? manifests : sources);
        return ExamplesReader::readExamples(set);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ExamplesReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QByteArray tst_ExamplesReader::manifest(const QByteArray &examples)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<instructionals module=\"demo\">\n"
           "<examples>\n" + examples + "</examples>\n</instructionals>\n";
}

void tst_ExamplesReader::exampleSets_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("taken");

    QTest::newRow("three fields") << "Demo|%1|%1" << true;
    QTest::newRow("four fields") << "Demo|%1|%1|extra" << true;
    QTest::newRow("manifest folder differs from examples folder") << "Demo|%1|/elsewhere" << true;
    QTest::newRow("two fields") << "Demo|%1" << false;
    QTest::newRow("name only") << "Demo" << false;
    QTest::newRow("manifest folder missing") << "Demo|%1/missing|%1" << false;
    QTest::newRow("manifest folder is a file") << "Demo|%1/file.txt|%1" << false;
    QTest::newRow("empty manifest folder") << "Demo||%1" << false;
}

void tst_ExamplesReader::exampleSets()
{
    QFETCH(QString, entry);
    QFETCH(bool, taken);
    write("file.txt", "x");

    const QStringList entries = {QString("Other|%1|%1").arg(m_dir->path()),
                                 entry.arg(m_dir->path())};
    const QList<ExampleSet> sets = ExamplesReader::parseExampleSets(entries);
    QCOMPARE(sets.size(), taken ? 2 : 1);
    QCOMPARE(sets.first().displayName, "Other");
    if (taken) {
        const QStringList fields = entries.last().split(QLatin1Char('|'));
        QCOMPARE(sets.last().displayName, "Demo");
        QCOMPARE(sets.last().manifestFolder, fields.at(1));
        QCOMPARE(sets.last().examplesFolder, fields.at(2));
    }
}

void tst_ExamplesReader::manifestsOnlyInImmediateSubfolders()
{
    const QByteArray project = "TEMPLATE = app\n";
    auto example = [](const char *name) {
        return QByteArray("<example name=\"") + name + "\" projectPath=\"app.pro\"/>\n";
    };
    write("set/one/app.pro", project);
    write("set/one/examples-manifest.xml", manifest(example("One")));
    write("set/two/app.pro", project);
    write("set/two/deeper/app.pro", project);
    write("set/two/deeper/examples-manifest.xml", manifest(example("Deeper")));
    write("set/three/app.pro", project);
    write("set/three/other-manifest.xml", manifest(example("Other name")));
    write("set/app.pro", project);
    write("set/examples-manifest.xml", manifest(example("Top")));

    const QList<ExampleItem> examples = readExamples("set");
    QCOMPARE(examples.size(), 1);
    QCOMPARE(examples.first().name, "One");
    QCOMPARE(examples.first().manifestPath, path("set/one/examples-manifest.xml"));
}

void tst_ExamplesReader::exampleFields()
{
    write("set/clock/clock.pro", "TEMPLATE = app\n");
    write("set/clock/qml/main.qml", "ApplicationWindow {}\n");
    QVERIFY(TestProjects::writePng(path("set/clock/example-icon.png"), {32, 16}));
    write("set/gone/examples-manifest.xml",
          manifest("<example name=\"Gone\" projectPath=\"gone.pro\" imageUrl=\"\"/>\n"));
    write("set/clock/examples-manifest.xml", manifest(
              "<example name=\"Clock\" projectPath=\"clock.pro\" imageUrl=\""
              + path("set/clock/example-icon.png").toUtf8() + "\">\n"
              "<description><![CDATA[Shows <the> time & date]]></description>\n"
              "<tags>qml,clock, time</tags>\n"
              "<platforms>Tas</platforms>\n"
              "<fileToOpen>/qml/main.qml</fileToOpen>\n"
              "</example>\n"
              "<example name=\"Alarm\" projectPath=\"clock.pro\" imageUrl=\"dummy.png\">\n"
              "<tags></tags>\n"
              "</example>\n"));

    const QList<ExampleItem> examples = readExamples("set");
    // "Gone" names a project file that does not exist.
    QCOMPARE(examples.size(), 2);

    const ExampleItem &alarm = examples.at(0);
    QCOMPARE(alarm.name, "Alarm");
    QCOMPARE(alarm.imageUrl, "dummy.png");
    QVERIFY(!alarm.hasImage);
    QCOMPARE(alarm.image, ExamplesReader::placeholderImage());
    QVERIFY(alarm.tags.isEmpty());
    QVERIFY(alarm.fileToOpen.isEmpty());

    const ExampleItem &clock = examples.at(1);
    QCOMPARE(clock.name, "Clock");
    QCOMPARE(clock.description, "Shows <the> time & date");
    QCOMPARE(clock.projectPath, path("set/clock/clock.pro"));
    QCOMPARE(clock.fileToOpen, path("set/clock/qml/main.qml"));
    QCOMPARE(clock.tags, QStringList({"qml", "clock", "time"}));
    QVERIFY(clock.hasImage);
    QCOMPARE(clock.image.size(), QSize(32, 16));
}

void tst_ExamplesReader::pathsResolveAgainstManifestThenExamplesFolder()
{
    // Manifests in one tree, sources in another, as with the IDE's own examples.
    write("manifests/a/examples-manifest.xml", manifest(
              "<example name=\"Sources elsewhere\" projectPath=\"a/a.pro\">"
              "<fileToOpen>a/main.cpp</fileToOpen></example>\n"
              "<example name=\"Both\" projectPath=\"both.pro\"/>\n"));
    write("manifests/a/both.pro", "");
    write("sources/both.pro", "");
    write("sources/a/a.pro", "");
    write("sources/a/main.cpp", "int main() {}\n");

    const QList<ExampleItem> examples = readExamples("manifests", "sources");
    QCOMPARE(examples.size(), 2);
    QCOMPARE(examples.at(0).projectPath, path("manifests/a/both.pro"));
    QCOMPARE(examples.at(1).projectPath, path("sources/a/a.pro"));
    QCOMPARE(examples.at(1).fileToOpen, path("sources/a/main.cpp"));
}

void tst_ExamplesReader::readAgainFromSettings()
{
    QSettings settings(path("settings.ini"), QSettings::IniFormat);
    ExamplesReader reader(&settings);
    QSignalSpy changed(&reader, &ExamplesReader::changed);

    reader.readExampleSets();
    QCOMPARE(changed.count(), 1);
    QVERIFY(reader.exampleSets().isEmpty());

    QVERIFY(QDir().mkpath(path("demo")));
    settings.setValue("Help/InstalledExamples",
                      QStringList{QString("Demo|%1|%1").arg(path("demo"))});
    reader.readAllExamples();
    QVERIFY2(reader.exampleSets().isEmpty(), "the sets are only read again on setup");
    reader.readExampleSets();
    QCOMPARE(reader.exampleSets().size(), 1);
    QVERIFY(reader.exampleSets().first().examples.isEmpty());

    write("demo/hello/hello.pro", "");
    write("demo/hello/examples-manifest.xml",
          manifest("<example name=\"Hello\" projectPath=\"hello.pro\"/>"));
    reader.readAllExamples();
    QCOMPARE(changed.count(), 4);
    QCOMPARE(reader.exampleSets().first().examples.size(), 1);
    QCOMPARE(reader.exampleSets().first().examples.first().name, "Hello");
}

void tst_ExamplesReader::listing()
{
    ExampleSet set;
    set.displayName = "Demo";
    set.manifestFolder = "/data/demo";
    ExampleItem shown;
    shown.name = "Hello";
    shown.projectPath = "/data/demo/hello/hello.pro";
    shown.imageUrl = "/data/demo/hello/example-icon.png";
    shown.hasImage = true;
    shown.tags = QStringList{"qt", "console"};
    ExampleItem placeholder = shown;
    placeholder.name = "World";
    placeholder.imageUrl = "dummy.png";
    placeholder.hasImage = false;
    set.examples = {shown, placeholder};

    QCOMPARE(ExamplesReader::listing({set}), QStringList({
        "example set: Demo (2 examples) /data/demo",
        "  example: Hello | project: /data/demo/hello/hello.pro"
        " | picture: /data/demo/hello/example-icon.png | tags: qt,console",
        "  example: World | project: /data/demo/hello/hello.pro"
        " | picture: dummy.png (placeholder) | tags: qt,console"}));
}

QTEST_GUILESS_MAIN(tst_ExamplesReader)

#include "tst_examplesreader.moc"
