#include "examplesreader.h"

#include <QDir>
#include <QFile>
#include <QImage>
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
    void write(const QString &relative, const QByteArray &content);
    void writePicture(const QString &relative);
    static QByteArray manifest(const QByteArray &examples);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_ExamplesReader::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_ExamplesReader::write(const QString &relative, const QByteArray &content)
{
    const QString file = path(relative);
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(content);
}

void tst_ExamplesReader::writePicture(const QString &relative)
{
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
    QVERIFY(image.save(path(relative)));
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
    write(QLatin1String("file.txt"), "x");

    const QStringList entries = {QLatin1String("Other|%1|%1").arg(m_dir->path()),
                                 entry.arg(m_dir->path())};
    const QList<ExampleSet> sets = ExamplesReader::parseExampleSets(entries);
    QCOMPARE(sets.size(), taken ? 2 : 1);
    QCOMPARE(sets.first().displayName, QLatin1String("Other"));
    if (taken) {
        const QStringList fields = entries.last().split(QLatin1Char('|'));
        QCOMPARE(sets.last().displayName, QLatin1String("Demo"));
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
    write(QLatin1String("set/one/app.pro"), project);
    write(QLatin1String("set/one/examples-manifest.xml"), manifest(example("One")));
    write(QLatin1String("set/two/app.pro"), project);
    write(QLatin1String("set/two/deeper/app.pro"), project);
    write(QLatin1String("set/two/deeper/examples-manifest.xml"), manifest(example("Deeper")));
    write(QLatin1String("set/three/app.pro"), project);
    write(QLatin1String("set/three/other-manifest.xml"), manifest(example("Other name")));
    write(QLatin1String("set/app.pro"), project);
    write(QLatin1String("set/examples-manifest.xml"), manifest(example("Top")));

    ExampleSet set;
    set.manifestFolder = path(QLatin1String("set"));
    set.examplesFolder = set.manifestFolder;
    const QList<ExampleItem> examples = ExamplesReader::readExamples(set);
    QCOMPARE(examples.size(), 1);
    QCOMPARE(examples.first().name, QLatin1String("One"));
    QCOMPARE(examples.first().manifestPath, path(QLatin1String("set/one/examples-manifest.xml")));
}

void tst_ExamplesReader::exampleFields()
{
    write(QLatin1String("set/clock/clock.pro"), "TEMPLATE = app\n");
    write(QLatin1String("set/clock/qml/main.qml"), "ApplicationWindow {}\n");
    writePicture(QLatin1String("set/clock/example-icon.png"));
    write(QLatin1String("set/gone/examples-manifest.xml"),
          manifest("<example name=\"Gone\" projectPath=\"gone.pro\" imageUrl=\"\"/>\n"));
    write(QLatin1String("set/clock/examples-manifest.xml"), manifest(
              "<example name=\"Clock\" projectPath=\"clock.pro\" imageUrl=\""
              + path(QLatin1String("set/clock/example-icon.png")).toUtf8() + "\">\n"
              "<description><![CDATA[Shows <the> time & date]]></description>\n"
              "<tags>qml,clock, time</tags>\n"
              "<platforms>Tas</platforms>\n"
              "<fileToOpen>/qml/main.qml</fileToOpen>\n"
              "</example>\n"
              "<example name=\"Alarm\" projectPath=\"clock.pro\" imageUrl=\"dummy.png\">\n"
              "<tags></tags>\n"
              "</example>\n"));

    ExampleSet set;
    set.manifestFolder = path(QLatin1String("set"));
    set.examplesFolder = set.manifestFolder;
    const QList<ExampleItem> examples = ExamplesReader::readExamples(set);
    // "Gone" names a project file that does not exist.
    QCOMPARE(examples.size(), 2);

    const ExampleItem &alarm = examples.at(0);
    QCOMPARE(alarm.name, QLatin1String("Alarm"));
    QCOMPARE(alarm.imageUrl, QLatin1String("dummy.png"));
    QVERIFY(!alarm.hasImage);
    QCOMPARE(alarm.image, ExamplesReader::placeholderImage());
    QVERIFY(alarm.tags.isEmpty());
    QVERIFY(alarm.fileToOpen.isEmpty());

    const ExampleItem &clock = examples.at(1);
    QCOMPARE(clock.name, QLatin1String("Clock"));
    QCOMPARE(clock.description, QLatin1String("Shows <the> time & date"));
    QCOMPARE(clock.projectPath, path(QLatin1String("set/clock/clock.pro")));
    QCOMPARE(clock.fileToOpen, path(QLatin1String("set/clock/qml/main.qml")));
    QCOMPARE(clock.tags, QStringList({"qml", "clock", "time"}));
    QVERIFY(clock.hasImage);
    QCOMPARE(clock.image.size(), QSize(32, 16));
}

void tst_ExamplesReader::pathsResolveAgainstManifestThenExamplesFolder()
{
    // Manifests in one tree, sources in another, as with the IDE's own examples.
    write(QLatin1String("manifests/a/examples-manifest.xml"), manifest(
              "<example name=\"Sources elsewhere\" projectPath=\"a/a.pro\">"
              "<fileToOpen>a/main.cpp</fileToOpen></example>\n"
              "<example name=\"Both\" projectPath=\"both.pro\"/>\n"));
    write(QLatin1String("manifests/a/both.pro"), "");
    write(QLatin1String("sources/both.pro"), "");
    write(QLatin1String("sources/a/a.pro"), "");
    write(QLatin1String("sources/a/main.cpp"), "int main() {}\n");

    ExampleSet set;
    set.manifestFolder = path(QLatin1String("manifests"));
    set.examplesFolder = path(QLatin1String("sources"));
    const QList<ExampleItem> examples = ExamplesReader::readExamples(set);
    QCOMPARE(examples.size(), 2);
    QCOMPARE(examples.at(0).projectPath, path(QLatin1String("manifests/a/both.pro")));
    QCOMPARE(examples.at(1).projectPath, path(QLatin1String("sources/a/a.pro")));
    QCOMPARE(examples.at(1).fileToOpen, path(QLatin1String("sources/a/main.cpp")));
}

void tst_ExamplesReader::readAgainFromSettings()
{
    QSettings settings(path(QLatin1String("settings.ini")), QSettings::IniFormat);
    ExamplesReader reader(&settings);
    QSignalSpy changed(&reader, &ExamplesReader::changed);

    reader.readExampleSets();
    QCOMPARE(changed.count(), 1);
    QVERIFY(reader.exampleSets().isEmpty());

    QVERIFY(QDir().mkpath(path(QLatin1String("demo"))));
    settings.setValue(QLatin1String("Help/InstalledExamples"),
                      QStringList{QLatin1String("Demo|%1|%1").arg(path(QLatin1String("demo")))});
    reader.readAllExamples();
    QVERIFY2(reader.exampleSets().isEmpty(), "the sets are only read again on setup");
    reader.readExampleSets();
    QCOMPARE(reader.exampleSets().size(), 1);
    QVERIFY(reader.exampleSets().first().examples.isEmpty());

    write(QLatin1String("demo/hello/hello.pro"), "");
    write(QLatin1String("demo/hello/examples-manifest.xml"),
          manifest("<example name=\"Hello\" projectPath=\"hello.pro\"/>"));
    reader.readAllExamples();
    QCOMPARE(changed.count(), 4);
    QCOMPARE(reader.exampleSets().first().examples.size(), 1);
    QCOMPARE(reader.exampleSets().first().examples.first().name, QLatin1String("Hello"));
}

void tst_ExamplesReader::listing()
{
    ExampleSet set;
    set.displayName = QLatin1String("Demo");
    set.manifestFolder = QLatin1String("/data/demo");
    ExampleItem shown;
    shown.name = QLatin1String("Hello");
    shown.projectPath = QLatin1String("/data/demo/hello/hello.pro");
    shown.imageUrl = QLatin1String("/data/demo/hello/example-icon.png");
    shown.hasImage = true;
    shown.tags = QStringList{QLatin1String("qt"), QLatin1String("console")};
    ExampleItem placeholder = shown;
    placeholder.name = QLatin1String("World");
    placeholder.imageUrl = QLatin1String("dummy.png");
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
