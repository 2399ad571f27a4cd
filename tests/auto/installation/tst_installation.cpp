#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "repository/example.h"
#include "service/downloadservice.h"
#include "service/installedfolders.h"
#include "service/pathguard.h"

#include <gitrepository.h>

#include <coreplugin/helpmanager.h>
#include <coreplugin/icore.h>

#include <QDomDocument>
#include <QLoggingCategory>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/time.h>

using namespace Vantor::Internal;

using Files = QMap<QString, QByteArray>;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString repositoryFolder()
{
    return repositoryPathTemplate().arg(repositoryName);
}

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

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool setModified(const QString &path, const QDateTime &time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    const timeval times[2] = {{time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)},
                              {time_t(ms / 1000), suseconds_t(ms % 1000 * 1000)}};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

Repository::ExamplePtr makeExample(const QString &path)
{
    return Repository::ExamplePtr::create(QJsonObject{
        {"id", 42}, {"name", "Example " + path}, {"path", path},
        {"web_url", "http://127.0.0.1/examples/" + path}, {"description", "An example."}});
}

Files project(const QByteArray &version)
{
    return {{"demo.pro", "TEMPLATE = app\nSOURCES += main.cpp\n"},
            {"main.cpp", "int main(int argc, char *argv[])\n{\n    return argc > 1;\n}\n"},
            {"README.md", "Version " + version + "\n"}};
}

} // namespace

class tst_Installation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pathGuard_data();
    void pathGuard();
    void findUnpacked_data();
    void findUnpacked();

    void firstInstall();
    void update_data();
    void update();
    void otherExampleKept();
    void leftoversDeleted();
    void userModified_data();
    void userModified();
    void corruptArchive();
    void notAnArchive();
    void temporaryFileFails_data();
    void temporaryFileFails();
    void emptyArchive();
    void notFromRepository();
    void unusablePath();
    void noProjectFile();
    void linksLeadNowhereElse();

private:
    QByteArray makeArchive(const QString &path, const Files &files, const QDateTime &commitDate,
                           QString *topFolder = nullptr);
    Repository *repository() const { return m_service->m_repositories.first().data(); }
    void setExamples(const QStringList &paths);
    void install(const Repository::ExamplePtr &example);
    bool hasStatus(const QString &text) const;

    QTemporaryDir m_work;
    QTcpServer m_closedPort;
    int m_archives = 0;
    std::unique_ptr<DownloadService> m_service;
    std::unique_ptr<QSignalSpy> m_status;
    std::unique_ptr<QSignalSpy> m_documentation;
};

void tst_Installation::initTestCase()
{
    QCoreApplication::setOrganizationName("QtProject");
    QCoreApplication::setApplicationName("QtCreator");
    const QString settingsPath = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH");
    QVERIFY(!settingsPath.isEmpty());
    Core::ICore::setSettingsPaths(settingsPath, settingsPath + "/install");
    QVERIFY(repositoryFolder().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
    QVERIFY(m_work.isValid());
    QLoggingCategory::setFilterRules("tas.vantor.plugin.service.debug=true");

    // The clients of these tests never find their group: installations are fed by hand.
    QVERIFY(m_closedPort.listen(QHostAddress::LocalHost));
    const quint16 port = m_closedPort.serverPort();
    m_closedPort.close();
    QSettings *settings = Core::ICore::settings();
    settings->remove("Vantor");
    settings->setValue("Vantor/Repositories",
                       QStringList{QString("%1|http://127.0.0.1:%2/examples|").arg(repositoryName).arg(port)});
    settings->setValue("Vantor/UpdatesCheckTimeoutDays", 0);
    settings->setValue("Vantor/ServiceRestartTimeoutSeconds", 3600);
    settings->sync();
}

void tst_Installation::init()
{
    QDir(repositoryFolder()).removeRecursively();
    QDir(repositoryFolder() + ".backup").removeRecursively();
    QVERIFY(QDir().mkpath(repositoryFolder()));
    m_service = std::make_unique<DownloadService>();
    QCOMPARE(m_service->m_repositories.size(), 1);
    m_status = std::make_unique<QSignalSpy>(m_service.get(), &DownloadService::statusChanged);
    m_documentation = std::make_unique<QSignalSpy>(Core::HelpManager::Signals::instance(),
                                                   &Core::HelpManager::Signals::documentationChanged);
    setExamples({"demo"});
}

void tst_Installation::cleanup()
{
    m_status.reset();
    m_documentation.reset();
    m_service.reset();
    // Every temporary archive is gone, whatever became of its installation.
    QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());
}

QByteArray tst_Installation::makeArchive(const QString &path, const Files &files,
                                         const QDateTime &commitDate, QString *topFolder)
{
    const QString folder = m_work.filePath(QString("%1-%2").arg(path).arg(++m_archives));
    if (!writeFiles(folder, files))
        return {};
    GitRepository git(folder + ".git", "master");
    if (!git.commit(folder, commitDate, "Example " + path)) {
        qWarning() << git.errorString();
        return {};
    }
    const QString top = QString("%1-%2-%3").arg(path, git.branch(), git.sha());
    if (topFolder)
        *topFolder = top;
    return git.archive(top);
}

void tst_Installation::setExamples(const QStringList &paths)
{
    Repository::Examples examples;
    for (const QString &path : paths)
        examples.append(makeExample(path));
    emit repository()->client()->fetched(examples);
    QCOMPARE(repository()->examples().size(), paths.size());
}

// Hands the example to the service as its repository would and waits until it is installed or
// has failed.
void tst_Installation::install(const Repository::ExamplePtr &example)
{
    m_status->clear();
    m_documentation->clear();
    emit repository()->downloaded(example);
    QTRY_VERIFY(m_service->m_unpacking.isEmpty());
}

bool tst_Installation::hasStatus(const QString &text) const
{
    for (const QList<QVariant> &arguments : *m_status) {
        if (arguments.first().toString() == text)
            return true;
    }
    return false;
}

void tst_Installation::pathGuard_data()
{
    QTest::addColumn<QString>("guarded");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");

    const QString root = repositoryFolder();
    QTest::newRow("example folder") << repositoryName << root + "/demo" << true;
    QTest::newRow("below an example") << repositoryName << root + "/inside/file" << true;
    QTest::newRow("backup") << repositoryName << root + ".backup/demo-20240101-000000" << true;
    QTest::newRow("repository folder") << repositoryName << root << false;
    QTest::newRow("dot dot") << repositoryName << root + "/.." << false;
    QTest::newRow("climbing out") << repositoryName << root + "/inside/../../other" << false;
    QTest::newRow("same prefix") << repositoryName << root + "x/demo" << false;
    QTest::newRow("the link itself") << repositoryName << root + "/escape" << true;
    QTest::newRow("through a link") << repositoryName << root + "/escape/file" << false;
    QTest::newRow("unsafe repository name") << ".." << root + "/demo" << false;
    QTest::newRow("empty") << repositoryName << QString() << false;
}

void tst_Installation::pathGuard()
{
    QFETCH(QString, guarded);
    QFETCH(QString, path);
    QFETCH(bool, allowed);

    QVERIFY(QDir().mkpath(repositoryFolder() + "/inside"));
    QVERIFY(QDir().mkpath(repositoryFolder() + ".backup"));
    QVERIFY(QDir().mkpath(repositoryFolder() + "x"));
    QVERIFY(QFile::link(m_work.path(), repositoryFolder() + "/escape"));
    QCOMPARE(PathGuard(guarded).allows(path), allowed);
    QDir(repositoryFolder() + "x").removeRecursively();
}

void tst_Installation::findUnpacked_data()
{
    QTest::addColumn<QStringList>("folders"); // oldest first
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("first install") << QStringList{"demo-master-b"} << QStringList{"demo-master-b"};
    QTest::newRow("installed newer than fresh") << QStringList{"demo-master-b", "demo"}
                                                << QStringList{"demo", "demo-master-b"};
    QTest::newRow("leftovers") << QStringList{"demo-master-a", "demo-master-b", "demo"}
                               << QStringList{"demo", "demo-master-a", "demo-master-b"};
    QTest::newRow("other example") << QStringList{"demo-chart", "demo-master-b", "demo-chart-master-c"}
                                   << QStringList{"demo-master-b"};
    QTest::newRow("installed alone") << QStringList{"demo"} << QStringList{"demo"};
    QTest::newRow("nothing") << QStringList{"chart"} << QStringList();
}

void tst_Installation::findUnpacked()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, expected);

    QDateTime time = QDateTime::currentDateTime().addDays(-1);
    for (const QString &folder : folders) {
        QVERIFY(QDir().mkpath(exampleFolder(folder)));
        time = time.addSecs(60);
        QVERIFY(setModified(exampleFolder(folder), time));
    }
    // A file is never an example folder.
    QVERIFY(writeFiles(repositoryFolder(), {{"demo-notes.txt", "notes"}}));
    const Repository::Examples examples{makeExample("demo"), makeExample("demo-chart")};
    QCOMPARE(InstalledFolders::findUnpacked(repositoryFolder(), "demo", examples), expected);
}

void tst_Installation::firstInstall()
{
    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc().addDays(-3)));
    QVERIFY(!example->archive().isEmpty());
    QSignalSpy updated(m_service.get(), &DownloadService::updated);
    install(example);

    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));
    QDomDocument manifest;
    QVERIFY(manifest.setContent(readFile(exampleFolder("demo") + "/examples-manifest.xml")));
    const QDomElement element = manifest.elementsByTagName("example").at(0).toElement();
    QCOMPARE(element.attribute("name"), QString("Example demo"));
    QCOMPARE(element.attribute("projectPath"), QString("demo.pro"));
    QCOMPARE(element.firstChildElement("fileToOpen").text(), QString("/main.cpp"));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(m_documentation->count(), 1);
    QVERIFY(hasStatus("Unpacking example: Example demo"));
    // The bytes went to the temporary file and are not kept with the record.
    QVERIFY(example->archive().isEmpty());
}

void tst_Installation::update_data()
{
    QTest::addColumn<QDateTime>("firstCommit");
    QTest::addColumn<QDateTime>("secondCommit");

    const QDateTime now = QDateTime::currentDateTimeUtc();
    QTest::newRow("newer commit") << now.addDays(-10) << now.addDays(-1);
    // The server's clock or a rewritten history: the fresh folder is still the one to keep.
    QTest::newRow("older commit") << now.addDays(-1) << now.addDays(-10);
}

void tst_Installation::update()
{
    QFETCH(QDateTime, firstCommit);
    QFETCH(QDateTime, secondCommit);

    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), firstCommit));
    install(example);
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));

    Files second = project("2");
    second.insert("qml/main.qml", "import QtQuick 2.0\nApplicationWindow {}\n");
    example->setArchive(makeArchive("demo", second, secondCommit));
    install(example);

    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 2\n"));
    QDomDocument manifest;
    QVERIFY(manifest.setContent(readFile(exampleFolder("demo") + "/examples-manifest.xml")));
    QCOMPARE(manifest.elementsByTagName("fileToOpen").at(0).toElement().text(), QString("/qml/main.qml"));
    QCOMPARE(m_documentation->count(), 1);
    QVERIFY(!QFileInfo::exists(repositoryFolder() + ".backup"));
}

void tst_Installation::otherExampleKept()
{
    setExamples({"demo", "demo-chart"});
    const QDateTime date = QDateTime::currentDateTimeUtc().addDays(-2);
    const auto chart = makeExample("demo-chart");
    chart->setArchive(makeArchive("demo-chart", project("chart"), date));
    install(chart);
    // A leftover of the longer path, newer than everything else.
    QString chartTop;
    makeArchive("demo-chart", project("chart 2"), date, &chartTop);
    QVERIFY(QDir().mkpath(exampleFolder(chartTop)));

    const auto demo = makeExample("demo");
    demo->setArchive(makeArchive("demo", project("1"), date.addDays(-5)));
    install(demo);
    demo->setArchive(makeArchive("demo", project("2"), date.addDays(-4)));
    install(demo);

    QCOMPARE(entries(repositoryFolder()), (QStringList{"demo", "demo-chart", chartTop}));
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 2\n"));
    QCOMPARE(readFile(exampleFolder("demo-chart") + "/README.md"), QByteArray("Version chart\n"));
    QVERIFY(QFileInfo::exists(exampleFolder("demo-chart") + "/examples-manifest.xml"));
}

void tst_Installation::leftoversDeleted()
{
    const QDateTime date = QDateTime::currentDateTimeUtc().addDays(-2);
    // Unpacked by an earlier run that failed before registration.
    QVERIFY(writeFiles(exampleFolder("demo-master-0123456"), project("old")));
    QVERIFY(setModified(exampleFolder("demo-master-0123456"), date.addDays(-30)));
    QVERIFY(writeFiles(exampleFolder("Demo-master-abcdef0"), project("old")));
    QVERIFY(setModified(exampleFolder("Demo-master-abcdef0"), date.addDays(-20)));

    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), date));
    install(example);

    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));
}

void tst_Installation::userModified_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("kept");

    QTest::newRow("source changed") << "main.cpp" << true;
    QTest::newRow("build output added") << "build/demo.o" << true;
    QTest::newRow("hidden file added") << ".notes" << true;
    QTest::newRow("per-user file") << "demo.pro.user" << false;
    QTest::newRow("manifest rewritten") << "examples-manifest.xml" << false;
}

void tst_Installation::userModified()
{
    QFETCH(QString, file);
    QFETCH(bool, kept);

    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc().addDays(-3)));
    install(example);
    const QString changed = exampleFolder("demo") + '/' + file;
    const QByteArray content = file == "examples-manifest.xml" ? readFile(changed)
                                                               : QByteArray("// the user's work\n");
    QVERIFY(writeFiles(exampleFolder("demo"), {{file, content}}));
    QVERIFY(setModified(changed, QDateTime::currentDateTime().addSecs(60)));

    example->setArchive(makeArchive("demo", project("2"), QDateTime::currentDateTimeUtc().addDays(-1)));
    install(example);

    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 2\n"));
    const QString backupRoot = repositoryFolder() + ".backup";
    const QStringList backups = entries(backupRoot);
    if (!kept) {
        QCOMPARE(backups, QStringList());
        return;
    }
    QCOMPARE(backups.size(), 1);
    QVERIFY2(QRegularExpression("^demo-\\d{8}-\\d{6}$").match(backups.first()).hasMatch(),
             qPrintable(backups.first()));
    const QString backup = backupRoot + '/' + backups.first();
    QCOMPARE(readFile(backup + '/' + file), content);
    QCOMPARE(readFile(backup + "/README.md"), QByteArray("Version 1\n"));
    QVERIFY(hasStatus(QString("Example demo was modified; the previous version was kept in: %1")
                          .arg(QDir::toNativeSeparators(backup))));
}

void tst_Installation::corruptArchive()
{
    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc().addDays(-3)));
    install(example);
    const QByteArray manifest = readFile(exampleFolder("demo") + "/examples-manifest.xml");

    const QByteArray second = makeArchive("demo", project("2"), QDateTime::currentDateTimeUtc().addDays(-1));
    example->setArchive(second.left(second.size() / 2));
    install(example);

    QVERIFY(hasStatus("There was an error while unarchiving"));
    QCOMPARE(m_documentation->count(), 0);
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));
    QCOMPARE(readFile(exampleFolder("demo") + "/examples-manifest.xml"), manifest);
}

void tst_Installation::notAnArchive()
{
    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc().addDays(-3)));
    install(example);

    // An error page saved under the archive's name: the unpacker is asked and fails.
    example->setArchive("<html><body>502 Bad Gateway</body></html>\n");
    install(example);
    QVERIFY(hasStatus("There was an error while unarchiving"));
    QCOMPARE(m_documentation->count(), 0);
    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));
}

void tst_Installation::temporaryFileFails_data()
{
    QTest::addColumn<QString>("temporaryFolder");

    QTest::newRow("missing") << "missing";
    QTest::newRow("a file") << "file";
}

void tst_Installation::temporaryFileFails()
{
    QFETCH(QString, temporaryFolder);

    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc().addDays(-3)));
    install(example);

    // Without a temporary file the host gets no file to look at and cannot unpack it.
    QVERIFY(writeFiles(m_work.path(), {{"file", "not a folder"}}));
    const QByteArray tmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", m_work.filePath(temporaryFolder).toLocal8Bit());
    example->setArchive(makeArchive("demo", project("2"), QDateTime::currentDateTimeUtc().addDays(-1)));
    install(example);
    qputenv("TMPDIR", tmp);

    QVERIFY(hasStatus("Downloaded file is not an archive"));
    QCOMPARE(m_documentation->count(), 0);
    QCOMPARE(readFile(exampleFolder("demo") + "/README.md"), QByteArray("Version 1\n"));
    QCOMPARE(QDir::root().entryList({"demo-*"}), QStringList());
}

void tst_Installation::emptyArchive()
{
    install(makeExample("demo"));
    QVERIFY(hasStatus("The data is not downloaded for example: Example demo"));
    QCOMPARE(entries(repositoryFolder()), QStringList());
}

void tst_Installation::notFromRepository()
{
    QSignalSpy updated(m_service.get(), &DownloadService::updated);
    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", project("1"), QDateTime::currentDateTimeUtc()));
    m_service->onDownloaded(example);
    m_service->onFetched();
    QCOMPARE(m_status->count(), 2);
    for (const QList<QVariant> &arguments : *m_status)
        QCOMPARE(arguments.first().toString(), QString("Unable to cast repository from: QObject"));
    QCOMPARE(updated.count(), 0);
    QCOMPARE(entries(repositoryFolder()), QStringList());
}

void tst_Installation::unusablePath()
{
    // A path that would climb out of the repository folder never reaches the disk.
    const auto example = makeExample("../escape");
    example->setArchive(makeArchive("escape", project("1"), QDateTime::currentDateTimeUtc()));
    install(example);
    QVERIFY(hasStatus("Skip saving example Example ../escape - unusable folder name: ../escape"));
    QVERIFY(example->archive().isEmpty());
    QCOMPARE(entries(repositoryFolder()), QStringList());
    QVERIFY(!QFileInfo::exists(repositoryFolder() + "/../escape"));
}

void tst_Installation::noProjectFile()
{
    const auto example = makeExample("demo");
    example->setArchive(makeArchive("demo", {{"src/demo.pro", "TEMPLATE = app\n"}, {"README.md", "no project\n"}},
                                    QDateTime::currentDateTimeUtc().addDays(-1)));
    install(example);
    QVERIFY(hasStatus("There was an error while creating example mainfest"));
    QCOMPARE(entries(repositoryFolder()), QStringList());
    QCOMPARE(m_documentation->count(), 1);
}

void tst_Installation::linksLeadNowhereElse()
{
    // Someone else's folder that links inside the repository folder point to.
    const QString outside = m_work.filePath("outside");
    QVERIFY(writeFiles(outside, project("outside")));
    const QStringList outsideFiles = entries(outside);

    // An archive whose top entry is a link to it, as a hostile server could send.
    const QString staging = m_work.filePath("staging");
    QVERIFY(QDir().mkpath(staging));
    QVERIFY(QFile::link(outside, staging + "/demo-master-1111111"));
    QProcess tar;
    tar.start("tar", {"czf", m_work.filePath("links.tar.gz"), "-C", staging, "demo-master-1111111"});
    QVERIFY(tar.waitForFinished() && tar.exitCode() == 0);

    // The installed example itself is a link to it.
    QVERIFY(QFile::link(outside, exampleFolder("demo")));

    const auto example = makeExample("demo");
    example->setArchive(readFile(m_work.filePath("links.tar.gz")));
    install(example);

    QCOMPARE(entries(outside), outsideFiles);
    QCOMPARE(readFile(outside + "/README.md"), QByteArray("Version outside\n"));
    QVERIFY(hasStatus("There was an error while creating example mainfest"));
    QVERIFY(!QFileInfo::exists(exampleFolder("demo")));
}

QTEST_GUILESS_MAIN(tst_Installation)

#include "tst_installation.moc"
