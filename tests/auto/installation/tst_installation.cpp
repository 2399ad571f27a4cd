#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "repository/example.h"
#include "service/downloadservice.h"
#include "service/pathguard.h"

#include <gitrepository.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/helpmanager.h>

#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;
using namespace TestProjects;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString repositoryFolder() { return repositoryPathTemplate().arg(repositoryName); }
QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }
QByteArray readme(const QString &path) { return readFile(exampleFolder(path) + "/README.md"); }

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QDateTime daysAgo(int days) { return QDateTime::currentDateTimeUtc().addDays(-days); }

Repository::ExamplePtr makeExample(const QString &path)
{
    return Repository::ExamplePtr::create(TestSupport::projectJson(path, {{"description", "An example."}}));
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

    void installs_data();
    void installs();
    void otherExampleKept_data();
    void otherExampleKept();
    void leftoversDeleted();
    void userModified_data();
    void userModified();
    void failedUnpacking_data();
    void failedUnpacking();
    void nothingInstalled_data();
    void nothingInstalled();
    void linksLeadNowhereElse();

private:
    // `top`: the archive's top folder instead of the one git names after the commit.
    QByteArray makeArchive(const QString &path, const Files &files, const QDateTime &commitDate,
                           QString *topFolder = nullptr, const QString &top = QString());
    Repository *repository() const { return m_service->m_repositories.first().data(); }
    // Hands the example, with `archive` when one is given, to the service as its repository
    // would and waits until it is installed or has failed.
    void install(const Repository::ExamplePtr &example, const QByteArray &archive = {});
    bool hasStatus(const QString &text) const { return TestSupport::texts(*m_status).contains(text); }

    QTemporaryDir m_work;
    int m_archives = 0;
    std::unique_ptr<DownloadService> m_service;
    std::unique_ptr<QSignalSpy> m_status;
    std::unique_ptr<QSignalSpy> m_documentation;
};

void tst_Installation::initTestCase()
{
    QVERIFY(TestSupport::useTestSettings());
    QVERIFY(repositoryFolder().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
    QVERIFY(m_work.isValid());
    QLoggingCategory::setFilterRules("tas.vantor.plugin.service.debug=true");
    // The clients of these tests never find their group: installations are fed by hand.
    TestSupport::writeVantorSettings(
        {QString("%1|http://127.0.0.1:%2/examples|").arg(repositoryName).arg(TestSupport::unusedPort())},
        {{"UpdatesCheckTimeoutDays", 0}, {"ServiceRestartTimeoutSeconds", 3600}});
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
    emit repository()->client()->fetched({makeExample("demo"), makeExample("demo-chart")});
    QCOMPARE(repository()->examples().size(), 2);
}

void tst_Installation::cleanup()
{
    m_status.reset();
    m_documentation.reset();
    m_service.reset();
    // Every temporary archive is gone, whatever became of its installation.
    QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());
}

// The project as "git archive" gives it, the way the server sends it.
QByteArray tst_Installation::makeArchive(const QString &path, const Files &files,
                                         const QDateTime &commitDate, QString *topFolder,
                                         const QString &top)
{
    const QString folder = m_work.filePath(QString("%1-%2").arg(path).arg(++m_archives));
    GitRepository git(folder + ".git", "master");
    if (!writeFiles(folder, files) || !git.commit(folder, commitDate, "Example " + path)) {
        qWarning() << git.errorString();
        return {};
    }
    const QString prefix = top.isEmpty() ? QString("%1-%2-%3").arg(path, git.branch(), git.sha()) : top;
    if (topFolder)
        *topFolder = prefix;
    return git.archive(prefix);
}

void tst_Installation::install(const Repository::ExamplePtr &example, const QByteArray &archive)
{
    if (!archive.isNull())
        example->setArchive(archive);
    m_status->clear();
    m_documentation->clear();
    emit repository()->downloaded(example);
    QTRY_VERIFY(m_service->m_unpacking.isEmpty());
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

void tst_Installation::installs_data()
{
    QTest::addColumn<QDateTime>("firstCommit");
    QTest::addColumn<QDateTime>("secondCommit"); // invalid: installed once only
    QTest::addColumn<QString>("top");            // the archives' top folder; empty: as git names it

    QTest::newRow("first install") << daysAgo(3) << QDateTime() << QString();
    QTest::newRow("update, newer commit") << daysAgo(10) << daysAgo(1) << QString();
    // The server's clock or a rewritten history: the fresh folder is still the one to keep.
    QTest::newRow("update, older commit") << daysAgo(1) << daysAgo(10) << QString();
    // Unpacked under the path itself, nothing is renamed: the folder still gets its manifest.
    QTest::newRow("top folder is the path") << daysAgo(10) << daysAgo(1) << "demo";
}

void tst_Installation::installs()
{
    QFETCH(QDateTime, firstCommit);
    QFETCH(QDateTime, secondCommit);
    QFETCH(QString, top);

    const auto example = makeExample("demo");
    QSignalSpy updated(m_service.get(), &DownloadService::updated);
    install(example, makeArchive("demo", project("1"), firstCommit, nullptr, top));

    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
    const auto manifest = TestSupport::readManifest(exampleFolder("demo"));
    QCOMPARE(manifest.name, QString("Example demo"));
    QCOMPARE(manifest.projectPath, QString("demo.pro"));
    QCOMPARE(manifest.fileToOpen, QString("/main.cpp"));
    QCOMPARE(updated.count(), 1);
    QCOMPARE(m_documentation->count(), 1);
    QVERIFY(hasStatus("Unpacking example: Example demo"));
    // The bytes went to the temporary file and are not kept with the record.
    QVERIFY(example->archive().isEmpty());
    if (!secondCommit.isValid())
        return;

    Files second = project("2");
    second.insert("qml/main.qml", "import QtQuick 2.0\nApplicationWindow {}\n");
    install(example, makeArchive("demo", second, secondCommit, nullptr, top));
    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readme("demo"), QByteArray("Version 2\n"));
    QCOMPARE(TestSupport::readManifest(exampleFolder("demo")).fileToOpen,
             QString("/qml/main.qml"));
    QCOMPARE(m_documentation->count(), 1);
    QVERIFY(!QFileInfo::exists(repositoryFolder() + ".backup"));
}

void tst_Installation::otherExampleKept_data()
{
    QTest::addColumn<bool>("listed"); // "demo-chart" is still in the server's list
    QTest::newRow("listed") << true;
    // Only its manifest tells its folder, with the user's work in it, from one of "demo".
    QTest::newRow("no longer listed") << false;
}

void tst_Installation::otherExampleKept()
{
    QFETCH(bool, listed);
    const QDateTime date = daysAgo(2);
    install(makeExample("demo-chart"), makeArchive("demo-chart", project("chart"), date));
    const QByteArray work = "// the user's work\n";
    QVERIFY(writeFile(exampleFolder("demo-chart"), "main.cpp", work));
    QVERIFY(setModified(exampleFolder("demo-chart") + "/main.cpp", QDateTime::currentDateTime().addSecs(60)));
    QStringList expected{"demo", "demo-chart"};
    if (listed) {
        // A leftover of the longer path, newer than everything else.
        QString chartTop;
        makeArchive("demo-chart", project("chart 2"), date, &chartTop);
        QVERIFY(QDir().mkpath(exampleFolder(chartTop)));
        expected.append(chartTop);
    } else {
        emit repository()->client()->fetched({makeExample("demo")});
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtDebugMsg, "Skip folder of another example: \"demo-chart\"");
    }

    const auto demo = makeExample("demo");
    install(demo, makeArchive("demo", project("1"), date.addDays(-5)));
    install(demo, makeArchive("demo", project("2"), date.addDays(-4)));

    QCOMPARE(entries(repositoryFolder()), expected);
    QCOMPARE(readme("demo"), QByteArray("Version 2\n"));
    QCOMPARE(readme("demo-chart"), QByteArray("Version chart\n"));
    QCOMPARE(readFile(exampleFolder("demo-chart") + "/main.cpp"), work);
    QCOMPARE(TestSupport::readManifest(exampleFolder("demo-chart")).name, QString("Example demo-chart"));
    QVERIFY(!QFileInfo::exists(repositoryFolder() + ".backup"));
}

void tst_Installation::leftoversDeleted()
{
    // Unpacked by an earlier run that failed before registration; a file is never an example folder.
    for (const char *leftover : {"demo-master-0123456", "Demo-master-abcdef0"}) {
        QVERIFY(writeFiles(exampleFolder(leftover), project("old")));
        QVERIFY(setModified(exampleFolder(leftover), daysAgo(22)));
    }
    QVERIFY(writeFile(repositoryFolder(), "demo-notes.txt", "notes"));

    install(makeExample("demo"), makeArchive("demo", project("1"), daysAgo(2)));
    QCOMPARE(entries(repositoryFolder()), (QStringList{"demo", "demo-notes.txt"}));
    QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
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
    install(example, makeArchive("demo", project("1"), daysAgo(3)));
    const QString changed = exampleFolder("demo") + '/' + file;
    const QByteArray content = file == "examples-manifest.xml" ? readFile(changed)
                                                               : QByteArray("// the user's work\n");
    QVERIFY(writeFile(exampleFolder("demo"), file, content));
    QVERIFY(setModified(changed, QDateTime::currentDateTime().addSecs(60)));

    install(example, makeArchive("demo", project("2"), daysAgo(1)));
    QCOMPARE(readme("demo"), QByteArray("Version 2\n"));
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

void tst_Installation::failedUnpacking_data()
{
    QTest::addColumn<QString>("archive");         // of the next version: "half", "page" or "whole"
    QTest::addColumn<QString>("temporaryFolder"); // TMPDIR below the work folder; empty: unchanged
    QTest::addColumn<QString>("status");

    const QString unarchiving = "There was an error while unarchiving";
    QTest::newRow("corrupt archive") << "half" << QString() << unarchiving;
    // An error page saved under the archive's name: the unpacker is asked and fails.
    QTest::newRow("not an archive") << "page" << QString() << unarchiving;
    // Without a temporary file the host gets no file to look at and cannot unpack it.
    QTest::newRow("no temporary folder") << "whole" << "missing" << "Downloaded file is not an archive";
    QTest::newRow("temporary folder is a file") << "whole" << "file" << "Downloaded file is not an archive";
}

// The installed version stays untouched.
void tst_Installation::failedUnpacking()
{
    QFETCH(QString, archive);
    QFETCH(QString, temporaryFolder);
    QFETCH(QString, status);

    const auto example = makeExample("demo");
    install(example, makeArchive("demo", project("1"), daysAgo(3)));
    const QByteArray manifest = readFile(exampleFolder("demo") + "/examples-manifest.xml");

    const QByteArray next = makeArchive("demo", project("2"), daysAgo(1));
    const QByteArray page = "<html><body>502 Bad Gateway</body></html>\n";
    QVERIFY(writeFile(m_work.path(), "file", "not a folder"));
    const QByteArray tmp = qgetenv("TMPDIR");
    if (!temporaryFolder.isEmpty())
        qputenv("TMPDIR", m_work.filePath(temporaryFolder).toLocal8Bit());
    install(example, archive == "half" ? next.left(next.size() / 2) : archive == "page" ? page : next);
    qputenv("TMPDIR", tmp);

    QVERIFY(hasStatus(status));
    QCOMPARE(m_documentation->count(), 0);
    QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
    QCOMPARE(readFile(exampleFolder("demo") + "/examples-manifest.xml"), manifest);
    QCOMPARE(QDir::root().entryList({"demo-*"}), QStringList());
}

void tst_Installation::nothingInstalled_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Files>("files"); // of the archive; none: no data at all
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("documentationChanges");

    QTest::newRow("no data") << "demo" << Files()
                             << "The data is not downloaded for example: Example demo" << 0;
    // A path that would climb out of the repository folder never reaches the disk.
    QTest::newRow("unusable path")
        << "../escape" << project("1")
        << "Skip saving example Example ../escape - unusable folder name: ../escape" << 0;
    // Registration deletes the unpacked folder; the documentation changed all the same.
    QTest::newRow("no project file")
        << "demo" << Files{{"src/demo.pro", "TEMPLATE = app\n"}, {"README.md", "x\n"}}
        << "There was an error while creating example mainfest" << 1;
}

void tst_Installation::nothingInstalled()
{
    QFETCH(QString, path);
    QFETCH(Files, files);
    QFETCH(QString, status);
    QFETCH(int, documentationChanges);

    const auto example = makeExample(path);
    install(example, files.isEmpty() ? QByteArray() : makeArchive(QFileInfo(path).fileName(), files, daysAgo(1)));
    QVERIFY(hasStatus(status));
    QVERIFY(example->archive().isEmpty());
    QCOMPARE(entries(repositoryFolder()), QStringList());
    QCOMPARE(m_documentation->count(), documentationChanges);
    QVERIFY(!QFileInfo::exists(repositoryFolder() + "/../escape"));
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
    QCOMPARE(QProcess::execute("tar", {"czf", m_work.filePath("links.tar.gz"), "-C", staging,
                                       "demo-master-1111111"}), 0);

    // The installed example itself is a link to it.
    QVERIFY(QFile::link(outside, exampleFolder("demo")));

    install(makeExample("demo"), readFile(m_work.filePath("links.tar.gz")));

    QCOMPARE(entries(outside), outsideFiles);
    QCOMPARE(readFile(outside + "/README.md"), QByteArray("Version outside\n"));
    QVERIFY(hasStatus("There was an error while creating example mainfest"));
    QVERIFY(!QFileInfo::exists(exampleFolder("demo")));
}

QTEST_GUILESS_MAIN(tst_Installation)

#include "tst_installation.moc"
