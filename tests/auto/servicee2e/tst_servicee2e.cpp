#include "plugin/pathtemplates.h"
#include "service/downloadservice.h"

#include <gitlabserver.h>

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QDomDocument>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

using Files = QMap<QString, QByteArray>;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString exampleFolder(const QString &path)
{
    return examplePathTemplate().arg(repositoryName, path);
}

bool writeFiles(const QString &folder, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = folder + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

bool writePicture(const QString &path, const QSize &size, const QColor &color)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image.save(path, "PNG");
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Manifest
{
    QString module, name, projectPath, imageUrl, description, tags, fileToOpen;
};

bool readManifest(const QString &path, Manifest *manifest)
{
    QDomDocument document;
    if (!document.setContent(readFile(exampleFolder(path) + "/examples-manifest.xml")))
        return false;
    const QDomElement example = document.elementsByTagName("example").at(0).toElement();
    *manifest = {document.documentElement().attribute("module"), example.attribute("name"),
                 example.attribute("projectPath"), example.attribute("imageUrl"),
                 example.firstChildElement("description").text(),
                 example.firstChildElement("tags").text(),
                 example.firstChildElement("fileToOpen").text()};
    return true;
}

} // namespace

class tst_ServiceE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsRepository();
    void nextCheckDoesNothing();
    void changedOnServer();
    void oneInstallationPerPath();

private:
    int archiveRequests(qint64 id) const { return m_server.requestCount(GitLabServer::archiveRoute(id)); }

    GitLabServer m_server;
    QTemporaryDir m_work;
    qint64 m_qml = 0;
    qint64 m_cmake = 0;
    qint64 m_widgets = 0;
    QDateTime m_installed;
};

void tst_ServiceE2e::initTestCase()
{
    QCoreApplication::setOrganizationName("QtProject");
    QCoreApplication::setApplicationName("QtCreator");
    const QString settingsPath = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH");
    QVERIFY(!settingsPath.isEmpty());
    Core::ICore::setSettingsPaths(settingsPath, settingsPath + "/install");
    QVERIFY(exampleFolder("x").startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
    QVERIFY(m_work.isValid());

    QVERIFY(m_server.listen());
    const qint64 group = m_server.addGroup("norvel-examples", "Norvel examples");

    const QString qml = m_work.filePath("Clock");
    QVERIFY(writeFiles(qml, {{"clock.pro", "TEMPLATE = app\nQT += quick\nSOURCES += src/main.cpp\n"},
                             {"src/main.cpp", "int main(int argc, char *argv[])\n{\n    return 0;\n}\n"},
                             {"qml/clock.qml", "import QtQuick.Controls 2.0\nApplicationWindow {}\n"}}));
    QVERIFY(writePicture(m_work.filePath("clock-avatar.png"), {256, 128}, Qt::red));
    GitLabServer::ProjectOptions qmlOptions;
    qmlOptions.description = "A clock <with> ]]> markup";
    qmlOptions.tags = QStringList{"qml", "clock"};
    qmlOptions.avatarFile = m_work.filePath("clock-avatar.png");
    m_qml = m_server.addProject(group, qml, qmlOptions);

    const QString cmake = m_work.filePath("Sensor Log");
    QVERIFY(writeFiles(cmake, {{"CMakeLists.txt", "cmake_minimum_required(VERSION 3.16)\n"
                                                  "project(sensorlog)\nadd_executable(sensorlog main.cpp)\n"},
                               {"main.cpp", "int main()\n{\n    return 0;\n}\n"}}));
    QVERIFY(writePicture(cmake + "/icons/128x128/sensorlog.png", {128, 128}, Qt::blue));
    m_cmake = m_server.addProject(group, cmake);

    const QString widgets = m_work.filePath("Notes");
    QVERIFY(writeFiles(widgets, {{"notes.pro", "TEMPLATE = app\nSOURCES += main.cpp\n"},
                                 {"main.cpp", "int main(int argc, char **argv)\n{\n    return argc;\n}\n"}}));
    QVERIFY(writePicture(m_work.filePath("notes-avatar.png"), {32, 32}, Qt::green));
    GitLabServer::ProjectOptions widgetsOptions;
    widgetsOptions.avatarFile = m_work.filePath("notes-avatar.png");
    m_widgets = m_server.addProject(group, widgets, widgetsOptions);
    QVERIFY2(m_qml && m_cmake && m_widgets, qPrintable(m_server.errorString()));

    // Nothing of an earlier run counts.
    QDir(examplePathTemplate().arg(repositoryName, QString())).removeRecursively();
    QSettings *settings = Core::ICore::settings();
    settings->remove("Vantor");
    settings->setValue("Vantor/Repositories",
                       QStringList{repositoryName + '|' + m_server.groupUrl("norvel-examples").toString() + '|'});
    settings->sync();
}

void tst_ServiceE2e::installsRepository()
{
    QSignalSpy documentation(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::documentationChanged);
    DownloadService service;
    QTRY_COMPARE_WITH_TIMEOUT(documentation.count(), 3, 30000);
    m_installed = QDateTime::currentDateTime();

    QStringList folders = QDir(examplePathTemplate().arg(repositoryName, QString()))
                              .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(folders, (QStringList{"clock", "notes", "sensor-log"}));

    Manifest clock;
    QVERIFY(readManifest("clock", &clock));
    QCOMPARE(clock.module, repositoryName);
    QCOMPARE(clock.name, QString("Clock"));
    QCOMPARE(clock.projectPath, QString("clock.pro"));
    QCOMPARE(clock.imageUrl, exampleFolder("clock") + QDir::separator() + "example-icon.png");
    QCOMPARE(QImage(clock.imageUrl).size(), QSize(128, 64));
    QCOMPARE(clock.description, QString("A clock <with> ]]> markup"));
    QCOMPARE(clock.tags, QString("qml,clock"));
    QCOMPARE(clock.fileToOpen, QString("/qml/clock.qml"));

    Manifest sensor;
    QVERIFY(readManifest("sensor-log", &sensor));
    QCOMPARE(sensor.projectPath, QString("CMakeLists.txt"));
    QCOMPARE(sensor.imageUrl, QFileInfo(exampleFolder("sensor-log") + "/icons/128x128/sensorlog.png")
                                  .canonicalFilePath());
    QVERIFY(!QFileInfo::exists(exampleFolder("sensor-log") + "/example-icon.png"));
    QCOMPARE(sensor.tags, QString("Qt,example"));
    QCOMPARE(sensor.fileToOpen, QString("/main.cpp"));

    Manifest notes;
    QVERIFY(readManifest("notes", &notes));
    QCOMPARE(QImage(notes.imageUrl).size(), QSize(128, 128));
    QCOMPARE(notes.fileToOpen, QString("/main.cpp"));

    const QStringList dates = Core::ICore::settings()->value("Vantor/UpdatesCheckedDate").toStringList();
    QCOMPARE(dates, QStringList{repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy")});
    QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());
    for (const qint64 id : {m_qml, m_cmake, m_widgets})
        QCOMPARE(archiveRequests(id), 1);
}

void tst_ServiceE2e::nextCheckDoesNothing()
{
    const QByteArray manifest = readFile(exampleFolder("clock") + "/examples-manifest.xml");
    QVERIFY(!manifest.isEmpty());
    const QDateTime written = QFileInfo(exampleFolder("clock") + "/examples-manifest.xml").lastModified();

    DownloadService service;
    QSignalSpy updated(&service, &DownloadService::updated);
    QVERIFY(updated.wait(10000));
    QCOMPARE(service.examples(repositoryName).size(), 3);
    QTest::qWait(500);
    QCOMPARE(updated.count(), 1);
    for (const qint64 id : {m_qml, m_cmake, m_widgets})
        QCOMPARE(archiveRequests(id), 1);
    QCOMPARE(QFileInfo(exampleFolder("clock") + "/examples-manifest.xml").lastModified(), written);
}

void tst_ServiceE2e::changedOnServer()
{
    const QString notes = m_work.filePath("Notes");
    QVERIFY(writeFiles(notes, {{"README.md", "Now with a read-me.\n"}}));
    QVERIFY(m_server.updateProject(m_widgets, notes, QDateTime::currentDateTimeUtc().addSecs(-60)));
    // The last check was three days ago: only what changed since then comes again.
    QSettings *settings = Core::ICore::settings();
    settings->setValue("Vantor/UpdatesCheckedDate",
                       QStringList{repositoryName + '|' + QDate::currentDate().addDays(-3).toString("dd.MM.yyyy")});
    settings->sync();

    QSignalSpy documentation(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::documentationChanged);
    DownloadService service;
    QVERIFY(documentation.wait(20000));
    QTest::qWait(300);
    QCOMPARE(documentation.count(), 1);
    QCOMPARE(archiveRequests(m_widgets), 2);
    QCOMPARE(archiveRequests(m_qml), 1);
    QCOMPARE(archiveRequests(m_cmake), 1);
    QCOMPARE(readFile(exampleFolder("notes") + "/README.md"), QByteArray("Now with a read-me.\n"));
    QCOMPARE(QDir(examplePathTemplate().arg(repositoryName, QString()))
                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"clock", "notes", "sensor-log"}));
    QCOMPARE(settings->value("Vantor/UpdatesCheckedDate").toStringList(),
             QStringList{repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy")});
}

void tst_ServiceE2e::oneInstallationPerPath()
{
    DownloadService service;
    QSignalSpy updated(&service, &DownloadService::updated);
    QVERIFY(updated.wait(10000));
    QSignalSpy documentation(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::documentationChanged);
    const int before = archiveRequests(m_qml);

    // Asked twice while the first is still under way: one download, one unpacking.
    service.download(repositoryName, {"clock"});
    service.download(repositoryName, {"clock"});
    QVERIFY(documentation.wait(20000));
    QTest::qWait(500);
    QCOMPARE(documentation.count(), 1);
    QCOMPARE(archiveRequests(m_qml), before + 1);

    // Once installed, it may come again.
    service.download(repositoryName, {"clock"});
    QVERIFY(documentation.wait(20000));
    QCOMPARE(archiveRequests(m_qml), before + 2);
    Manifest clock;
    QVERIFY(readManifest("clock", &clock));
    QCOMPARE(clock.projectPath, QString("clock.pro"));
}

QTEST_GUILESS_MAIN(tst_ServiceE2e)

#include "tst_servicee2e.moc"
