#include "optionsdialog.h"

#include <gitlabserver.h>
#include <messagelog.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/icore.h>
#include <extensionsystem/pluginmanager.h>

#include <QDialogButtonBox>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QThreadPool>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <functional>

namespace {

const QString repositoryName = "demo";
const QString groupPath = "norvel/examples";

struct HostRun
{
    bool ok = false; // ended by itself, with exit code 0
    QStringList output;
    QString log;

    // What the Welcome screen lists: the example sets and their examples.
    QStringList listing() const { return output.filter(QRegularExpression("^(example set|  example): ")); }
};

#define VERIFY_RUN(run) QVERIFY2((run).ok, qPrintable((run).log))

} // namespace

class tst_E2e : public QObject
{
    Q_OBJECT

private slots:
    void installUpdateRemoveAndAddBack()
    {
        GitLabServer server;
        prepareCase("install", server);

        // First start: everything but the removed example is installed and listed.
        const HostRun first = runHost();
        VERIFY_RUN(first);
        QVERIFY2(first.log.contains("Loaded plugins: Vantor 4.15.2"), qPrintable(first.log));
        QCOMPARE(first.log.count(QString("Failed to load translator: \"%1\" \"Vantor\"").arg(TRANSLATIONS_FOLDER)), 1);
        QCOMPARE(first.listing(), expectedListing());
        QVERIFY(first.output.contains("options page: Help | Norvel OS Examples | Tas.Vantor.Plugin.Settings.Page"));
        QCOMPARE(QImage(exampleFolder("hello/example-icon.png")).size(), QSize(128, 128));
        QCOMPARE(QImage(exampleFolder("tool/example-icon.png")).size(), QSize(128, 64));
        QVERIFY(!QFileInfo::exists(exampleFolder("launcher/example-icon.png")));
        QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 3);
        // The sync is one task of the progress indicator, and the host waits for it.
        QCOMPARE(first.output.filter(QRegularExpression("^task (started|finished): ")),
                 QStringList({"task started: Updating Norvel OS examples", "task finished: Updating Norvel OS examples"}));
        QCOMPARE(QSettings(userSettings(), QSettings::IniFormat).value("Vantor/UpdatesCheckedDate").toStringList(),
                 QStringList(repositoryName + '|' + QDate::currentDate().toString("dd.MM.yyyy")));

        // Second start on the same day: the list is fetched, nothing is downloaded.
        server.clearRequests();
        const QDateTime toolManifestTime = QFileInfo(exampleFolder("tool/examples-manifest.xml")).lastModified();
        const HostRun second = runHost();
        VERIFY_RUN(second);
        QVERIFY(server.requestCount(GitLabServer::GroupRoute) >= 1);
        QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 0);

        // Two days later, with one project changed on the server: only that one is downloaded again.
        setCheckDue();
        QVERIFY(TestProjects::writeFile(m_root + "/projects/hello", "README.md", "Now with a read-me.\n"));
        QVERIFY(server.updateProject(m_ids.value("hello"), m_root + "/projects/hello", QDateTime::currentDateTimeUtc()));
        server.clearRequests();
        const HostRun third = runHost();
        VERIFY_RUN(third);
        QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 1);
        QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("hello"))), 1);
        QVERIFY(QFileInfo(exampleFolder("hello/README.md")).isFile());
        QCOMPARE(QFileInfo(exampleFolder("tool/examples-manifest.xml")).lastModified(), toolManifestTime);
        QCOMPARE(third.listing(), expectedListing());

        // Removed on the options page: only its folder goes.
        optionsSession([](QWidget *page) {
            auto list = page->findChild<QListWidget *>("examplesListWidget");
            QCOMPARE(list->findItems("hello", Qt::MatchExactly).size(), 1);
            list->findItems("hello", Qt::MatchExactly).value(0)->setSelected(true);
            page->findChild<QPushButton *>("removeButton")->click();
        }, [] { return true; });
        QVERIFY(!QFileInfo::exists(exampleFolder("hello")));
        QVERIFY(QFileInfo::exists(exampleFolder("tool/examples-manifest.xml")));

        // The next start, with a check due, brings back neither it nor what the user removed before.
        setCheckDue();
        server.clearRequests();
        const HostRun next = runHost();
        VERIFY_RUN(next);
        QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("hello"))), 0);
        QVERIFY(!QFileInfo::exists(exampleFolder("hello")));

        // Added back on the page once the plugin has the server's list (a due check says so).
        setCheckDue();
        TestSupport::MessageLog::start("tas.vantor.plugin.service.debug=true");
        TestSupport::MessageLog::clear();
        optionsSession([](QWidget *page) {
            QTRY_VERIFY_WITH_TIMEOUT(TestSupport::MessageLog::containsStartingWith("Updating examples:"), 20000);
            QTimer::singleShot(0, [] {
                auto online = QApplication::activeModalWidget();
                QVERIFY(online);
                online->findChild<QListWidget *>("examplesListWidget")->findItems("hello", Qt::MatchExactly).value(0)->setSelected(true);
                online->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
            });
            page->findChild<QPushButton *>("addButton")->click();
            QCOMPARE(page->findChild<QListWidget *>("examplesListWidget")->findItems("hello", Qt::MatchExactly).size(), 1);
        }, [this] { return QFileInfo::exists(exampleFolder("hello/examples-manifest.xml")); });
        QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("hello"))), 1);
        QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("removed"))), 0);
    }

    // Also in German, which the settings choose.
    void serverDownAtStart()
    {
        GitLabServer server;
        const quint16 port = TestSupport::unusedPort();
        prepareCase("serverdown", server, {{"Vantor/ServiceRestartTimeoutSeconds", 1}, {"General/OverrideLanguage", "de"}},
                    port);
        // The server comes up once the plugin has found it down and restarted its client.
        bool listening = false;
        const HostRun run = runHost(5, [&](const QString &log) {
            if (!listening && log.contains("API-Client ist nicht bereit - Neustart"))
                listening = server.listen(port);
        });
        VERIFY_RUN(run);
        QVERIFY2(listening, qPrintable(run.log));
        // The plugin's texts: the default tags written into the manifest, a status, the page's name.
        QCOMPARE(run.listing(), expectedListing().replaceInStrings("Qt,example", "Qt,Beispiel"));
        QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 3);
        QVERIFY2(run.log.contains("Beispiel wird heruntergeladen: Hello Widgets"), qPrintable(run.log));
        QVERIFY(run.output.contains("options page: Help | Norvel OS Beispiele | Tas.Vantor.Plugin.Settings.Page"));
    }

private:
    // A fresh folder for one case: settings, data and temporary files (the host's, and this process's from
    // now on), four real projects on the server (two with a picture, one whose only picture is its own launcher
    // icon, one that the user has removed). The server listens, unless on `laterPort` later.
    void prepareCase(const QString &name, GitLabServer &server, const QVariantMap &userValues = {}, quint16 laterPort = 0)
    {
        QVERIFY(!qEnvironmentVariable("VANTOR_TEST_ROOT").isEmpty());
        m_root = qEnvironmentVariable("VANTOR_TEST_ROOT") + "/cases/" + name;
        QDir(m_root).removeRecursively();
        for (const char *folder : {"settings", "install/QtProject", "data", "tmp"})
            QVERIFY(QDir().mkpath(m_root + '/' + folder));
        const QString projects = m_root + "/projects/";
        QVERIFY(TestProjects::writeQmakeProject(projects + "hello", "hello"));
        QVERIFY(TestProjects::writePng(projects + "hello.png", QSize(256, 256), Qt::darkBlue));
        QVERIFY(TestProjects::writeCMakeProject(projects + "tool", "tool"));
        QVERIFY(TestProjects::writePng(projects + "tool.png", QSize(64, 32), Qt::darkGreen));
        QVERIFY(TestProjects::writeQmakeProject(projects + "launcher", "launcher"));
        QVERIFY(TestProjects::writePng(projects + "launcher/icons/128x128/launcher.png", {128, 128}, Qt::red));
        QVERIFY(TestProjects::writeQmakeProject(projects + "removed", "removed"));

        const qint64 group = server.addGroupPath(groupPath);
        auto add = [&](const QString &path, const QString &name, const QStringList &tags, bool picture) {
            const QString avatar = picture ? projects + path + ".png" : QString();
            m_ids.insert(path, server.addProject(group, projects + path, {name, path, {}, tags, {}, {}, avatar}));
            QVERIFY2(m_ids.value(path), qPrintable(server.errorString()));
        };
        add("hello", "Hello Widgets", {"widgets", "qmake"}, true);
        add("tool", "Console Tool", {"console"}, true);
        add("launcher", "Launcher Icons", {}, false);
        add("removed", "Removed One", {"gone"}, false);

        // The installation's part: the repository, with "removed" removed by the user, and the host's
        // example-set entry for it, in the install-wide settings.
        QVERIFY(laterPort || server.listen());
        const QString repositoryUrl = laterPort ? QString("http://127.0.0.1:%1/%2").arg(laterPort).arg(groupPath)
                                                : server.groupUrl(groupPath).toString();
        QSettings install(m_root + "/install/QtProject/QtCreator.ini", QSettings::IniFormat);
        install.setValue("Help/InstalledExamples", QStringList(repositoryName));
        install.setValue("Vantor/Repositories", QStringList{repositoryName + '|' + repositoryUrl + "|removed"});
        install.sync();
        QCOMPARE(install.status(), QSettings::NoError);

        QSettings user(userSettings(), QSettings::IniFormat);
        for (auto it = userValues.cbegin(); it != userValues.cend(); ++it)
            user.setValue(it.key(), it.value());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root + "/data"));
        qputenv("TMPDIR", QFile::encodeName(m_root + "/tmp"));
    }

    // Runs the host headless until the plugin has gone quiet; onLog sees the log as it grows.
    HostRun runHost(int idleSeconds = 3, const std::function<void(const QString &)> &onLog = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_LOGGING_RULES", "tas.vantor.*.debug=true");
        // A locale without a translation, unless the settings choose one.
        environment.insert("LC_ALL", "C");
        environment.insert("LANG", "C");
        environment.remove("LANGUAGE");

        qRegisterMetaType<QProcess::ExitStatus>();
        HostRun run;
        QProcess host;
        host.setProcessEnvironment(environment);
        connect(&host, &QProcess::readyReadStandardError, this, [&] {
            run.log += QString::fromUtf8(host.readAllStandardError());
            if (onLog)
                onLog(run.log);
        });
        host.start(HOST_PROGRAM, {"-settingspath", m_root + "/settings", "-installsettingspath", m_root + "/install",
                                  "-pluginpath", PLUGIN_FOLDER, "--list-examples", "--list-options",
                                  "--quit-when-idle", QString::number(idleSeconds), "--timeout", "60"});
        // The server answers from this thread's event loop while the host runs.
        QSignalSpy finished(&host, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        run.ok = host.waitForStarted() && finished.wait(90 * 1000) && host.exitStatus() == QProcess::NormalExit
                 && host.exitCode() == 0;
        if (host.state() != QProcess::NotRunning) {
            host.kill();
            host.waitForFinished();
        }
        run.output = QString::fromUtf8(host.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        run.log += QString::fromUtf8(host.readAllStandardError());
        return run;
    }

    // Everything but the removed example, with the pictures the manifests name.
    QStringList expectedListing() const
    {
        const QString example = "  example: %1 | project: %2 | picture: %3 | tags: %4";
        return {"example set: demo (3 examples) " + exampleFolder("").chopped(1),
                example.arg("Console Tool", exampleFolder("tool/CMakeLists.txt"),
                            exampleFolder("tool/example-icon.png"), "console"),
                example.arg("Hello Widgets", exampleFolder("hello/hello.pro"), exampleFolder("hello/example-icon.png"),
                            "widgets,qmake"),
                example.arg("Launcher Icons", exampleFolder("launcher/launcher.pro"),
                            QFileInfo(exampleFolder("launcher/icons/128x128/launcher.png")).canonicalFilePath(),
                            "Qt,example")};
    }

    // The host's options dialog in this process, over the real plugin library: `act` works on the
    // plugin's page, OK applies and closes, and the plugins are shut down once `done` holds.
    void optionsSession(const std::function<void(QWidget *)> &act, const std::function<bool()> &done)
    {
        QCoreApplication::setOrganizationName("QtProject");
        QCoreApplication::setApplicationName("QtCreator");
        Core::ICore::setSettingsPaths(m_root + "/settings", m_root + "/install");
        ExtensionSystem::PluginManager manager;
        ExtensionSystem::PluginManager::setPluginPaths({PLUGIN_FOLDER});
        ExtensionSystem::PluginManager::loadPlugins();
        QCOMPARE(ExtensionSystem::PluginManager::errors(), QStringList());
        {
            Host::OptionsDialog dialog;
            dialog.show();
            QVERIFY(dialog.selectPage("Norvel OS Examples"));
            auto page = dialog.findChild<QWidget *>("Vantor__Internal__OptionsWidget");
            QVERIFY(page);
            act(page);
            dialog.buttonBox()->button(QDialogButtonBox::Ok)->click();
        }
        QTRY_VERIFY_WITH_TIMEOUT(done(), 30000);
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
    }

    QString exampleFolder(const QString &path) const
    {
        return m_root + "/data/QtProject/QtCreator/" + repositoryName + '/' + path;
    }
    QString userSettings() const { return m_root + "/settings/QtProject/QtCreator.ini"; }
    void setCheckDue() const
    {
        const QString date = QDate::currentDate().addDays(-2).toString("dd.MM.yyyy");
        QSettings(userSettings(), QSettings::IniFormat)
            .setValue("Vantor/UpdatesCheckedDate", QStringList(repositoryName + '|' + date));
    }

    QString m_root;
    QMap<QString, qint64> m_ids;
};

QTEST_MAIN(tst_E2e)

#include "tst_e2e.moc"
