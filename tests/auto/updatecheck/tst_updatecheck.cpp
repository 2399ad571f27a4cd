#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "repository/example.h"
#include "service/downloadservice.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/icore.h>

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }
QString checked(const QDate &date) { return repositoryName + '|' + date.toString("dd.MM.yyyy"); }
QStringList stored(const QString &key) { return Core::ICore::settings()->value("Vantor/" + key).toStringList(); }

Repository::ExamplePtr makeExample(const QString &path, const QString &lastActivity = {})
{
    return Repository::ExamplePtr::create(TestSupport::projectJson(
        path, lastActivity.isNull() ? QJsonObject() : QJsonObject{{"last_activity_at", lastActivity}}));
}

void writeSettings(const QUrl &url, const QString &removed, const QDate &lastCheck, int interval,
                   const QVariant &restartSeconds = 3600, const QString &pending = {})
{
    QVariantMap values{{"UpdatesCheckTimeoutDays", interval}, {"ServiceRestartTimeoutSeconds", restartSeconds}};
    if (!pending.isEmpty())
        values.insert("UpdatesPendingExamples", QStringList(repositoryName + '|' + pending));
    if (!lastCheck.isNull())
        values.insert("UpdatesCheckedDate", QStringList(checked(lastCheck)));
    TestSupport::writeVantorSettings({QString("%1|%2|%3").arg(repositoryName, url.toString(), removed)}, values);
}

} // namespace

class tst_UpdateCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        QVERIFY(exampleFolder("x").startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
        QLoggingCategory::setFilterRules("tas.vantor.plugin.service.debug=true");
        ApiClient::setTransferTimeout(2000);
        // A port nobody listens on: these clients never come up, the lists are fed by hand.
        m_deadUrl = QUrl(QString("http://127.0.0.1:%1/examples").arg(TestSupport::unusedPort()));
    }

    void init() { QDir(exampleFolder(QString())).removeRecursively(); }

    void cleanup()
    {
        // The downloads from the dead address fail soon; their workers end before the service.
        if (m_service)
            QTRY_COMPARE(busy(), QStringList());
        m_service.reset();
        Core::ICore::settings()->remove("Vantor");
    }

    void decision_data()
    {
        QTest::addColumn<QDate>("lastCheck");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QString>("lastActivity");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<bool>("pending"); // its download or installation failed before
        QTest::addColumn<bool>("due");
        QTest::addColumn<bool>("downloaded");

        const QDate today = QDate::currentDate();
        const auto iso = [](const QDateTime &time) { return time.toUTC().toString(Qt::ISODateWithMs); };
        const QString longAgo = iso(QDateTime::currentDateTime().addDays(-30));
        const QDate twoDays = today.addDays(-2);
        const QDate yesterday = today.addDays(-1);

        QTest::newRow("no stored date") << QDate() << 1 << false << longAgo << true << false << true << true;
        QTest::newRow("yesterday, interval 1") << yesterday << 1 << false << longAgo << true << false << false << false;
        QTest::newRow("two days ago, changed since")
            << twoDays << 1 << false << iso(QDateTime::currentDateTime()) << true << false << true << true;
        QTest::newRow("two days ago, unchanged") << twoDays << 1 << false << longAgo << true << false << true << false;
        QTest::newRow("two days ago, unchanged, folder missing")
            << twoDays << 1 << false << longAgo << false << false << true << true;
        QTest::newRow("changed a second before the check day")
            << twoDays << 1 << false << iso(twoDays.startOfDay().addSecs(-1)) << true << false << true << false;
        QTest::newRow("changed at the start of the check day")
            << twoDays << 1 << false << iso(twoDays.startOfDay()) << true << false << true << true;
        QTest::newRow("future date") << today.addDays(3) << 1 << false << longAgo << true << false << false << false;
        QTest::newRow("interval 0") << QDate() << 0 << false << longAgo << false << false << false << false;
        QTest::newRow("five days ago, interval 7")
            << today.addDays(-5) << 7 << false << longAgo << true << false << false << false;
        QTest::newRow("removed example") << QDate() << 1 << true << longAgo << false << false << true << false;
        QTest::newRow("unreadable activity") << twoDays << 1 << false << "last tuesday" << true << false << true << true;
        // Retried whatever the check date says, until installed or removed.
        QTest::newRow("not due, folder missing") << yesterday << 1 << false << longAgo << false << false << false << true;
        QTest::newRow("not due, failed before") << yesterday << 1 << false << longAgo << true << true << false << true;
        QTest::newRow("failed before, removed since")
            << yesterday << 1 << true << longAgo << true << true << false << false;
        QTest::newRow("failed before, interval 0") << yesterday << 0 << false << longAgo << true << true << false << false;
    }

    void decision()
    {
        QFETCH(QDate, lastCheck);
        QFETCH(int, interval);
        QFETCH(bool, removed);
        QFETCH(QString, lastActivity);
        QFETCH(bool, folderExists);
        QFETCH(bool, pending);
        QFETCH(bool, due);
        QFETCH(bool, downloaded);

        writeSettings(m_deadUrl, removed ? "demo" : QString(), lastCheck, interval, 3600, pending ? "demo" : QString());
        if (folderExists)
            QVERIFY(QDir().mkpath(exampleFolder("demo")));
        m_service = std::make_unique<DownloadService>();
        QSignalSpy updated(m_service.get(), &DownloadService::updated);

        // A second example without a folder: downloaded whenever automatic updates are on.
        fetch({makeExample("demo", lastActivity), makeExample("other")});
        QCOMPARE(updated.count(), 1);
        QCOMPARE(repository()->isBusy("demo"), downloaded);
        QCOMPARE(repository()->isBusy("other"), interval != 0);
        QCOMPARE(stored("UpdatesCheckedDate"), due ? QStringList(checked(QDate::currentDate()))
                                               : lastCheck.isValid() ? QStringList(checked(lastCheck)) : QStringList());
        // Pending until installed: these downloads fail.
        if (interval != 0)
            QCOMPARE(stored("UpdatesPendingExamples"), QStringList(repositoryName + (downloaded ? "|demo|other" : "|other")));
    }

    void settingsChangedElsewhere()
    {
        writeSettings(m_deadUrl, QString(), QDate(), 1);
        m_service = std::make_unique<DownloadService>();

        // The options page saves after the service has started: a removal, another interval and an
        // entry the service itself would not keep.
        QSettings *settings = Core::ICore::settings();
        const QStringList repositories{QString("%1|%2|demo").arg(repositoryName, m_deadUrl.toString()),
                                       "not a repository"};
        settings->setValue("Vantor/Repositories", repositories);
        settings->setValue("Vantor/UpdatesCheckTimeoutDays", 5);
        settings->setValue("Vantor/UpdatesCheckedDate", QStringList{"elsewhere|01.02.2024"});
        settings->sync();

        fetch({makeExample("demo"), makeExample("chart")});
        QCOMPARE(busy(), QStringList{"chart"});
        QCOMPARE(stored("Repositories"), repositories);
        QCOMPARE(settings->value("Vantor/UpdatesCheckTimeoutDays").toInt(), 5);
        QStringList dates = stored("UpdatesCheckedDate");
        dates.sort();
        QCOMPARE(dates, (QStringList{"elsewhere|01.02.2024", checked(QDate::currentDate())}));
    }

    // A later check date that another copy stored stays when the service saves another repository's.
    void laterCheckDateKept()
    {
        const QUrl second(QString("http://127.0.0.1:%1/second").arg(TestSupport::unusedPort()));
        TestSupport::writeVantorSettings({QString("%1|%2|").arg(repositoryName, m_deadUrl.toString()),
                                          "second|" + second.toString() + '|'},
                                         {{"ServiceRestartTimeoutSeconds", 3600}});
        m_service = std::make_unique<DownloadService>();
        const auto fetchOf = [this](const QUrl &url) {
            for (const auto &repository : qAsConst(m_service->m_repositories)) {
                if (repository->url() == url)
                    emit repository->client()->fetched({});
            }
        };
        fetchOf(m_deadUrl);
        const QDate later = QDate::currentDate().addDays(3);
        Core::ICore::settings()->setValue("Vantor/UpdatesCheckedDate", QStringList(checked(later)));
        fetchOf(second);
        const QStringList dates = stored("UpdatesCheckedDate");
        QCOMPARE(QSet<QString>(dates.cbegin(), dates.cend()),
                 (QSet<QString>{checked(later), "second|" + QDate::currentDate().toString("dd.MM.yyyy")}));
    }

    void restartTimer_data()
    {
        QTest::addColumn<QVariant>("seconds");
        QTest::addColumn<GitLabBehaviour>("search");
        QTest::addColumn<bool>("comesUp");
        QTest::addColumn<int>("restarts"); // exactly, when the client comes up; else at most, in 2 s
        QTest::addColumn<int>("days");     // update interval; with 0 the example is pending from before
        QTest::addColumn<int>("archives"); // requested once the client is up

        // The first client and the first restarted one stay down, the next one comes up.
        QTest::newRow("until ready") << QVariant(1) << GitLabBehaviour::reply(500).only(2) << true << 2 << 1 << 2;
        // With automatic updates off, not even a pending example is tried again.
        QTest::newRow("until ready, updates off")
            << QVariant(1) << GitLabBehaviour::reply(500).only(2) << true << 2 << 0 << 0;
        QTest::newRow("0, search fails") << QVariant(0) << GitLabBehaviour::reply(500) << false << 2 << 1 << 0;
        // Text reads as 0. A search under way is not restarted.
        QTest::newRow("text, search hangs") << QVariant("soon") << GitLabBehaviour::noAnswer() << false << 0 << 1 << 0;
    }

    void restartTimer()
    {
        QFETCH(QVariant, seconds);
        QFETCH(GitLabBehaviour, search);
        QFETCH(bool, comesUp);
        QFETCH(int, restarts);
        QFETCH(int, days);
        GitLabServer server;
        QVERIFY(server.listen());
        QTemporaryDir folder;
        QVERIFY(TestProjects::writeQmakeProject(folder.filePath("demo"), "demo"));
        QVERIFY(server.addProject(server.addGroup("examples"), folder.filePath("demo")));
        server.setBehaviour(GitLabServer::SearchRoute, search);
        server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::reply(500));
        writeSettings(server.groupUrl("examples"), QString(), QDate(), days, seconds, days ? QString() : "demo");
        ApiClient::setTransferTimeout(10000);

        m_service = std::make_unique<DownloadService>();
        QSignalSpy status(m_service.get(), &DownloadService::statusChanged);
        QVERIFY(m_service->m_timer.isActive());
        QCOMPARE(m_service->m_timer.interval(), 1000);
        if (comesUp) {
            QTRY_VERIFY_WITH_TIMEOUT(!m_service->m_timer.isActive(), 10000);
            QVERIFY(repository()->isReady());
            QTest::qWait(1500); // stopped for good
        } else {
            QTest::qWait(2000);
        }
        const QString restarting = "API client is not ready - restarting (" + server.groupUrl("examples").toString() + ")";
        const int restarted = TestSupport::texts(status).count(restarting);
        QVERIFY2(comesUp ? restarted == restarts : restarted <= restarts, qPrintable(QString::number(restarted)));
        QVERIFY(server.requestCount(GitLabServer::SearchRoute) <= restarts + 1);
        if (comesUp) {
            QCOMPARE(server.requestCount(GitLabServer::SearchRoute), restarts + 1);
            QVERIFY(!m_service->m_timer.isActive());
            // The failed download was tried again at the last tick, and only then.
            QTEST(server.requestCount(GitLabServer::ArchiveRoute), "archives");
        }
        ApiClient::setTransferTimeout(2000);
        m_service.reset();
    }

private:
    Repository *repository() const { return m_service->m_repositories.first().data(); }
    // Delivers a list as the repository's client would after a fetch.
    void fetch(const Repository::Examples &examples) { emit repository()->client()->fetched(examples); }
    // The examples of the tests whose downloads are under way.
    QStringList busy() const
    {
        QStringList paths;
        for (const char *path : {"chart", "demo", "other"}) {
            if (repository()->isBusy(path))
                paths.append(path);
        }
        return paths;
    }

    QUrl m_deadUrl;
    std::unique_ptr<DownloadService> m_service;
};

QTEST_GUILESS_MAIN(tst_UpdateCheck)

#include "tst_updatecheck.moc"
