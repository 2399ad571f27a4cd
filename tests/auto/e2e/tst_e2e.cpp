#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <functional>

namespace {

const char repositoryName[] = "demo";
const char groupPath[] = "norvel/examples";

// What the host printed for one example: "  example: name | project: p | picture: i | tags: t".
struct Listed
{
    QString project;
    QString picture;
    QString tags;
};

struct HostRun
{
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QStringList output;
    QString log;

    QMap<QString, Listed> examples(const QString &set) const;
    QStringList sets() const;
};

QMap<QString, Listed> HostRun::examples(const QString &set) const
{
    QMap<QString, Listed> result;
    bool inSet = false;
    for (const QString &line : output) {
        if (line.startsWith(QLatin1String("example set: "))) {
            inSet = line.startsWith(QLatin1String("example set: ") + set + QLatin1String(" ("));
        } else if (inSet && line.startsWith(QLatin1String("  example: "))) {
            const QStringList fields = line.mid(11).split(QLatin1String(" | "));
            if (fields.size() == 4)
                result.insert(fields.at(0), {fields.at(1).mid(9), fields.at(2).mid(9), fields.at(3).mid(6)});
        }
    }
    return result;
}

QStringList HostRun::sets() const
{
    QStringList result;
    for (const QString &line : output) {
        if (line.startsWith(QLatin1String("example set: ")))
            result.append(line.mid(13, line.indexOf(QLatin1String(" (")) - 13));
    }
    return result;
}

} // namespace

class tst_E2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void installThenUpdateOnlyWhatChanged();
    void serverDownAtStart();
    void shippedTranslation();

private:
    // A fresh folder for one case: the server's projects, settings, data and temporary files.
    void prepareCase(const QString &name);
    void addProjects(GitLabServer &server);
    void provision(const QString &repositoryUrl, const QVariantMap &userValues = {});
    // Runs the host headless until the plugin has gone quiet; onLog sees the log as it grows.
    HostRun runHost(int idleSeconds = 3, const std::function<void(const QString &)> &onLog = {});
    QString exampleFolder(const QString &path) const;

    QString m_root;
    QMap<QString, qint64> m_ids;
};

void tst_E2e::initTestCase()
{
    qRegisterMetaType<QProcess::ExitStatus>();
    QVERIFY(QFileInfo(QLatin1String(HOST_PROGRAM)).isExecutable());
    QVERIFY(QFileInfo::exists(QLatin1String(PLUGIN_FOLDER "/libVantor.so")));
}

void tst_E2e::prepareCase(const QString &name)
{
    m_root = qEnvironmentVariable("VANTOR_TEST_ROOT") + QLatin1String("/cases/") + name;
    QDir(m_root).removeRecursively();
    for (const char *folder : {"projects", "settings", "install/QtProject", "data", "tmp", "other"})
        QVERIFY(QDir().mkpath(m_root + QLatin1Char('/') + QLatin1String(folder)));
    m_ids.clear();
}

// Four real projects: two with a picture on the server, one whose only picture is its own
// launcher icon, and one that the user has removed.
void tst_E2e::addProjects(GitLabServer &server)
{
    const QString projects = m_root + QLatin1String("/projects/");
    QVERIFY(TestProjects::writeFiles(projects + "hello", {
        {"hello.pro", "QT += widgets\nSOURCES += main.cpp\n"},
        {"main.cpp", "#include <QApplication>\n#include <QLabel>\n\nint main(int argc, char *argv[])\n{\n"
                     "    QApplication app(argc, argv);\n    QLabel label(\"Hello\");\n    label.show();\n"
                     "    return app.exec();\n}\n"}}));
    QVERIFY(TestProjects::writePng(projects + "hello.png", QSize(256, 256), Qt::darkBlue));
    QVERIFY(TestProjects::writeCMakeProject(projects + "tool", "tool"));
    QVERIFY(TestProjects::writePng(projects + "tool.png", QSize(64, 32), Qt::darkGreen));
    QVERIFY(TestProjects::writeQmakeProject(projects + "launcher", "launcher"));
    QVERIFY(TestProjects::writePng(projects + "launcher/icons/128x128/launcher.png", {128, 128}, Qt::red));
    QVERIFY(TestProjects::writeQmakeProject(projects + "removed", "removed"));

    const qint64 group = server.addGroupPath(QLatin1String(groupPath));
    QVERIFY(group);
    auto add = [&](const QString &path, const QString &name, const QStringList &tags, bool picture) {
        GitLabServer::ProjectOptions options;
        options.name = name;
        options.path = path;
        options.description = name + QLatin1String(" <demo> & more");
        options.tags = tags;
        if (picture)
            options.avatarFile = projects + path + QLatin1String(".png");
        const qint64 id = server.addProject(group, projects + path, options);
        QVERIFY2(id, qPrintable(server.errorString()));
        m_ids.insert(path, id);
    };
    add(QStringLiteral("hello"), QStringLiteral("Hello Widgets"), {"widgets", "qmake"}, true);
    add(QStringLiteral("tool"), QStringLiteral("Console Tool"), {"console"}, true);
    add(QStringLiteral("launcher"), QStringLiteral("Launcher Icons"), {}, false);
    add(QStringLiteral("removed"), QStringLiteral("Removed One"), {"gone"}, false);
}

// The installation's part: the repository, with "removed" removed by the user, and the host's
// example-set entry for it, in the install-wide settings; beside it another example set.
void tst_E2e::provision(const QString &repositoryUrl, const QVariantMap &userValues)
{
    const QString other = m_root + QLatin1String("/other");
    QVERIFY(TestProjects::writeFiles(other + "/manual", {
        {"manual.pro", "SOURCES += main.cpp\n"},
        {"examples-manifest.xml", "<?xml version=\"1.0\"?><instructionals module=\"Other\"><examples>"
                                  "<example name=\"Manual\" projectPath=\"manual.pro\" imageUrl=\"\"/>"
                                  "</examples></instructionals>\n"}}));

    QSettings install(m_root + QLatin1String("/install/QtProject/QtCreator.ini"), QSettings::IniFormat);
    install.setValue(QStringLiteral("Help/InstalledExamples"),
                     QStringList{QStringLiteral("Other|%1|%1").arg(other),
                                 QLatin1String(repositoryName)});
    install.setValue(QStringLiteral("Vantor/Repositories"),
                     QStringList{QStringLiteral("%1|%2|removed").arg(repositoryName, repositoryUrl)});
    install.sync();
    QCOMPARE(install.status(), QSettings::NoError);

    QSettings user(m_root + QLatin1String("/settings/QtProject/QtCreator.ini"), QSettings::IniFormat);
    for (auto it = userValues.cbegin(); it != userValues.cend(); ++it)
        user.setValue(it.key(), it.value());
    user.sync();
}

HostRun tst_E2e::runHost(int idleSeconds, const std::function<void(const QString &)> &onLog)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_root + QLatin1String("/data"));
    environment.insert(QStringLiteral("TMPDIR"), m_root + QLatin1String("/tmp"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tas.vantor.*.debug=true"));
    // A locale without a translation, unless the settings choose one.
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    environment.remove(QStringLiteral("LANGUAGE"));

    HostRun run;
    QProcess host;
    host.setProcessEnvironment(environment);
    connect(&host, &QProcess::readyReadStandardError, this, [&] {
        run.log += QString::fromUtf8(host.readAllStandardError());
        if (onLog)
            onLog(run.log);
    });
    host.start(QLatin1String(HOST_PROGRAM),
               {QStringLiteral("-settingspath"), m_root + QLatin1String("/settings"),
                QStringLiteral("-installsettingspath"), m_root + QLatin1String("/install"),
                QStringLiteral("-pluginpath"), QLatin1String(PLUGIN_FOLDER),
                QStringLiteral("--list-examples"), QStringLiteral("--list-options"),
                QStringLiteral("--quit-when-idle"), QString::number(idleSeconds),
                QStringLiteral("--timeout"), QStringLiteral("60")});
    if (!host.waitForStarted()) {
        run.log = host.errorString();
        return run;
    }
    // The server answers from this thread's event loop while the host runs.
    QSignalSpy finished(&host, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    if (!finished.wait(90 * 1000)) {
        host.kill();
        host.waitForFinished();
    }
    run.exitCode = host.exitCode();
    run.exitStatus = host.exitStatus();
    run.output = QString::fromUtf8(host.readAllStandardOutput()).split(QLatin1Char('\n'),
                                                                       Qt::SkipEmptyParts);
    run.log += QString::fromUtf8(host.readAllStandardError());
    return run;
}

QString tst_E2e::exampleFolder(const QString &path) const
{
    return m_root + QLatin1String("/data/QtProject/QtCreator/") + QLatin1String(repositoryName)
           + QLatin1Char('/') + path;
}

#define VERIFY_RUN(run) \
    QVERIFY2((run).exitStatus == QProcess::NormalExit && (run).exitCode == 0, qPrintable((run).log))

void tst_E2e::installThenUpdateOnlyWhatChanged()
{
    prepareCase(QStringLiteral("install"));
    GitLabServer server;
    addProjects(server);
    QVERIFY(server.listen());
    provision(server.groupUrl(QLatin1String(groupPath)).toString());

    // First start: everything but the removed example is installed and listed.
    const HostRun first = runHost();
    VERIFY_RUN(first);
    QVERIFY2(first.log.contains(QLatin1String("Loaded plugins: Vantor 4.15.2")), qPrintable(first.log));
    QCOMPARE(first.log.count(QStringLiteral("Failed to load translator: \"%1\" \"Vantor\"")
                                 .arg(QLatin1String(TRANSLATIONS_FOLDER))), 1);
    QCOMPARE(first.sets(), QStringList({"Other", "demo"}));
    QCOMPARE(first.examples(QStringLiteral("Other")).keys(), QStringList{"Manual"});

    const QMap<QString, Listed> listed = first.examples(QLatin1String(repositoryName));
    QCOMPARE(listed.keys(), QStringList({"Console Tool", "Hello Widgets", "Launcher Icons"}));
    QCOMPARE(listed.value("Hello Widgets").project, exampleFolder("hello/hello.pro"));
    QCOMPARE(listed.value("Hello Widgets").picture, exampleFolder("hello/example-icon.png"));
    QCOMPARE(listed.value("Hello Widgets").tags, QStringLiteral("widgets,qmake"));
    QCOMPARE(listed.value("Console Tool").project, exampleFolder("tool/CMakeLists.txt"));
    QCOMPARE(listed.value("Console Tool").picture, exampleFolder("tool/example-icon.png"));
    QCOMPARE(listed.value("Launcher Icons").picture,
             QFileInfo(exampleFolder("launcher/icons/128x128/launcher.png")).canonicalFilePath());
    QCOMPARE(listed.value("Launcher Icons").tags, QStringLiteral("Qt,example"));
    for (const char *path : {"hello", "tool", "launcher"})
        QVERIFY(QFileInfo(exampleFolder(path) + "/examples-manifest.xml").isFile());
    QCOMPARE(QImage(exampleFolder("hello/example-icon.png")).size(), QSize(128, 128));
    QCOMPARE(QImage(exampleFolder("tool/example-icon.png")).size(), QSize(128, 64));
    QVERIFY(!QFileInfo::exists(exampleFolder("launcher/example-icon.png")));

    QVERIFY(!QFileInfo::exists(exampleFolder("removed")));
    QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("removed"))), 0);
    QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 3);

    const QString userSettings = m_root + QLatin1String("/settings/QtProject/QtCreator.ini");
    const QString today = QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"));
    QCOMPARE(QSettings(userSettings, QSettings::IniFormat).value("Vantor/UpdatesCheckedDate")
                 .toStringList(), QStringList(QLatin1String(repositoryName) + QLatin1Char('|') + today));

    // Second start on the same day: the list is fetched, nothing is downloaded.
    server.clearRequests();
    const QDateTime toolManifestTime = QFileInfo(exampleFolder("tool/examples-manifest.xml")).lastModified();
    const HostRun second = runHost();
    VERIFY_RUN(second);
    QVERIFY(server.requestCount(GitLabServer::GroupRoute) >= 1);
    QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 0);
    QCOMPARE(second.examples(QLatin1String(repositoryName)).keys(), listed.keys());

    // Two days later, with one project changed on the server: only that one is downloaded again.
    {
        QSettings user(userSettings, QSettings::IniFormat);
        user.setValue(QStringLiteral("Vantor/UpdatesCheckedDate"),
                      QStringList(QLatin1String(repositoryName) + QLatin1Char('|')
                                  + QDate::currentDate().addDays(-2).toString("dd.MM.yyyy")));
    }
    QVERIFY(TestProjects::writeFile(m_root + "/projects/hello", "README.md", "Now with a read-me.\n"));
    QVERIFY(server.updateProject(m_ids.value("hello"), m_root + "/projects/hello",
                                 QDateTime::currentDateTimeUtc()));
    server.clearRequests();
    const HostRun third = runHost();
    VERIFY_RUN(third);
    QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 1);
    QCOMPARE(server.requestCount(GitLabServer::archiveRoute(m_ids.value("hello"))), 1);
    QVERIFY(QFileInfo(exampleFolder("hello/README.md")).isFile());
    QCOMPARE(QFileInfo(exampleFolder("tool/examples-manifest.xml")).lastModified(), toolManifestTime);
    QVERIFY(!QFileInfo::exists(exampleFolder("removed")));
    QCOMPARE(third.examples(QLatin1String(repositoryName)).keys(), listed.keys());
    QCOMPARE(QSettings(userSettings, QSettings::IniFormat).value("Vantor/UpdatesCheckedDate")
                 .toStringList(), QStringList(QLatin1String(repositoryName) + QLatin1Char('|') + today));
}

void tst_E2e::serverDownAtStart()
{
    prepareCase(QStringLiteral("serverdown"));
    // A port that nothing listens on until the server comes up.
    const quint16 port = TestSupport::unusedPort();

    GitLabServer server;
    addProjects(server);
    provision(QStringLiteral("http://127.0.0.1:%1/%2").arg(port).arg(QLatin1String(groupPath)),
              {{QStringLiteral("Vantor/ServiceRestartTimeoutSeconds"), 1}});
    // The server comes up once the plugin has found it down and restarted its client.
    bool listening = false;
    const HostRun run = runHost(5, [&](const QString &log) {
        if (!listening && log.contains(QLatin1String("API client is not ready - restarting")))
            listening = server.listen(port);
    });
    VERIFY_RUN(run);
    QVERIFY2(listening, qPrintable(run.log));
    QCOMPARE(run.examples(QLatin1String(repositoryName)).keys(),
             QStringList({"Console Tool", "Hello Widgets", "Launcher Icons"}));
    QCOMPARE(server.requestCount(GitLabServer::ArchiveRoute), 3);
}

void tst_E2e::shippedTranslation()
{
    prepareCase(QStringLiteral("german"));
    GitLabServer server;
    addProjects(server);
    QVERIFY(server.listen());
    provision(server.groupUrl(QLatin1String(groupPath)).toString(),
              {{QStringLiteral("General/OverrideLanguage"), QStringLiteral("de")}});

    const HostRun run = runHost();
    VERIFY_RUN(run);
    QVERIFY2(!run.log.contains(QLatin1String("Failed to load translator")), qPrintable(run.log));
    // The plugin's texts: the default tags written into the manifest and its status texts.
    QCOMPARE(run.examples(QLatin1String(repositoryName)).value("Launcher Icons").tags,
             QStringLiteral("Qt,Beispiel"));
    QVERIFY2(run.log.contains(QLatin1String("Beispiel wird heruntergeladen: Hello Widgets")),
             qPrintable(run.log));
    for (const QString &line : run.output) {
        if (line.startsWith(QLatin1String("options page:"))
                && line.endsWith(QLatin1String("Tas.Vantor.Plugin.Settings.Page"))) {
            QVERIFY2(line.contains(QLatin1String(" Beispiele |")), qPrintable(line));
        }
    }
}

QTEST_GUILESS_MAIN(tst_E2e)

#include "tst_e2e.moc"
