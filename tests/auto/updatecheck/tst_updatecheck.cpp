#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "repository/example.h"
#include "service/downloadservice.h"
#include "service/updatecheck.h"

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
QString iso(const QDateTime &time) { return time.toUTC().toString(Qt::ISODate); }

std::unique_ptr<DownloadService> startService()
{
    Settings settings;
    settings.load(Core::ICore::settings());
    return std::make_unique<DownloadService>(settings, Core::ICore::settings());
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
        ApiClient::setTransferTimeout(2000);
        // A port nobody listens on: these clients never come up, the lists are fed by hand.
        m_deadUrl = QUrl(QString("http://127.0.0.1:%1/examples").arg(TestSupport::unusedPort()));
    }

    void init() { QDir(exampleFolder(QString())).removeRecursively(); }

    void cleanup()
    {
        // The downloads from the dead address fail soon; their workers end before the service.
        if (m_service)
            QTRY_VERIFY(!m_service->isBusy());
        m_service.reset();
        Core::ICore::settings()->remove("Vantor");
    }

    void due_data()
    {
        QTest::addColumn<QDate>("lastCheck");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("due");

        const QDate today = QDate::currentDate();
        QTest::newRow("never checked") << QDate() << 1 << true;
        QTest::newRow("yesterday, interval 1") << today.addDays(-1) << 1 << false;
        QTest::newRow("two days ago, interval 1") << today.addDays(-2) << 1 << true;
        QTest::newRow("in the future") << today.addDays(3) << 1 << false;
        QTest::newRow("five days ago, interval 7") << today.addDays(-5) << 7 << false;
    }

    void due()
    {
        QFETCH(QDate, lastCheck);
        QFETCH(int, interval);
        QTEST(UpdateCheck::isDue(lastCheck, quint32(interval), QDate::currentDate()), "due");
    }

    // When a failed example is tried again.
    void retry_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("secondsAgo");
        QTest::addColumn<bool>("changedOnServer");
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<bool>("retried");

        QTest::newRow("transient, within the first pause") << "server" << 1 << 30 << false << false << false;
        QTest::newRow("transient, after the first pause") << "server" << 1 << 61 << false << false << true;
        QTest::newRow("transient, second pause is longer") << "network" << 2 << 300 << false << false << false;
        QTest::newRow("transient, after the second pause") << "timeout" << 2 << 601 << false << false << true;
        QTest::newRow("transient, third pause an hour") << "ratelimit" << 3 << 1800 << false << false << false;
        QTest::newRow("transient, at start") << "server" << 1 << 1 << false << true << true;
        QTest::newRow("interrupted, at start") << "interrupted" << 1 << 1 << false << true << true;
        QTest::newRow("transient, daily cap reached") << "network" << UpdateCheck::MaximumAttemptsPerDay << 1
                                                      << false << true << false;
        QTest::newRow("permanent, unchanged") << "noproject" << 1 << 3600 << false << true << false;
        QTest::newRow("permanent, changed on the server") << "toolarge" << 1 << 1 << true << false << true;
    }

    void retry()
    {
        QFETCH(QString, kind);
        QFETCH(int, attempts);
        QFETCH(int, secondsAgo);
        QFETCH(bool, changedOnServer);
        QFETCH(bool, atStart);
        // Noon, so that the attempts counted stay on one day.
        const QDateTime now(QDate::currentDate(), QTime(12, 0));
        const QDateTime activity(QDate(2024, 3, 5), QTime(8, 0));
        const ExampleFailure failure{kind, attempts, now.addSecs(-secondsAgo), activity};
        QTEST(UpdateCheck::shouldRetry(failure, changedOnServer ? activity.addSecs(1) : activity, now, atStart),
              "retried");
        // The next day starts afresh.
        const ExampleFailure yesterday{kind, attempts, now.addDays(-1), activity};
        QCOMPARE(UpdateCheck::attempt(yesterday, Problem::ServerError, activity, now).attempts, 1);
        QCOMPARE(UpdateCheck::attempt(failure, Problem::ServerError, activity, now).attempts, attempts + 1);
    }

    // What a list from the server starts, and what the user and the stored settings see of it.
    void decision_data()
    {
        QTest::addColumn<QDate>("lastCheck");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<QString>("lastActivity");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("failedBefore"); // the stored failure's kind; empty: none
        QTest::addColumn<bool>("due");
        QTest::addColumn<bool>("downloaded");

        const QDate today = QDate::currentDate();
        const QString longAgo = iso(QDateTime::currentDateTime().addDays(-30));
        const QDate twoDays = today.addDays(-2);
        const QDate yesterday = today.addDays(-1);
        const QString none;

        QTest::newRow("no stored date") << QDate() << 1 << false << longAgo << true << none << true << true;
        QTest::newRow("yesterday, interval 1") << yesterday << 1 << false << longAgo << true << none << false << false;
        QTest::newRow("two days ago, changed since")
            << twoDays << 1 << false << iso(QDateTime::currentDateTime()) << true << none << true << true;
        QTest::newRow("two days ago, unchanged") << twoDays << 1 << false << longAgo << true << none << true << false;
        QTest::newRow("two days ago, unchanged, folder missing")
            << twoDays << 1 << false << longAgo << false << none << true << true;
        QTest::newRow("changed a second before the check day")
            << twoDays << 1 << false << iso(twoDays.startOfDay().addSecs(-1)) << true << none << true << false;
        QTest::newRow("changed at the start of the check day")
            << twoDays << 1 << false << iso(twoDays.startOfDay()) << true << none << true << true;
        QTest::newRow("interval 0") << QDate() << 0 << false << longAgo << false << none << false << false;
        QTest::newRow("removed example") << QDate() << 1 << true << longAgo << false << none << true << false;
        QTest::newRow("unreadable activity") << twoDays << 1 << false << "last tuesday" << true << none << true << true;
        // Deleted by hand: back at the next due check only.
        QTest::newRow("not due, folder missing") << yesterday << 1 << false << longAgo << false << none << false << false;
        // Failed before: tried again at the next start whatever the check date says, unless the
        // failure is one that only a change on the server mends.
        QTest::newRow("not due, failed before") << yesterday << 1 << false << longAgo << true << "server" << false << true;
        QTest::newRow("not due, killed while installing")
            << yesterday << 1 << false << longAgo << false << "interrupted" << false << true;
        QTest::newRow("due, failed for good before") << QDate() << 1 << false << longAgo << false << "noproject" << true << false;
        QTest::newRow("failed before, removed since") << yesterday << 1 << true << longAgo << true << "server" << false << false;
        QTest::newRow("failed before, interval 0") << yesterday << 0 << false << longAgo << true << "server" << false << false;
    }

    void decision()
    {
        QFETCH(QDate, lastCheck);
        QFETCH(int, interval);
        QFETCH(bool, removed);
        QFETCH(QString, lastActivity);
        QFETCH(bool, folderExists);
        QFETCH(QString, failedBefore);
        QFETCH(bool, due);
        QFETCH(bool, downloaded);

        QVariantMap values{{"UpdatesCheckTimeoutDays", interval}, {"ServiceRestartTimeoutSeconds", 3600}};
        if (!lastCheck.isNull())
            values.insert("UpdatesCheckedDate", QStringList(checked(lastCheck)));
        const QDateTime longAgo = QDateTime::fromString(lastActivity, Qt::ISODate);
        if (!failedBefore.isEmpty()) {
            values.insert("UpdatesFailedExamples",
                          QStringList(QStringList{repositoryName, "demo", failedBefore, "1",
                                                  iso(QDateTime::currentDateTime()), iso(longAgo)}
                                          .join('|')));
        }
        TestSupport::writeVantorSettings({QString("%1|%2|%3").arg(repositoryName, m_deadUrl.toString(),
                                                                  removed ? "demo" : QString())}, values);
        if (folderExists)
            QVERIFY(TestProjects::writeFile(exampleFolder("demo"), "examples-manifest.xml", "<instructionals/>"));
        m_service = startService();
        QSignalSpy changes(m_service.get(), &DownloadService::stateChanged);

        fetch({makeExample("demo", lastActivity), makeExample("other")});
        QCOMPARE(state("demo").state == ExampleState::Queued, downloaded);
        QCOMPARE(state("other").state == ExampleState::Queued, due);
        QVERIFY(changes.count() > 0);
        QCOMPARE(stored("UpdatesCheckedDate"), due ? QStringList(checked(QDate::currentDate()))
                                               : lastCheck.isValid() ? QStringList(checked(lastCheck)) : QStringList());
        if (!downloaded) {
            const ExampleState::State resting = !failedBefore.isEmpty() && !removed ? ExampleState::Failed
                                                : folderExists ? ExampleState::Installed
                                                : removed ? ExampleState::Removed : ExampleState::Available;
            QCOMPARE(int(state("demo").state), int(resting));
        }

        // The dead address fails every download: a transient failure, recorded for the next start.
        QTRY_VERIFY(!m_service->isBusy());
        if (downloaded) {
            QCOMPARE(state("demo").state, ExampleState::Failed);
            QCOMPARE(state("demo").problem.kind(), Problem::NetworkError);
            QVERIFY(state("demo").problem.text().contains("tried again later"));
            QTRY_COMPARE(stored("UpdatesFailedExamples").filter(repositoryName + "|demo|network|").size(), 1);
        }
    }

    void restartTimer_data()
    {
        QTest::addColumn<QVariant>("seconds");
        QTest::addColumn<GitLabBehaviour>("search");
        QTest::addColumn<bool>("comesUp");
        QTest::addColumn<int>("searches"); // exactly, when the client comes up; else at most, in 2 s

        // The first client and the first restarted one stay down, the next one comes up.
        QTest::newRow("until ready") << QVariant(1) << GitLabBehaviour::reply(500).only(2) << true << 3;
        QTest::newRow("0, search fails") << QVariant(0) << GitLabBehaviour::reply(500) << false << 3;
        // Text reads as 0. A search under way is not restarted.
        QTest::newRow("text, search hangs") << QVariant("soon") << GitLabBehaviour::noAnswer() << false << 1;
    }

    void restartTimer()
    {
        QFETCH(QVariant, seconds);
        QFETCH(GitLabBehaviour, search);
        QFETCH(bool, comesUp);
        QFETCH(int, searches);
        GitLabServer server;
        QVERIFY(server.listen());
        QTemporaryDir folder;
        QVERIFY(TestProjects::writeQmakeProject(folder.filePath("demo"), "demo"));
        QVERIFY(server.addProject(server.addGroup("examples"), folder.filePath("demo")));
        server.setBehaviour(GitLabServer::SearchRoute, search);
        TestSupport::writeVantorSettings({repositoryName + '|' + server.groupUrl("examples").toString() + '|'},
                                         {{"ServiceRestartTimeoutSeconds", seconds}, {"UpdatesCheckTimeoutDays", 0}});
        ApiClient::setTransferTimeout(10000);
        m_service = startService();
        QSignalSpy problems(m_service.get(), &DownloadService::problemReported);
        if (comesUp) {
            QTRY_COMPARE_WITH_TIMEOUT(m_service->repositoryState(repositoryName).state, RepositoryState::Ready, 10000);
            QTest::qWait(1500); // stopped for good
            QCOMPARE(server.requestCount(GitLabServer::SearchRoute), searches);
            // A server that fails the same way again is reported once.
            QCOMPARE(problems.count(), 1);
        } else {
            QTest::qWait(2000);
            QVERIFY(server.requestCount(GitLabServer::SearchRoute) <= searches);
            QCOMPARE(m_service->repositoryState(repositoryName).state != RepositoryState::Ready, true);
        }
        ApiClient::setTransferTimeout(2000);
        m_service.reset();
    }

private:
    static Repository::ExamplePtr makeExample(const QString &path, const QString &lastActivity = {})
    {
        return Repository::ExamplePtr::create(TestSupport::projectJson(
            path, lastActivity.isNull() ? QJsonObject() : QJsonObject{{"last_activity_at", lastActivity}}));
    }
    // Delivers a list as the repository's client would after a fetch.
    void fetch(const Repository::Examples &examples)
    {
        emit m_service->repository(repositoryName)->client()->fetched(examples);
    }
    ExampleState state(const QString &path) const { return m_service->state(repositoryName, path); }

    QUrl m_deadUrl;
    std::unique_ptr<DownloadService> m_service;
};

QTEST_GUILESS_MAIN(tst_UpdateCheck)

#include "tst_updatecheck.moc"
