#include "plugin/pathtemplates.h"
#include "service/downloadservice.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;
using namespace TestProjects;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }

// The fields of the manifest in the example's folder, in the order of TestSupport::ManifestExample.
QStringList manifest(const QString &path)
{
    const auto m = TestSupport::readManifest(exampleFolder(path));
    return {m.module, m.name, m.projectPath, m.imageUrl, m.description, m.tags, m.fileToOpen};
}

} // namespace

// The service, the test server and the real tar in one process.
class tst_ServiceE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installsRepository();
    void nextCheckDoesNothing();
    void oneInstallationPerPath();

private:
    int archiveRequests(qint64 id) const { return m_server.requestCount(GitLabServer::archiveRoute(id)); }

    GitLabServer m_server;
    QTemporaryDir m_work;
    qint64 m_qml = 0;
    qint64 m_cmake = 0;
    qint64 m_widgets = 0;
};

void tst_ServiceE2e::initTestCase()
{
    QVERIFY(TestSupport::useTestSettings());
    QVERIFY(exampleFolder("x").startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
    QVERIFY(m_work.isValid());

    QVERIFY(m_server.listen());
    const qint64 group = m_server.addGroup("norvel-examples", "Norvel examples");

    const QString qml = m_work.filePath("Clock");
    QVERIFY(writeFiles(qml, {{"clock.pro", "TEMPLATE = app\nQT += quick\nSOURCES += src/main.cpp\n"},
                             {"src/main.cpp", "int main(int argc, char *argv[])\n{\n    return 0;\n}\n"},
                             {"qml/clock.qml", "import QtQuick.Controls 2.0\nApplicationWindow {}\n"}}));
    QVERIFY(writePng(m_work.filePath("clock-avatar.png"), {256, 128}, Qt::red));
    GitLabServer::ProjectOptions qmlOptions;
    qmlOptions.description = "A clock <with> ]]> markup";
    qmlOptions.tags = QStringList{"qml", "clock"};
    qmlOptions.avatarFile = m_work.filePath("clock-avatar.png");
    m_qml = m_server.addProject(group, qml, qmlOptions);

    const QString cmake = m_work.filePath("Sensor Log");
    QVERIFY(writeCMakeProject(cmake, "sensorlog"));
    QVERIFY(writePng(cmake + "/icons/128x128/sensorlog.png", {128, 128}, Qt::blue));
    m_cmake = m_server.addProject(group, cmake);

    const QString widgets = m_work.filePath("Notes");
    QVERIFY(writeQmakeProject(widgets, "notes"));
    QVERIFY(writePng(m_work.filePath("notes-avatar.png"), {32, 32}, Qt::green));
    GitLabServer::ProjectOptions widgetsOptions;
    widgetsOptions.avatarFile = m_work.filePath("notes-avatar.png");
    m_widgets = m_server.addProject(group, widgets, widgetsOptions);
    QVERIFY2(m_qml && m_cmake && m_widgets, qPrintable(m_server.errorString()));

    // Nothing of an earlier run counts.
    QDir(examplePathTemplate().arg(repositoryName, QString())).removeRecursively();
    TestSupport::writeVantorSettings(
        {repositoryName + '|' + m_server.groupUrl("norvel-examples").toString() + '|'});
}

void tst_ServiceE2e::installsRepository()
{
    QSignalSpy documentation(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::documentationChanged);
    DownloadService service;
    QTRY_COMPARE_WITH_TIMEOUT(documentation.count(), 3, 30000);

    QCOMPARE(QDir(examplePathTemplate().arg(repositoryName, QString()))
                 .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"clock", "notes", "sensor-log"}));

    const QString icon = QDir::separator() + QString("example-icon.png");
    QCOMPARE(manifest("clock"), QStringList({repositoryName, "Clock", "clock.pro", exampleFolder("clock") + icon,
                                             "A clock <with> ]]> markup", "qml,clock", "/qml/clock.qml"}));
    QCOMPARE(QImage(exampleFolder("clock") + icon).size(), QSize(128, 64));
    const QString sensorIcon = QFileInfo(exampleFolder("sensor-log/icons/128x128/sensorlog.png")).canonicalFilePath();
    QCOMPARE(manifest("sensor-log"), QStringList({repositoryName, "Sensor Log", "CMakeLists.txt", sensorIcon, "",
                                                  "Qt,example", "/main.cpp"}));
    QVERIFY(!QFileInfo::exists(exampleFolder("sensor-log") + icon));
    QCOMPARE(manifest("notes"), QStringList({repositoryName, "Notes", "notes.pro", exampleFolder("notes") + icon, "",
                                             "Qt,example", "/main.cpp"}));
    QCOMPARE(QImage(exampleFolder("notes") + icon).size(), QSize(128, 128));

    const QStringList dates = Core::ICore::settings()->value("Vantor/UpdatesCheckedDate").toStringList();
    QCOMPARE(dates, QStringList(repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy")));
    QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());
    for (const qint64 id : {m_qml, m_cmake, m_widgets})
        QCOMPARE(archiveRequests(id), 1);
}

void tst_ServiceE2e::nextCheckDoesNothing()
{
    const QFileInfo manifestFile(exampleFolder("clock") + "/examples-manifest.xml");
    QVERIFY(manifestFile.isFile());
    const QDateTime written = manifestFile.lastModified();

    DownloadService service;
    QSignalSpy updated(&service, &DownloadService::updated);
    QVERIFY(updated.wait(10000));
    QCOMPARE(service.examples(repositoryName).size(), 3);
    QTest::qWait(500);
    QCOMPARE(updated.count(), 1);
    for (const qint64 id : {m_qml, m_cmake, m_widgets})
        QCOMPARE(archiveRequests(id), 1);
    QCOMPARE(QFileInfo(manifestFile.filePath()).lastModified(), written);
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
    QCOMPARE(TestSupport::readManifest(exampleFolder("clock")).projectPath, QString("clock.pro"));
}

QTEST_GUILESS_MAIN(tst_ServiceE2e)

#include "tst_servicee2e.moc"
