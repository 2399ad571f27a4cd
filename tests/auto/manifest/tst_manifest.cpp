#include "plugin/pathtemplates.h"
#include "repository/example.h"
#include "service/manifestwriter.h"

#include <QBuffer>
#include <QDomDocument>
#include <QImage>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

using namespace Vantor::Internal;

using Files = QMap<QString, QByteArray>;

namespace {

const QString repositoryName = QStringLiteral("Norvel Examples");

QString exampleFolder(const QString &path)
{
    return examplePathTemplate().arg(repositoryName, path);
}

// Writes the files in map order, each ten seconds newer than the one before.
bool writeFiles(const QString &folder, const Files &files)
{
    QDateTime time = QDateTime::currentDateTime().addSecs(-3600);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = folder + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
        time = time.addSecs(10);
        // Written out first: closing with unwritten data would touch the time again.
        if (!file.flush() || !file.setFileTime(time, QFileDevice::FileModificationTime))
            return false;
    }
    return true;
}

QByteArray png(int width, int height, bool noise = false)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (noise) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, QRandomGenerator::global()->generate());
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

Repository::ExamplePtr makeExample(const QString &path, const QJsonObject &fields = {})
{
    QJsonObject json{{"id", 7}, {"name", "Chart"}, {"path", path},
                     {"web_url", "http://127.0.0.1/examples/" + path}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        json.insert(it.key(), it.value());
    return Repository::ExamplePtr::create(json);
}

const Files qmlProject{
    {"chart.pro", "TEMPLATE = app\nQT += quick\nSOURCES += src/main.cpp\n"},
    {"qml/main.qml", "import QtQuick 2.0\nimport QtQuick.Controls 2.0\nApplicationWindow {}\n"},
    {"src/main.cpp", "#include <QGuiApplication>\n\nint main(int argc, char *argv[])\n{\n"
                     "    QGuiApplication app(argc, argv);\n    return app.exec();\n}\n"}};

} // namespace

class tst_Manifest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void writesExpectedText();
    void findProjectFile_data();
    void findProjectFile();
    void findFileToOpen_data();
    void findFileToOpen();
    void findIcon_data();
    void findIcon();
    void writesRecordPicture();
    void defaultTags();
    void failures_data();
    void failures();
    void roundTrip_data();
    void roundTrip();
    void writesOnlyBelowRepositoryFolder();

private:
    QString m_repositoryFolder;
};

void tst_Manifest::initTestCase()
{
    QCoreApplication::setOrganizationName("QtProject");
    QCoreApplication::setApplicationName("QtCreator");
    QVERIFY(qEnvironmentVariableIsSet("VANTOR_TEST_ROOT"));
    // QDom writes attributes in hash order; a fixed seed makes the text reproducible.
    qSetGlobalQHashSeed(0);
    QLoggingCategory::setFilterRules("tas.vantor.plugin.service.debug=true");
    m_repositoryFolder = repositoryPathTemplate().arg(repositoryName);
    QVERIFY(m_repositoryFolder.startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
}

void tst_Manifest::init()
{
    QDir(m_repositoryFolder).removeRecursively();
    QVERIFY(QDir().mkpath(m_repositoryFolder));
}

void tst_Manifest::writesExpectedText()
{
    QVERIFY(writeFiles(exampleFolder("chart"), qmlProject));
    const auto example = makeExample("chart", {{"name", "Chart & Gauges"},
                                               {"description", "Draws <b>charts</b> & \"gauges\" with QML."},
                                               {"tag_list", QJsonArray{"qml", "charts"}}});
    QVERIFY(ManifestWriter::createManifest(repositoryName, example));

    QFile written(exampleFolder("chart") + "/examples-manifest.xml");
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile expected(QFINDTESTDATA("data/demo-manifest.xml"));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), QString::fromUtf8(expected.readAll()));
    QVERIFY(!QFile::exists(exampleFolder("chart") + "/example-icon.png"));
}

void tst_Manifest::findProjectFile_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("expected");

    const QByteArray pro = "TEMPLATE = app\nSOURCES += main.cpp\n";
    const QByteArray cmake = "cmake_minimum_required(VERSION 3.16)\nproject(app)\nadd_executable(app main.cpp)\n";
    // Files are written in key order, each newer than the previous one.
    QTest::newRow("pro only") << Files{{"app.pro", pro}} << "app.pro";
    QTest::newRow("cmake only") << Files{{"CMakeLists.txt", cmake}} << "CMakeLists.txt";
    QTest::newRow("pro newer") << Files{{"CMakeLists.txt", cmake}, {"app.pro", pro}} << "app.pro";
    QTest::newRow("cmake newer") << Files{{"0.pro", pro}, {"CMakeLists.txt", cmake}} << "CMakeLists.txt";
    QTest::newRow("upper-case suffix") << Files{{"APP.PRO", pro}} << "APP.PRO";
    QTest::newRow("only in a subfolder") << Files{{"main.cpp", "int main() {}\n"}, {"src/app.pro", pro}}
                                         << "";
    QTest::newRow("no project") << Files{{"README.md", "# app\n"}, {"app.pri", pro}} << "";
}

void tst_Manifest::findProjectFile()
{
    QFETCH(Files, files);
    QFETCH(QString, expected);
    QVERIFY(writeFiles(exampleFolder("app"), files));
    QCOMPARE(ManifestWriter::findProjectFile(exampleFolder("app")), expected);
}

void tst_Manifest::findFileToOpen_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("expected");

    QTest::newRow("qml window") << qmlProject << "/qml/main.qml";
    Files noWindow = qmlProject;
    noWindow["qml/main.qml"] = "import QtQuick 2.0\nItem {}\n";
    QTest::newRow("main function") << noWindow << "/src/main.cpp";
    Files windowInText{{"app.pro", "SOURCES += util.cpp\n"},
                       {"notes.txt", "An ApplicationWindow is not a main window.\n"},
                       {"util.cpp", "int domain(int x) { return x; }\n"}};
    QTest::newRow("project file") << windowInText << "app.pro";
    QTest::newRow("nothing") << Files{{"README.md", "text\n"}} << "";
}

void tst_Manifest::findFileToOpen()
{
    QFETCH(Files, files);
    QFETCH(QString, expected);
    QVERIFY(writeFiles(exampleFolder("app"), files));
    QCOMPARE(ManifestWriter::findFileToOpen(exampleFolder("app")), expected);
}

void tst_Manifest::findIcon_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("expected");

    const QByteArray small = png(16, 16);
    const QByteArray large = png(128, 128, true);
    QTest::newRow("no icons folder") << Files{{"images/128x128/a.png", large}} << "dummy.png";
    QTest::newRow("other size only") << Files{{"icons/64x64/a.png", large}} << "dummy.png";
    QTest::newRow("largest first") << Files{{"icons/128x128/big.png", large},
                                            {"icons/128x128/small.png", small}}
                                   << "icons/128x128/big.png";
    QTest::newRow("nested icons folder") << Files{{"res/icons/128x128/app.bmp", small}}
                                         << "res/icons/128x128/app.bmp";
    QTest::newRow("first folder with a picture") << Files{{"a/icons/64x64/a.png", large},
                                                          {"b/icons/128x128/b.png", small}}
                                                 << "b/icons/128x128/b.png";
    QTest::newRow("not a picture suffix") << Files{{"icons/128x128/app.svg", "<svg/>"}} << "dummy.png";
}

void tst_Manifest::findIcon()
{
    QFETCH(Files, files);
    QFETCH(QString, expected);
    const QString folder = exampleFolder("app");
    QVERIFY(writeFiles(folder, files));
    const QString result = ManifestWriter::findIcon(folder);
    if (expected == "dummy.png")
        QCOMPARE(result, expected);
    else
        QCOMPARE(result, QFileInfo(folder + '/' + expected).canonicalFilePath());
}

void tst_Manifest::writesRecordPicture()
{
    QVERIFY(writeFiles(exampleFolder("chart"), qmlProject));
    // The record's picture wins over an icon of the project.
    QVERIFY(writeFiles(exampleFolder("chart"), {{"icons/128x128/app.png", png(128, 128)}}));
    const auto example = makeExample("chart");
    example->setImage(png(32, 16));
    QVERIFY(ManifestWriter::createManifest(repositoryName, example));

    const QString iconPath = exampleFolder("chart") + QDir::separator() + "example-icon.png";
    const QImage icon(iconPath);
    QCOMPARE(icon.size(), QSize(128, 64));
    QVERIFY(!icon.text("Description").isEmpty());

    QFile file(exampleFolder("chart") + "/examples-manifest.xml");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QVERIFY(document.setContent(&file));
    const QDomElement element = document.elementsByTagName("example").at(0).toElement();
    QCOMPARE(element.attribute("imageUrl"), iconPath);
    QCOMPARE(element.attribute("projectPath"), QString("chart.pro"));
    QCOMPARE(element.firstChildElement("fileToOpen").text(), QString("/qml/main.qml"));
}

void tst_Manifest::defaultTags()
{
    QVERIFY(writeFiles(exampleFolder("chart"), qmlProject));
    QVERIFY(ManifestWriter::createManifest(repositoryName, makeExample("chart")));
    QFile file(exampleFolder("chart") + "/examples-manifest.xml");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QVERIFY(document.setContent(&file));
    QCOMPARE(document.elementsByTagName("tags").at(0).toElement().text(), QString("Qt,example"));
}

void tst_Manifest::failures_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QByteArray>("templateText");
    QTest::addColumn<QString>("message");

    const QByteArray good = "<instructionals module=\"\"><examples><example name=\"\">"
                            "<description/><tags/><fileToOpen/></example></examples></instructionals>";
    Files subfolderProject{{"src/chart.pro", "TEMPLATE = app\n"}};
    QTest::newRow("no project file") << subfolderProject << QByteArray() << "^Project file not found$";
    QTest::newRow("no template") << qmlProject << QByteArray("missing")
                                 << "^Internal manifest XML error: file not found$";
    QTest::newRow("broken template") << qmlProject << QByteArray("<instructionals><examples>")
                                     << "^Internal manifest XML error: \".+\" -?\\d+ -?\\d+$";
    QTest::newRow("no root element") << qmlProject << QByteArray("<manifest/>")
                                     << "^Internal manifest XML error: element \"instructionals\" not found$";
    QTest::newRow("own template") << qmlProject << good << QString();
}

void tst_Manifest::failures()
{
    QFETCH(Files, files);
    QFETCH(QByteArray, templateText);
    QFETCH(QString, message);

    QVERIFY(writeFiles(exampleFolder("chart"), files));
    QTemporaryDir templates;
    QString templatePath = ":/examples-manifest.xml";
    if (!templateText.isEmpty()) {
        templatePath = templates.filePath("template.xml");
        if (templateText != "missing")
            QVERIFY(writeFiles(templates.path(), {{"template.xml", templateText}}));
    }
    if (!message.isEmpty())
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
    const bool written = ManifestWriter::createManifest(repositoryName, makeExample("chart"), templatePath);
    QCOMPARE(written, message.isEmpty());
    QCOMPARE(QFile::exists(exampleFolder("chart") + "/examples-manifest.xml"), written);
}

void tst_Manifest::roundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedDescription");
    QTest::addColumn<QString>("expectedTag");

    QTest::newRow("cdata end") << "Demo" << "a]]>b" << "qml" << "Demo" << "a]]>b" << "qml";
    QTest::newRow("several cdata ends") << "Demo" << "]]>]]]>x]]" << "qml"
                                        << "Demo" << "]]>]]]>x]]" << "qml";
    QTest::newRow("markup") << "<a href=\"x\">&amp;</a>" << "<p class='x'>&amp; \"q\"</p>" << "a&b"
                            << "<a href=\"x\">&amp;</a>" << "<p class='x'>&amp; \"q\"</p>" << "a&b";
    const auto withControl = [](const char *before, ushort control, const char *after) {
        return QString(before) + QChar(control) + after;
    };
    QTest::newRow("control characters")
        << withControl("Na", 0x07, "me") << withControl("a", 0x01, "b") + withControl("", 0x0B, "c")
        << withControl("t", 0x1F, "ag") << "Name" << "abc" << "tag";
    const QString noncharacters = QString("x") + QChar(0xFFFE) + QChar(0xD800) + "y" + QChar(0xDC00)
                                  + QChar(0xFFFF) + "]]>" + QChar(0x0000);
    QTest::newRow("non-characters and lone surrogates") << "N" + noncharacters << noncharacters
                                                        << "t" + noncharacters
                                                        << "Nxy]]>" << "xy]]>" << "txy]]>";
    const QString kept = QString::fromUtf8("Tab\there\nline – é \xF0\x9F\x93\x88");
    QTest::newRow("allowed characters") << kept << kept << kept << kept << kept << kept;
}

void tst_Manifest::roundTrip()
{
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, tag);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedDescription);
    QFETCH(QString, expectedTag);

    QVERIFY(writeFiles(exampleFolder("chart"), qmlProject));
    const auto example = makeExample("chart", {{"name", name}, {"description", description},
                                               {"tag_list", QJsonArray{tag}}});
    QVERIFY(ManifestWriter::createManifest(repositoryName, example));

    QFile file(exampleFolder("chart") + "/examples-manifest.xml");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // A strict reader first: it rejects every character that XML does not allow.
    QXmlStreamReader reader(bytes);
    while (!reader.atEnd())
        reader.readNext();
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));

    QDomDocument document;
    QVERIFY(document.setContent(bytes));
    QCOMPARE(document.documentElement().attribute("module"), repositoryName);
    const QDomElement element = document.elementsByTagName("example").at(0).toElement();
    QCOMPARE(element.attribute("name"), expectedName);
    QCOMPARE(element.firstChildElement("description").text(), expectedDescription);
    QCOMPARE(element.firstChildElement("tags").text(), expectedTag);
}

void tst_Manifest::writesOnlyBelowRepositoryFolder()
{
    QTemporaryDir outside;
    QVERIFY(outside.isValid());
    const QByteArray precious = "outside the repository folder\n";
    QVERIFY(writeFiles(outside.path(), {{"precious.xml", precious}}));

    // A manifest that is a link to a file elsewhere is replaced, the file left alone.
    QVERIFY(writeFiles(exampleFolder("chart"), qmlProject));
    const QString manifest = exampleFolder("chart") + "/examples-manifest.xml";
    QVERIFY(QFile::link(outside.filePath("precious.xml"), manifest));
    QVERIFY(ManifestWriter::createManifest(repositoryName, makeExample("chart")));
    QVERIFY(!QFileInfo(manifest).isSymLink());
    QFile file(outside.filePath("precious.xml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), precious);

    // An example folder that is a link to a folder elsewhere gets nothing written into it.
    QVERIFY(writeFiles(outside.filePath("project"), qmlProject));
    QVERIFY(QFile::link(outside.filePath("project"), exampleFolder("linked")));
    const auto linked = makeExample("linked");
    linked->setImage(png(32, 32));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Unable to save manifest:"));
    QVERIFY(!ManifestWriter::createManifest(repositoryName, linked));
    QVERIFY(!QFile::exists(outside.filePath("project/examples-manifest.xml")));
    QVERIFY(!QFile::exists(outside.filePath("project/example-icon.png")));
}

QTEST_GUILESS_MAIN(tst_Manifest)

#include "tst_manifest.moc"
