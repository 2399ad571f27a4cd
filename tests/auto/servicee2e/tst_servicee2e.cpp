#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "service/downloadservice.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

using namespace Vantor::Internal;
using namespace TestProjects;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString repositoryFolder() { return examplePathTemplate().arg(repositoryName, QString()); }
QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }
QString checkedToday() { return repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy"); }

// The fields of the manifest in the example's folder, in the order of TestSupport::ManifestExample.
QStringList manifest(const QString &path)
{
    const auto m = TestSupport::readManifest(exampleFolder(path));
    return {m.module, m.name, m.projectPath, m.imageUrl, m.description, m.tags, m.fileToOpen};
}

int installedCount()
{
    int installed = 0;
    for (const char *path : {"clock", "notes", "sensor-log"})
        installed += QFileInfo::exists(exampleFolder(path) + "/examples-manifest.xml");
    return installed;
}

// How many examples were installed each time the host was told that they changed: installations
// close together are announced together.
struct Announcements : QObject
{
    QList<int> installed;

    Announcements()
    {
        connect(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged, this,
                [this] { installed.append(installedCount()); });
    }
    // Told after the last installation, and never when nothing was installed.
    bool toldOf(int count) const { return count ? installed.value(installed.size() - 1) == count : installed.isEmpty(); }
};

} // namespace

// The service, the test server and the real tar in one process.
class tst_ServiceE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
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
    }

    void init()
    {
        // Nothing of an earlier run or test counts.
        QDir(repositoryFolder()).removeRecursively();
        TestSupport::writeVantorSettings({repositoryName + '|' + m_server.groupUrl("norvel-examples").toString() + '|'});
        m_server.clearBehaviours();
        m_server.clearRequests();
    }

    void installsRepository()
    {
        {
            const Announcements announcements;
            DownloadService service;
            QTRY_VERIFY_WITH_TIMEOUT(announcements.toldOf(3), 30000);
        }
        QCOMPARE(QDir(repositoryFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"clock", "notes", "sensor-log"}));
        const QString icon = QDir::separator() + QString("example-icon.png");
        QCOMPARE(manifest("clock"), QStringList({repositoryName, "Clock", "clock.pro", exampleFolder("clock") + icon,
                                                 "A clock <with> ]]> markup", "qml,clock", "/qml/clock.qml"}));
        QCOMPARE(QImage(exampleFolder("clock") + icon).size(), QSize(128, 64));
        const QString sensorIcon = QFileInfo(exampleFolder("sensor-log/icons/128x128/sensorlog.png")).canonicalFilePath();
        QCOMPARE(manifest("sensor-log"), QStringList({repositoryName, "Sensor Log", "CMakeLists.txt", sensorIcon, "",
                                                      "Qt,example", "/main.cpp"}));
        QVERIFY(!QFileInfo::exists(exampleFolder("sensor-log") + icon));
        QCOMPARE(manifest("notes"), QStringList({repositoryName, "Notes", "notes.pro", exampleFolder("notes") + icon,
                                                 "", "Qt,example", "/main.cpp"}));
        QCOMPARE(QImage(exampleFolder("notes") + icon).size(), QSize(128, 128));
        QCOMPARE(Core::ICore::settings()->value("Vantor/UpdatesCheckedDate").toStringList(), QStringList(checkedToday()));
        QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());

        // The next start finds nothing changed and downloads nothing.
        const QString manifestFile = exampleFolder("clock") + "/examples-manifest.xml";
        const QDateTime written = QFileInfo(manifestFile).lastModified();
        DownloadService service;
        QSignalSpy updated(&service, &DownloadService::updated);
        QVERIFY(updated.wait(10000));
        QCOMPARE(service.examples(repositoryName).size(), 3);
        QTest::qWait(500);
        QCOMPARE(updated.count(), 1);
        for (const qint64 id : {m_qml, m_cmake, m_widgets})
            QCOMPARE(archiveRequests(id), 1);
        QCOMPARE(QFileInfo(manifestFile).lastModified(), written);

        // Asked twice while the first is still under way: one download, one unpacking.
        QSignalSpy documentation(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged);
        service.download(repositoryName, {"clock"});
        service.download(repositoryName, {"clock"});
        QVERIFY(documentation.wait(20000));
        QTest::qWait(500);
        QCOMPARE(documentation.count(), 1);
        QCOMPARE(archiveRequests(m_qml), 2);
        // Once installed, it may come again.
        service.download(repositoryName, {"clock"});
        QVERIFY(documentation.wait(20000));
        QCOMPARE(archiveRequests(m_qml), 3);
        QCOMPARE(TestSupport::readManifest(exampleFolder("clock")).projectPath, QString("clock.pro"));
    }

    void retriesFailed_data()
    {
        QTest::addColumn<GitLabBehaviour>("archive"); // of "clock"
        QTest::addColumn<QString>("special");

        const QString none;
        QTest::newRow("404") << GitLabBehaviour::reply(404) << none;
        QTest::newRow("429") << GitLabBehaviour::reply(429) << none;
        QTest::newRow("500") << GitLabBehaviour::reply(500) << none;
        QTest::newRow("cut body") << GitLabBehaviour::closeMidBody() << none;
        QTest::newRow("stalled") << GitLabBehaviour::noAnswer() << none;
        QTest::newRow("slow drip") << GitLabBehaviour::drip(50) << none;
        // As a full disk: nothing can be saved for unpacking.
        QTest::newRow("temporary folder unusable") << GitLabBehaviour() << "no temporary folder";
        // All installed, then an update of "clock" was being unpacked when the IDE was killed.
        QTest::newRow("killed while unpacking") << GitLabBehaviour() << "killed";
    }

    // Failed, then the next start retries and installs, although the check date says today.
    void retriesFailed()
    {
        QFETCH(GitLabBehaviour, archive);
        QFETCH(QString, special);
        ApiClient::setTransferTimeout(500);
        QSettings *settings = Core::ICore::settings();
        m_server.setBehaviour(GitLabServer::archiveRoute(m_qml), archive);
        const QByteArray tmp = qgetenv("TMPDIR");
        QVERIFY(writeFile(m_work.path(), "not-a-folder", "a file"));
        if (special == "no temporary folder")
            qputenv("TMPDIR", m_work.filePath("not-a-folder").toLocal8Bit());
        const int installedFirst = special == "killed" ? 3 : special.isEmpty() ? 2 : 0;
        {
            const Announcements announcements;
            DownloadService service;
            QTRY_VERIFY_WITH_TIMEOUT(installedCount() == installedFirst && announcements.toldOf(installedFirst)
                                         && archiveRequests(m_qml) == 1 && m_server.inFlight() == 0
                                         && ApiClient::downloadPool()->activeThreadCount() == 0,
                                     20000);
            QTest::qWait(300); // one request, not a loop
            QVERIFY(announcements.toldOf(installedFirst));
            QCOMPARE(archiveRequests(m_qml), 1);
        }
        qputenv("TMPDIR", tmp);
        m_server.clearBehaviours();
        QCOMPARE(settings->value("Vantor/UpdatesCheckedDate").toStringList(), QStringList(checkedToday()));
        if (special == "killed") {
            // What the unpacking leaves: its staging folder and its temporary archive.
            QVERIFY(writeFiles(exampleFolder(".unpack-clock-AbC123"), {{"unpacked/clock.pro", "TEMPLATE = app\n"}}));
            QVERIFY(writeFile(QDir::tempPath(), "clock-AbC123.tar.gz", "half an archive"));
            QVERIFY(writeFile(QDir::tempPath(), "foreign.tar.gz", "not ours"));
            settings->setValue("Vantor/UpdatesPendingExamples", QStringList(repositoryName + "|clock"));
            settings->sync();
        } else {
            QVERIFY(!QFileInfo::exists(exampleFolder("clock")));
            QVERIFY(settings->value("Vantor/UpdatesPendingExamples").toStringList().value(0).startsWith(repositoryName + "|clock"));
        }

        m_server.clearRequests();
        const Announcements announcements;
        DownloadService service;
        QTRY_VERIFY_WITH_TIMEOUT(installedCount() == 3 && announcements.toldOf(3), 20000);
        QTest::qWait(300);
        // Nothing installed is fetched again.
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 3 - (installedFirst == 3 ? 2 : installedFirst));
        QCOMPARE(TestSupport::readManifest(exampleFolder("clock")).projectPath, QString("clock.pro"));
        QCOMPARE(QDir(repositoryFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"clock", "notes", "sensor-log"}));
        QVERIFY(!settings->contains("Vantor/UpdatesPendingExamples"));
        QCOMPARE(QDir(repositoryFolder()).entryList({".unpack-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
        QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), special == "killed" ? QStringList{"foreign.tar.gz"} : QStringList());
        QFile::remove(QDir::temp().filePath("foreign.tar.gz"));
        ApiClient::setTransferTimeout(ApiClient::DefaultTransferTimeoutMs);
    }

private:
    int archiveRequests(qint64 id) const { return m_server.requestCount(GitLabServer::archiveRoute(id)); }

    GitLabServer m_server;
    QTemporaryDir m_work;
    qint64 m_qml = 0;
    qint64 m_cmake = 0;
    qint64 m_widgets = 0;
};

QTEST_GUILESS_MAIN(tst_ServiceE2e)

#include "tst_servicee2e.moc"
