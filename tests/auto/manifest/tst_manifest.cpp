#include "plugin/pathtemplates.h"
#include "repository/example.h"
#include "service/manifestwriter.h"

#include <testprojects.h>
#include <testsupport.h>

#include <QImage>
#include <QJsonArray>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/stat.h>

using namespace Vantor::Internal;
using namespace TestProjects;

namespace {

const QString repositoryName = QStringLiteral("Norvel Examples");

QString repositoryFolder() { return repositoryPathTemplate().arg(repositoryName); }
QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }

// Files written in map order, each ten seconds newer than the one before.
bool writeAged(const QString &folder, const Files &files)
{
    return writeFiles(folder, files, QDateTime::currentDateTime().addSecs(-3600));
}

Repository::ExamplePtr makeExample(const QString &path, const QJsonObject &fields = {})
{
    return Repository::ExamplePtr::create(TestSupport::projectJson(path, fields));
}

const Files qmlProject{
    {"chart.pro", "TEMPLATE = app\nQT += quick\nSOURCES += src/main.cpp\n"},
    {"qml/main.qml", "import QtQuick 2.0\nimport QtQuick.Controls 2.0\nApplicationWindow {}\n"},
    {"src/main.cpp", "#include <QGuiApplication>\n\nint main(int argc, char *argv[])\n{\n"
                     "    QGuiApplication app(argc, argv);\n    return app.exec();\n}\n"}};

// The qml project in "chart" with the manifest of `example`.
bool writeChart(const Repository::ExamplePtr &example)
{
    return writeAged(exampleFolder("chart"), qmlProject)
           && ManifestWriter::createManifest(repositoryName, exampleFolder("chart"), example, example->image());
}

} // namespace

class tst_Manifest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        // QDom writes attributes in hash order; a fixed seed makes the text reproducible.
        qSetGlobalQHashSeed(0);
        QLoggingCategory::setFilterRules("tas.vantor.plugin.service.debug=true");
        QVERIFY(repositoryFolder().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
    }

    void init()
    {
        QDir(repositoryFolder()).removeRecursively();
        QVERIFY(QDir().mkpath(repositoryFolder()));
    }

    void writesExpectedText()
    {
        const auto example = makeExample("chart", {{"name", "Chart & Gauges"},
                                                   {"description", "Draws <b>charts</b> & \"gauges\" with QML."},
                                                   {"tag_list", QJsonArray{"qml", "charts"}}});
        QVERIFY(writeChart(example));

        const QByteArray written = readFile(exampleFolder("chart") + "/examples-manifest.xml");
        const QByteArray expected = readFile(QFINDTESTDATA("data/demo-manifest.xml"));
        QCOMPARE(QString::fromUtf8(written), QString::fromUtf8(expected));
        QVERIFY(!QFile::exists(exampleFolder("chart") + "/example-icon.png"));
    }

    void finds_data()
    {
        QTest::addColumn<QString>("find"); // "project", "fileToOpen" or "icon"
        QTest::addColumn<Files>("files");  // written oldest first
        QTest::addColumn<QString>("expected");

        using F = Files;
        const QByteArray pro = "TEMPLATE = app\nSOURCES += main.cpp\n";
        const QByteArray cmake = "cmake_minimum_required(VERSION 3.16)\nproject(app)\nadd_executable(app main.cpp)\n";
        QTest::newRow("project: pro newer") << "project" << F{{"CMakeLists.txt", cmake}, {"app.pro", pro}} << "app.pro";
        QTest::newRow("project: cmake newer") << "project" << F{{"0.pro", pro}, {"CMakeLists.txt", cmake}}
                                              << "CMakeLists.txt";
        QTest::newRow("project: upper-case suffix") << "project" << F{{"APP.PRO", pro}} << "APP.PRO";
        QTest::newRow("project: only in a subfolder") << "project" << F{{"main.cpp", "x"}, {"src/app.pro", pro}} << "";
        QTest::newRow("project: none") << "project" << F{{"README.md", "# app\n"}, {"app.pri", pro}} << "";

        QTest::newRow("open: qml window") << "fileToOpen" << qmlProject << "/qml/main.qml";
        F noWindow = qmlProject;
        noWindow["qml/main.qml"] = "import QtQuick 2.0\nItem {}\n";
        QTest::newRow("open: main function") << "fileToOpen" << noWindow << "/src/main.cpp";
        const F windowInText{{"app.pro", "SOURCES += util.cpp\n"},
                             {"notes.txt", "An ApplicationWindow is not a main window.\n"},
                             {"util.cpp", "int domain(int x) { return x; }\n"}};
        QTest::newRow("open: project file") << "fileToOpen" << windowInText << "app.pro";
        QTest::newRow("open: nothing") << "fileToOpen" << F{{"README.md", "text\n"}} << "";

        // Pictures are found by their canonical path; "dummy.png" when there is none.
        const QByteArray small = png({16, 16});
        const QByteArray large = png({128, 128}, true);
        QTest::newRow("icon: no icons folder") << "icon" << F{{"images/128x128/a.png", large}} << "dummy.png";
        QTest::newRow("icon: other size only") << "icon" << F{{"icons/64x64/a.png", large}} << "dummy.png";
        QTest::newRow("icon: largest first")
            << "icon" << F{{"icons/128x128/big.png", large}, {"icons/128x128/small.png", small}} << "icons/128x128/big.png";
        QTest::newRow("icon: nested icons folder") << "icon" << F{{"res/icons/128x128/app.bmp", small}}
                                                   << "res/icons/128x128/app.bmp";
        QTest::newRow("icon: first folder with a picture")
            << "icon" << F{{"a/icons/64x64/a.png", large}, {"b/icons/128x128/b.png", small}} << "b/icons/128x128/b.png";
        QTest::newRow("icon: not a picture suffix") << "icon" << F{{"icons/128x128/app.svg", "<svg/>"}} << "dummy.png";
    }

    void finds()
    {
        QFETCH(QString, find);
        QFETCH(Files, files);
        QFETCH(QString, expected);

        const QString folder = exampleFolder("app");
        QVERIFY(writeAged(folder, files));
        if (find == "project") {
            QCOMPARE(ManifestWriter::findProjectFile(folder), expected);
        } else if (find == "fileToOpen") {
            QCOMPARE(ManifestWriter::findFileToOpen(folder), expected);
        } else {
            QCOMPARE(ManifestWriter::findIcon(folder),
                     expected == "dummy.png" ? expected : QFileInfo(folder + '/' + expected).canonicalFilePath());
        }
    }

    void writesRecordPicture()
    {
        // The record's picture wins over an icon of the project.
        QVERIFY(writeFile(exampleFolder("chart"), "icons/128x128/app.png", png({128, 128})));
        const auto example = makeExample("chart");
        example->setImage(png({32, 16}));
        QVERIFY(writeChart(example));

        const QString iconPath = exampleFolder("chart") + QDir::separator() + "example-icon.png";
        const QImage icon(iconPath);
        QCOMPARE(icon.size(), QSize(128, 64));
        QVERIFY(!icon.text("Description").isEmpty());
        QCOMPARE(TestSupport::readManifest(exampleFolder("chart")).imageUrl, iconPath);
    }

    // Of the template, which is a parameter only for these tests.
    void failures_data()
    {
        QTest::addColumn<QByteArray>("templateText"); // empty: none
        QTest::addColumn<QString>("message");

        QTest::newRow("no template") << QByteArray() << "^Internal manifest XML error: file not found$";
        QTest::newRow("broken template") << QByteArray("<instructionals><examples>")
                                         << "^Internal manifest XML error: \".+\" -?\\d+ -?\\d+$";
        QTest::newRow("no root element") << QByteArray("<manifest/>")
                                         << "^Internal manifest XML error: element \"instructionals\" not found$";
        QTest::newRow("own template") << QByteArray("<instructionals module=\"\"><examples><example name=\"\">"
                                                    "<description/><tags/><fileToOpen/></example></examples></instructionals>")
                                      << QString();
    }

    void failures()
    {
        QFETCH(QByteArray, templateText);
        QFETCH(QString, message);

        QVERIFY(writeAged(exampleFolder("chart"), qmlProject));
        QTemporaryDir templates;
        if (!templateText.isEmpty())
            QVERIFY(writeFile(templates.path(), "template.xml", templateText));
        if (!message.isEmpty())
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(message));
        const bool written = ManifestWriter::createManifest(repositoryName, exampleFolder("chart"), makeExample("chart"),
                                                            {}, templates.filePath("template.xml"));
        QCOMPARE(written, message.isEmpty());
        QCOMPARE(QFile::exists(exampleFolder("chart") + "/examples-manifest.xml"), written);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QStringList>("expected"); // name, description, tag; none: as given

        QTest::newRow("several cdata ends") << "Demo" << "]]>]]]>x]]" << "qml" << QStringList();
        QTest::newRow("markup") << "<a href=\"x\">&amp;</a>" << "<p class='x'>&amp; \"q\"</p>" << "a&b" << QStringList();
        const auto withControl = [](const char *before, ushort control, const char *after) {
            return QString(before) + QChar(control) + after;
        };
        QTest::newRow("control characters")
            << withControl("Na", 0x07, "me") << withControl("a", 0x01, "b") + withControl("", 0x0B, "c")
            << withControl("t", 0x1F, "ag") << QStringList{"Name", "abc", "tag"};
        const QString noncharacters = QString("x") + QChar(0xFFFE) + QChar(0xD800) + "y" + QChar(0xDC00)
                                      + QChar(0xFFFF) + "]]>" + QChar(0x0000);
        QTest::newRow("non-characters and lone surrogates") << "N" + noncharacters << noncharacters
                                                            << "t" + noncharacters
                                                            << QStringList{"Nxy]]>", "xy]]>", "txy]]>"};
        const QString kept = QString::fromUtf8("Tab\there\nline – é \xF0\x9F\x93\x88") + QChar(0xD7FF) + QChar(0xE000)
                             + QChar(0xFFFD);
        QTest::newRow("allowed characters") << kept << kept << kept << QStringList();
    }

    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, tag);
        QFETCH(QStringList, expected);
        if (expected.isEmpty())
            expected = QStringList{name, description, tag};

        const auto example = makeExample("chart", {{"name", name}, {"description", description},
                                                   {"tag_list", QJsonArray{tag}}});
        QVERIFY(writeChart(example));

        // A strict reader first: it rejects every character that XML does not allow.
        QXmlStreamReader reader(readFile(exampleFolder("chart") + "/examples-manifest.xml"));
        while (!reader.atEnd())
            reader.readNext();
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));

        const auto written = TestSupport::readManifest(exampleFolder("chart"));
        QCOMPARE(QStringList({written.name, written.description, written.tags}), expected);
    }

    // Nothing an example holds makes the writer write elsewhere, or its searches block, read without
    // end or look elsewhere.
    void staysInsideExample()
    {
        QTemporaryDir outside;
        const QByteArray precious = "outside the repository folder\n";
        QVERIFY(writeFile(outside.path(), "precious.xml", precious));

        // A manifest that is a link to a file elsewhere is replaced, the file left alone.
        const QString manifestFile = exampleFolder("chart") + "/examples-manifest.xml";
        QVERIFY(QDir().mkpath(exampleFolder("chart")));
        QVERIFY(QFile::link(outside.filePath("precious.xml"), manifestFile));
        QVERIFY(writeChart(makeExample("chart")));
        QVERIFY(!QFileInfo(manifestFile).isSymLink());
        QCOMPARE(readFile(outside.filePath("precious.xml")), precious);

        // An example folder that is a link to a folder elsewhere gets nothing written into it.
        QVERIFY(writeAged(outside.filePath("project"), qmlProject));
        QVERIFY(QFile::link(outside.filePath("project"), exampleFolder("linked")));
        const auto linked = makeExample("linked");
        linked->setImage(png({32, 32}));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("^Unable to save manifest:"));
        QVERIFY(!ManifestWriter::createManifest(repositoryName, exampleFolder("linked"), linked, linked->image()));
        QVERIFY(!QFile::exists(outside.filePath("project/examples-manifest.xml")));
        QVERIFY(!QFile::exists(outside.filePath("project/example-icon.png")));

        QVERIFY(writeFile(outside.path(), "window.qml", "ApplicationWindow {}\n"));
        QVERIFY(writePng(outside.filePath("icon.png"), {128, 128}));
        const QString folder = exampleFolder("app");
        QVERIFY(writeAged(folder, {{"app.pro", "TEMPLATE = app\n"},
                                   {"big.cpp", QByteArray(ManifestWriter::MaximumReadBytes, ' ') + " main("}}));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + "/pipe").constData(), 0600), 0);
        QVERIFY(QFile::link("pipe", folder + "/pipe.qml"));
        QVERIFY(QFile::link("/dev/zero", folder + "/zero.cpp"));
        QVERIFY(QFile::link(outside.filePath("window.qml"), folder + "/outside.qml"));
        QVERIFY(QDir().mkpath(folder + "/icons/128x128"));
        QVERIFY(QFile::link(outside.filePath("icon.png"), folder + "/icons/128x128/icon.png"));

        QCOMPARE(ManifestWriter::findFileToOpen(folder), QString("app.pro"));
        QCOMPARE(ManifestWriter::findIcon(folder), QString("dummy.png"));
    }
};

QTEST_GUILESS_MAIN(tst_Manifest)

#include "tst_manifest.moc"
