#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "service/downloadservice.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/icore.h>

#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;
using namespace TestProjects;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString repositoryFolder() { return examplePathTemplate().arg(repositoryName, QString()); }
QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }
QString checkedToday() { return repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy"); }

std::unique_ptr<DownloadService> startService()
{
    Settings settings;
    settings.load(Core::ICore::settings());
    return std::make_unique<DownloadService>(settings, Core::ICore::settings());
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

    explicit Announcements(DownloadService *service)
    {
        connect(service, &DownloadService::documentationChanged, this, [this] { installed.append(installedCount()); });
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
        for (const QString name : {"Sensor Log", "Notes", "Clock"}) {
            QVERIFY(writeQmakeProject(m_work.filePath(name), name.toLower().remove(' ')));
            m_clock = m_server.addProject(group, m_work.filePath(name));
            QVERIFY2(m_clock, qPrintable(m_server.errorString()));
        }
    }

    void init()
    {
        // Nothing of an earlier run or test counts.
        QDir(repositoryFolder()).removeRecursively();
        TestSupport::writeVantorSettings({repositoryName + '|' + m_server.groupUrl("norvel-examples").toString() + '|'});
        m_server.clearBehaviours();
        m_server.clearRequests();
    }

    void oneInstallationPerPath()
    {
        const auto service = startService();
        const Announcements announcements(service.get());
        QTRY_VERIFY_WITH_TIMEOUT(announcements.toldOf(3), 30000);
        QSignalSpy documentation(service.get(), &DownloadService::documentationChanged);

        // Asked twice while the first is still under way: one download, one unpacking.
        service->applyChanges(repositoryName, {"clock"}, {});
        service->applyChanges(repositoryName, {"clock"}, {});
        documentation.clear(); // the user's changes are told at once
        QVERIFY(documentation.wait(20000));
        QTest::qWait(500);
        QCOMPARE(documentation.count(), 1);
        QCOMPARE(archiveRequests(), 2);
        // Once installed, it may come again.
        service->applyChanges(repositoryName, {"clock"}, {});
        QTRY_COMPARE_WITH_TIMEOUT(documentation.count(), 3, 20000);
        QCOMPARE(archiveRequests(), 3);
        QCOMPARE(TestSupport::readManifest(exampleFolder("clock")).projectPath, QString("clock.pro"));
    }

    void retriesFailed_data()
    {
        QTest::addColumn<GitLabBehaviour>("archive"); // of "clock"
        QTest::addColumn<QString>("special");

        const QString none;
        QTest::newRow("404") << GitLabBehaviour::reply(404) << none;
        QTest::newRow("stalled") << GitLabBehaviour::noAnswer() << none;
        QTest::newRow("slow drip") << GitLabBehaviour::drip(50) << none;
        // As a full disk: no archive has a place to go, and none is asked for.
        QTest::newRow("data folder unusable") << GitLabBehaviour() << "no data folder";
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
        m_server.setBehaviour(GitLabServer::archiveRoute(m_clock), archive);
        const QString repositoryFile = QDir::cleanPath(repositoryFolder());
        if (special == "no data folder")
            QVERIFY(writeFile(QFileInfo(repositoryFile).path(), QFileInfo(repositoryFile).fileName(), "a file"));
        const int installedFirst = special == "killed" ? 3 : special.isEmpty() ? 2 : 0;
        const int requestsFirst = special == "no data folder" ? 0 : 1;
        {
            const auto service = startService();
            const Announcements announcements(service.get());
            QTRY_VERIFY_WITH_TIMEOUT(installedCount() == installedFirst && announcements.toldOf(installedFirst)
                                         && archiveRequests() == requestsFirst && m_server.inFlight() == 0
                                         && ApiClient::downloadPool()->activeThreadCount() == 0
                                         && (installedFirst == 3
                                             || service->state(repositoryName, "clock").state == ExampleState::Failed),
                                     20000);
            QTest::qWait(300); // one request, not a loop
            QVERIFY(announcements.toldOf(installedFirst));
            QCOMPARE(archiveRequests(), requestsFirst);
            // Kept for the next start, a moment after the burst.
            if (installedFirst != 3)
                QTRY_VERIFY(settings->value("Vantor/UpdatesFailedExamples").toStringList().value(0).startsWith(repositoryName + "|clock|"));
        }
        if (special == "no data folder")
            QVERIFY(QFile::remove(repositoryFile));
        m_server.clearBehaviours();
        QCOMPARE(settings->value("Vantor/UpdatesCheckedDate").toStringList(), QStringList(checkedToday()));
        if (special == "killed") {
            // What the unpacking leaves: its staging folder with the archive, and where older versions
            // kept it, its temporary archive.
            QVERIFY(writeFiles(exampleFolder(".unpack-clock-AbC123"),
                               {{"clock.tar.gz", "an archive"}, {"archive/clock.pro", "TEMPLATE = app\n"}}));
            QVERIFY(writeFile(QDir::tempPath(), "clock-AbC123.tar.gz", "half an archive"));
            QVERIFY(writeFile(QDir::tempPath(), "foreign.tar.gz", "not ours"));
            const QString now = QDateTime::currentDateTime().toString(Qt::ISODate);
            settings->setValue("Vantor/UpdatesFailedExamples",
                               QStringList(QStringList{repositoryName, "clock", "interrupted", "1", now, now}.join('|')));
            settings->sync();
        } else {
            QVERIFY(!QFileInfo::exists(exampleFolder("clock")));
            QVERIFY(settings->value("Vantor/UpdatesFailedExamples").toStringList().value(0).startsWith(repositoryName + "|clock|"));
        }

        m_server.clearRequests();
        const auto service = startService();
        const Announcements announcements(service.get());
        QTRY_VERIFY_WITH_TIMEOUT(installedCount() == 3 && announcements.toldOf(3), 20000);
        QTest::qWait(300);
        // Nothing installed is fetched again.
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 3 - (installedFirst == 3 ? 2 : installedFirst));
        QCOMPARE(TestSupport::readManifest(exampleFolder("clock")).projectPath, QString("clock.pro"));
        QCOMPARE(QDir(repositoryFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
                 (QStringList{"clock", "notes", "sensor-log"}));
        QTRY_VERIFY(!settings->contains("Vantor/UpdatesFailedExamples"));
        QCOMPARE(QDir(repositoryFolder()).entryList({".unpack-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
        QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), special == "killed" ? QStringList{"foreign.tar.gz"} : QStringList());
        QFile::remove(QDir::temp().filePath("foreign.tar.gz"));
        ApiClient::setTransferTimeout(ApiClient::DefaultTransferTimeoutMs);
    }

private:
    int archiveRequests() const { return m_server.requestCount(GitLabServer::archiveRoute(m_clock)); }

    GitLabServer m_server;
    QTemporaryDir m_work;
    qint64 m_clock = 0;
};

QTEST_GUILESS_MAIN(tst_ServiceE2e)

#include "tst_servicee2e.moc"
