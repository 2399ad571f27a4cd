#include "plugin/pathtemplates.h"
#include "repository/apiclient.h"
#include "repository/example.h"
#include "service/downloadservice.h"
#include "service/exampleinstallation.h"
#include "service/pathguard.h"
#include "service/unpacker.h"

#include <gitlabserver.h>
#include <gitrepository.h>
#include <messagelog.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/icore.h>

#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Vantor::Internal;
using namespace TestProjects;
using TestSupport::MessageLog;

namespace {

const QString repositoryName = QStringLiteral("norvel");

QString repositoryFolder() { return repositoryPathTemplate().arg(repositoryName); }
// Beside the repository folder: nothing an archive holds may ever reach it.
QString canaryFolder() { return repositoryPathTemplate().arg("canary"); }
QString exampleFolder(const QString &path) { return examplePathTemplate().arg(repositoryName, path); }
QByteArray readme(const QString &path) { return readFile(exampleFolder(path) + "/README.md"); }
QDateTime daysAgo(int days) { return QDateTime::currentDateTimeUtc().addDays(-days); }

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Every entry below `folder` that is not a folder, without the files the installation writes itself
// at the top of each example.
QStringList leaves(const QString &folder)
{
    QStringList result;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QStringList written{"examples-manifest.xml", "example-icon.png", ".examples-installed"};
    while (it.hasNext()) {
        const QString path = it.next().mid(folder.size() + 1);
        if ((!it.fileInfo().isDir() || it.fileInfo().isSymLink())
            && !(written.contains(it.fileName()) && path.count('/') == 1))
            result.append(path);
    }
    result.sort();
    return result;
}

// A new record each time, with an id of its own: the server answers for its archive by the id.
Repository::ExamplePtr makeExample(const QString &path)
{
    static int id = 1000;
    return Repository::ExamplePtr::create(
        TestSupport::projectJson(path, {{"description", "An example."}, {"id", ++id}}));
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
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        QVERIFY(repositoryFolder().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
        QVERIFY(m_work.isValid());
        // The unpacker's output shows whether an archive was unpacked at all.
        MessageLog::start("tas.vantor.plugin.service.debug=true\ntas.vantor.plugin.archive.debug=true");
        // The clients of these tests never find their group: their lists are given by hand, and the
        // server only answers for the archives.
        QVERIFY(m_server.listen());
        TestSupport::writeVantorSettings(
            {QString("%1|%2/examples|").arg(repositoryName, m_server.url().toString())},
            {{"UpdatesCheckTimeoutDays", 0}, {"ServiceRestartTimeoutSeconds", 3600}});
    }

    void init()
    {
        QDir(repositoryFolder()).removeRecursively();
        QDir(repositoryFolder() + ".backup").removeRecursively();
        QFile::remove(repositoryFolder() + ".backup");
        QVERIFY(QDir().mkpath(repositoryFolder()));
        QDir(canaryFolder()).removeRecursively();
        QVERIFY(writeFile(canaryFolder(), "precious.txt", "precious\n"));
        Settings settings;
        settings.load(Core::ICore::settings());
        m_service = std::make_unique<DownloadService>(settings, Core::ICore::settings());
        m_status.clear();
        connect(m_service.get(), &DownloadService::progressChanged, this, [this](const QString &text) {
            m_status.append(text);
        });
        connect(m_service.get(), &DownloadService::problemReported, this, [this](const Problem &problem) {
            m_status.append(problem.message());
        });
        m_documentation = std::make_unique<QSignalSpy>(m_service.get(), &DownloadService::documentationChanged);
        m_listed.clear();
        list({makeExample("demo"), makeExample("demo-chart")});
        QCOMPARE(repository()->examples().size(), 2);
    }

    void cleanup()
    {
        m_documentation.reset();
        m_service.reset();
        m_server.clearBehaviours();
        // Every temporary archive and staging folder is gone, whatever became of its installation,
        // and nothing reached the folder beside.
        QCOMPARE(QDir::temp().entryList({"*.tar.gz"}, QDir::Files), QStringList());
        QCOMPARE(QDir(repositoryFolder()).entryList({".unpack-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
        QCOMPARE(leaves(canaryFolder()), QStringList{"precious.txt"});
        QCOMPARE(readFile(canaryFolder() + "/precious.txt"), QByteArray("precious\n"));
    }

    void pathGuard_data()
    {
        QTest::addColumn<QString>("guarded");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("allowed");

        const QString root = repositoryFolder();
        QTest::newRow("example folder") << repositoryName << root + "/demo" << true;
        QTest::newRow("backup") << repositoryName << root + ".backup/demo-20240101-000000" << true;
        QTest::newRow("repository folder") << repositoryName << root << false;
        QTest::newRow("climbing out") << repositoryName << root + "/inside/../../other" << false;
        QTest::newRow("same prefix") << repositoryName << root + "x/demo" << false;
        QTest::newRow("the link itself") << repositoryName << root + "/escape" << true;
        QTest::newRow("through a link") << repositoryName << root + "/escape/file" << false;
        QTest::newRow("unsafe repository name") << ".." << root + "/demo" << false;
        QTest::newRow("repository named like a backup folder") << repositoryName + ".backup"
                                                               << root + ".backup/demo-20240101-000000" << false;
        QTest::newRow("empty") << repositoryName << QString() << false;
    }

    void pathGuard()
    {
        QFETCH(QString, guarded);
        QFETCH(QString, path);
        QVERIFY(QDir().mkpath(repositoryFolder() + "/inside"));
        QVERIFY(QDir().mkpath(repositoryFolder() + ".backup"));
        QVERIFY(QDir().mkpath(repositoryFolder() + "x"));
        QVERIFY(QFile::link(m_work.path(), repositoryFolder() + "/escape"));
        QFETCH(bool, allowed);
        QCOMPARE(PathGuard(guarded).allows(path), allowed);
        // A move needs both ends allowed.
        QVERIFY(QDir().mkpath(repositoryFolder() + "/from"));
        QCOMPARE(PathGuard(guarded).rename(repositoryFolder() + "/from", path), allowed && !QFileInfo::exists(path));
        QDir(repositoryFolder() + "/from").removeRecursively();
        QDir(repositoryFolder() + "x").removeRecursively();
    }

    // Never through a link: a change of mode would reach what it leads to.
    void dropPrivilegesSkipsLinks()
    {
        QVERIFY(writeFile(m_work.path(), "target", "x"));
        const auto before = QFileInfo(m_work.filePath("target")).permissions();
        QVERIFY(QFile::link(m_work.filePath("target"), repositoryFolder() + "/link"));
        QVERIFY(!PathGuard(repositoryName).dropPrivileges(repositoryFolder() + "/link"));
        QCOMPARE(QFileInfo(m_work.filePath("target")).permissions(), before);
    }

    void installs()
    {
        const auto example = makeExample("demo");
        install(example, makeArchive("demo", project("1"), daysAgo(1)));
        QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
        QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
        const auto manifest = TestSupport::readManifest(exampleFolder("demo"));
        QCOMPARE(manifest.name, QString("Example demo"));
        QCOMPARE(manifest.projectPath, QString("demo.pro"));
        QCOMPARE(manifest.fileToOpen, QString("/main.cpp"));
        QCOMPARE(m_documentation->count(), 1);
        QCOMPARE(m_service->state(repositoryName, "demo").state, ExampleState::Installed);
        QVERIFY(hasStatus("Unpacking example: Example demo"));
    }

    void hostileArchives_data()
    {
        QTest::addColumn<QString>("firstPath"); // an example installed before; empty: none
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("archive");   // in the notation of hostilearchive.py
        // Leaves below the repository folder[=content]; "<folder>/#N": the files 1 to N in it.
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("status"); // of the last installation, refused before unpacking; empty: installed

        const QStringList none;
        QTest::newRow("links leaving the example")
            << QString() << none << "demo"
            << QStringList{"f top/demo.pro", "f top/main.cpp", "l top/inside>main.cpp", "l top/abs>$CANARY",
                           "l top/up>../../canary", "l top/sub/deep>../../../../canary", "l top/via>sub/../up",
                           "l top/parent>.."}
            << QStringList{"demo/demo.pro", "demo/inside", "demo/main.cpp"} << QString();
        // Entries of a later archive that went through the links of an earlier one.
        QTest::newRow("links left for a later archive")
            << "demo-chart" << QStringList{"f demo.pro", "l escape>$CANARY", "l up>../canary"}
            << "demo" << QStringList{"f demo.pro", "f escape/evil.txt", "f up/evil.txt"}
            << QStringList{"demo-chart/demo.pro", "demo/demo.pro", "demo/escape/evil.txt", "demo/up/evil.txt"}
            << QString();
        QTest::newRow("top folder named like another example")
            << "demo-chart" << QStringList{"f chart/demo.pro", "f chart/README=chart"}
            << "demo" << QStringList{"f demo-chart/demo.pro", "f demo-chart/README=demo"}
            << QStringList{"demo-chart/README=chart", "demo-chart/demo.pro", "demo/README=demo", "demo/demo.pro"}
            << QString();
        QTest::newRow("flat archive")
            << QString() << none << "demo" << QStringList{"f demo.pro", "f main.cpp", "f README"}
            << QStringList{"demo/README", "demo/demo.pro", "demo/main.cpp"} << QString();
        QTest::newRow("absolute and parent paths")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", "r $CANARY/evil.txt", "r ../evil.txt"}
            << QStringList()
            << "Example Example demo is not installed: its archive holds a name that leads out of its folder: "
               "$CANARY/evil.txt";
        // What the manifest searches would block on or read without end is never made.
        QTest::newRow("special files")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", "p top/pipe.qml", "c top/null.cpp"}
            << QStringList() << "Example Example demo is not installed: its archive holds a device, pipe or socket: "
                                "top/pipe.qml";
        // A link to one goes with the cleaning, as do the privileges that tar keeps as root.
        QTest::newRow("link to a device, privileges")
            << QString() << none << "demo"
            << QStringList{"f top/demo.pro", "f top/main.cpp", "l top/zero.qml>/dev/zero", "s top/tool"}
            << QStringList{"demo/demo.pro", "demo/main.cpp", "demo/tool"} << QString();
        // Counted from the archive itself, folders included, not from what tar lists.
        const int entries = ExampleInstallation::MaximumUnpackedEntries;
        const QString tooLarge = "Unpacking cancelled, example Example demo is larger than 1024 MiB or 100000 files";
        QTest::newRow("entries at the limit")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", QString("m top/many=%1").arg(entries - 2)}
            << QStringList{"demo/demo.pro", QString("demo/many/#%1").arg(entries - 2)} << QString();
        QTest::newRow("one entry over the limit")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", QString("m top/many=%1").arg(entries - 1)}
            << QStringList() << tooLarge;
        // A hole: the header states the size, hardly any data follows.
        const qint64 bytes = ExampleInstallation::MaximumUnpackedBytes;
        QTest::newRow("one byte over the size limit")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", QString("h top/hole=%1").arg(bytes)}
            << QStringList() << tooLarge;
        QTest::newRow("gzip bomb")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", QString("z top/zeros=%1").arg(2 * bytes)}
            << QStringList() << tooLarge;
        // Only reading finds out.
        QTest::newRow("gzip bomb under a header that lies")
            << QString() << none << "demo" << QStringList{"f top/demo.pro", QString("y top/zeros=%1").arg(2 * bytes)}
            << QStringList() << tooLarge;
        const QString manifest = "f top/examples-manifest.xml=<instructionals><examples><example name=\"Other\" "
                                 "projectPath=\"/etc/passwd\"/></examples></instructionals>";
        QTest::newRow("own manifest")
            << "demo" << QStringList{"f top/demo.pro", "f top/README=1"}
            << "demo" << QStringList{"f top/demo.pro", "f top/README=2", manifest}
            << QStringList{"demo/README=2", "demo/demo.pro"} << QString();
        // The host would list one deeper down as an example of its own.
        QTest::newRow("nested manifests")
            << QString() << none << "demo"
            << QStringList{"f top/demo.pro", QString(manifest).replace("top/", "top/sub/"), "f top/sub/README=stays",
                           "f top/sub/examples-manifest.xml.in", "l top/deep/er/examples-manifest.xml>../../demo.pro"}
            << QStringList{"demo/demo.pro", "demo/sub/README=stays", "demo/sub/examples-manifest.xml.in"} << QString();
    }

    void hostileArchives()
    {
        QFETCH(QString, firstPath);
        QFETCH(QStringList, first);
        QFETCH(QString, path);
        QFETCH(QStringList, archive);
        QFETCH(QStringList, installed);
        QFETCH(QString, status);

        if (!firstPath.isEmpty())
            install(makeExample(firstPath), makeHostileArchive(first));
        install(makeExample(path), makeHostileArchive(archive));

        QStringList names;
        for (const QString &leaf : installed) {
            const QString folder = leaf.section("/#", 0, 0);
            for (int n = 1; n <= leaf.section("/#", 1).toInt(); ++n)
                names.append(QString("%1/%2").arg(folder).arg(n));
            if (leaf.contains("/#"))
                continue;
            names.append(leaf.section('=', 0, 0));
            if (leaf.contains('='))
                QCOMPARE(readFile(repositoryFolder() + '/' + names.last()), leaf.section('=', 1).toUtf8());
        }
        names.sort();
        QCOMPARE(leaves(repositoryFolder()), names);
        // A refused archive is not unpacked at all: no entry is written.
        QCOMPARE(MessageLog::messages("tas.vantor.plugin.archive").isEmpty(), !status.isEmpty());
        if (status.isEmpty())
            QCOMPARE(TestSupport::readManifest(exampleFolder(path)).name, "Example " + path);
        else
            QVERIFY2(hasStatus(QString(status).replace("$CANARY", canaryFolder())), qPrintable(m_status.join('\n')));

        // What stays holds nothing special, nothing privileged, no link that leads out of its example.
        for (const QString &leaf : leaves(repositoryFolder())) {
            const QString file = repositoryFolder() + '/' + leaf;
            struct stat status;
            QCOMPARE(::lstat(QFile::encodeName(file).constData(), &status), 0);
            QVERIFY2(S_ISREG(status.st_mode) || S_ISLNK(status.st_mode), qPrintable(leaf));
            QVERIFY2(!(status.st_mode & (S_ISUID | S_ISGID)) && status.st_uid == ::geteuid(), qPrintable(leaf));
            const QString target = QFileInfo(file).canonicalFilePath();
            QVERIFY2(target.startsWith(exampleFolder(leaf.section('/', 0, 0)) + '/'), qPrintable(leaf));
        }
    }

    void userModified_data()
    {
        QTest::addColumn<QString>("file");   // changed or added by the user; empty: none
        QTest::addColumn<int>("commitDays"); // age of the first version's files; negative: in the future
        QTest::addColumn<QString>("backup"); // "kept", "none" or "blocked" (the backup folder is a file)
        QTest::addColumn<bool>("recorded");  // false: installed before the installed files were recorded

        QTest::newRow("source changed") << "main.cpp" << 3 << "kept" << true;
        QTest::newRow("build output added") << "build/demo.o" << 3 << "kept" << true;
        QTest::newRow("per-user file") << "demo.pro.user" << 3 << "none" << true;
        QTest::newRow("manifest rewritten") << "examples-manifest.xml" << 3 << "none" << true;
        // tar restores the commit time, which may lie ahead of the local clock; the update's commit is older.
        QTest::newRow("files in the future, untouched") << QString() << -30 << "none" << true;
        QTest::newRow("files in the future, source changed") << "main.cpp" << -30 << "kept" << true;
        QTest::newRow("no record, source changed") << "main.cpp" << 3 << "kept" << false;
        QTest::newRow("no record, untouched") << QString() << 3 << "none" << false;
        QTest::newRow("backup impossible") << "main.cpp" << 3 << "blocked" << true;
    }

    void userModified()
    {
        QFETCH(QString, file);
        QFETCH(int, commitDays);
        QFETCH(QString, backup);
        QFETCH(bool, recorded);

        const auto example = makeExample("demo");
        install(example, makeArchive("demo", project("1"), daysAgo(commitDays)));
        if (!recorded)
            QVERIFY(QFile::remove(exampleFolder("demo") + "/.examples-installed"));
        const QString changed = exampleFolder("demo") + '/' + file;
        const QByteArray content = file == "examples-manifest.xml" ? readFile(changed) : "// the user's work\n";
        if (!file.isEmpty()) {
            QVERIFY(writeFile(exampleFolder("demo"), file, content));
            QVERIFY(setModified(changed, QDateTime::currentDateTime().addSecs(60)));
        }
        const QString backupRoot = repositoryFolder() + ".backup";
        if (backup == "blocked")
            QVERIFY(writeFile(QFileInfo(backupRoot).path(), QFileInfo(backupRoot).fileName(), "a file"));

        install(example, makeArchive("demo", project("2"), daysAgo(1)));
        QCOMPARE(m_documentation->count(), 1);
        if (backup == "blocked") {
            QVERIFY(hasStatus("Example demo was modified and could not be kept as a backup, so it was not updated"));
            QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
            QCOMPARE(readFile(changed), content);
            return;
        }
        QCOMPARE(readme("demo"), QByteArray("Version 2\n"));
        const QStringList backups = entries(backupRoot);
        QCOMPARE(backups.size(), backup == "kept" ? 1 : 0);
        if (backups.isEmpty())
            return;
        QVERIFY2(QRegularExpression("^demo-\\d{8}-\\d{6}$").match(backups.first()).hasMatch(),
                 qPrintable(backups.first()));
        const QString kept = backupRoot + '/' + backups.first();
        QCOMPARE(readFile(kept + '/' + file), content);
        QCOMPARE(readFile(kept + "/README.md"), QByteArray("Version 1\n"));
        QVERIFY(hasStatus(QString("Example demo was modified; the previous version was kept in: %1")
                              .arg(QDir::toNativeSeparators(kept))));
    }

    void notInstalled_data()
    {
        QTest::addColumn<bool>("before");     // version 1 installed first; it must stay untouched
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("archive"); // "none" (an empty answer), "whole", "half" or "noproject"
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("documentationChanges");

        const QString noManifest = "There was an error while creating example mainfest";
        QTest::newRow("no data") << false << "demo" << "none"
                                 << "The data is not downloaded for example: Example demo" << 0;
        // A path that would climb out of the repository folder never reaches the disk.
        QTest::newRow("unusable path") << false << "../escape" << "whole"
                                       << "Skip saving example Example ../escape - unusable folder name: ../escape" << 0;
        // Without a manifest nothing is moved into place, and nothing is announced.
        QTest::newRow("no project file") << false << "demo" << "noproject" << noManifest << 0;
        // Unpacked, but without a manifest: the old version stays.
        QTest::newRow("update without project file") << true << "demo" << "noproject" << noManifest << 0;
        QTest::newRow("corrupt archive") << true << "demo" << "half"
                                         << "The archive of example Example demo is damaged or not a .tar.gz archive" << 0;
    }

    void notInstalled()
    {
        QFETCH(bool, before);
        QFETCH(QString, path);
        QFETCH(QString, archive);
        QFETCH(QString, status);

        const auto example = makeExample(path);
        const QString name = QFileInfo(path).fileName();
        if (before)
            install(example, makeArchive(name, project("1"), daysAgo(3)));
        const QByteArray manifest = readFile(exampleFolder(path) + "/examples-manifest.xml");
        QByteArray bytes;
        if (archive == "noproject")
            bytes = makeArchive(name, {{"src/demo.pro", "TEMPLATE = app\n"}, {"README.md", "Version 2\n"}}, daysAgo(1));
        else if (archive != "none")
            bytes = makeArchive(name, project("2"), daysAgo(1));
        if (archive == "half")
            bytes.truncate(bytes.size() / 2);
        install(example, bytes);

        QVERIFY2(hasStatus(status), qPrintable(m_status.join('\n')));
        QTEST(m_documentation->count(), "documentationChanges");
        QCOMPARE(entries(repositoryFolder()), before ? QStringList{"demo"} : QStringList());
        QCOMPARE(readme("demo"), QByteArray(before ? "Version 1\n" : ""));
        QCOMPARE(readFile(exampleFolder("demo") + "/examples-manifest.xml"), manifest);
        QVERIFY(!QFileInfo::exists(repositoryFolder() + "/../escape"));
    }

    // A burst larger than one slice is set up over several turns of the event loop: every example
    // arrives, and one the user removed before its slice came is not even downloaded.
    void burstInSlices()
    {
        const QByteArray archive = makeArchive("demo", project("1"), daysAgo(1));
        Repository::Examples examples;
        QSet<QString> paths;
        for (int i = 0; i < DownloadService::QueueSlice + 20; ++i) {
            examples.append(makeExample(QString("ex-%1").arg(i, 3, 10, QChar('0'))));
            paths.insert(examples.last()->path());
            m_server.setBehaviour(GitLabServer::archiveRoute(examples.last()->id()),
                                  GitLabBehaviour::reply(200, archive, "application/gzip"));
        }
        list(examples);
        const Repository::ExamplePtr last = examples.last();
        m_server.clearRequests();
        m_service->applyChanges(repositoryName, paths, {});
        m_service->applyChanges(repositoryName, {}, {last->path()});
        waitForInstallations();
        // The later slices join the queue of the workers under way, over the same connections: one
        // for each worker and the client's own.
        QVERIFY2(m_server.connectionCount() <= ApiClient::DownloadWorkers + 1,
                 qPrintable(QString::number(m_server.connectionCount())));
        QStringList expected(paths.cbegin(), paths.cend());
        expected.removeOne(last->path());
        expected.sort();
        QCOMPARE(entries(repositoryFolder()), expected);
        QCOMPARE(m_server.requestCount(GitLabServer::archiveRoute(last->id())), 0);
        QCOMPARE(m_service->state(repositoryName, last->path()).state, ExampleState::Removed);
    }

    // What each kind of entry becomes, written straight from the archive.
    void unpacker()
    {
        const auto unpackInto = [this](const QString &folder, const QByteArray &archive, bool cancel) {
            const QString file = m_work.filePath(folder + ".tar.gz");
            QDir(m_work.filePath(folder)).removeRecursively();
            if (!writeFile(m_work.path(), folder + ".tar.gz", archive) || !QDir(m_work.path()).mkdir(folder))
                return QString("not written");
            const std::atomic_bool cancelled(cancel);
            Unpacker unpacker(file, m_work.filePath(folder));
            return unpacker.unpack(cancelled) ? QString() : unpacker.errorString();
        };
        QCOMPARE(unpackInto("kinds",
                            makeHostileArchive({"f top/a/file=data", "l top/link>a/file", "h top/hole=5000000",
                                                "f top/empty/.keep=", "s top/tool", "k top/hard>top/a/file",
                                                "r ./top//dot=dot", "r top/a/file=again"}),
                            false),
                 QString());
        const QString top = m_work.filePath("kinds/top");
        // The later entry of a name replaces the earlier, and a hard link keeps the file it was made to.
        QCOMPARE(readFile(top + "/a/file"), QByteArray("again"));
        QCOMPARE(readFile(top + "/hard"), QByteArray("data"));
        QCOMPARE(QFileInfo(top + "/link").symLinkTarget(), top + "/a/file");
        QCOMPARE(QFileInfo(top + "/hole").size(), 5000000);
        QCOMPARE(readFile(top + "/dot"), QByteArray("dot"));
        struct stat status;
        QCOMPARE(::stat(QFile::encodeName(top + "/tool").constData(), &status), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QCOMPARE(status.st_mode & 07777, 0755 & ~mask); // no setuid, no setgid

        // The commit's time, as tar would keep it.
        const QDateTime committed = daysAgo(3);
        QCOMPARE(unpackInto("project", makeArchive("demo", project("1"), committed), false), QString());
        const QStringList unpacked = entries(m_work.filePath("project"));
        QCOMPARE(unpacked.size(), 1);
        const QDateTime modified = QFileInfo(m_work.filePath("project/" + unpacked.first() + "/main.cpp")).lastModified();
        QVERIFY2(qAbs(modified.secsTo(committed)) <= 1, qPrintable(modified.toString()));

        // Never through a link, whichever way the entry goes: the canary stays as it was.
        QVERIFY(unpackInto("through", makeHostileArchive({"l top/out>$CANARY", "r top/out/evil.txt=evil"}), false)
                    .startsWith("top/out/evil.txt:"));
        QVERIFY(unpackInto("hard", makeHostileArchive({"l top/out>$CANARY", "k top/h>top/out/precious.txt"}), false)
                    .startsWith("top/out/precious.txt:"));
        QVERIFY(!unpackInto("up", makeHostileArchive({"f top/demo.pro", "r top/../evil.txt"}), false).isEmpty());
        QCOMPARE(leaves(canaryFolder()), QStringList{"precious.txt"});
        QCOMPARE(QFileInfo(m_work.filePath("evil.txt")).exists(), false);

        // Packed as "tar -C folder .": the folder itself is an entry, and a read-only one is
        // still filled and stays the user's to change.
        const QString packed = m_work.filePath("packed");
        QVERIFY(writeFile(packed + "/locked", "file", "in a read-only folder"));
        QVERIFY(QFile::setPermissions(packed + "/locked", QFile::ReadOwner | QFile::ExeOwner));
        QCOMPARE(QProcess::execute("tar", {"-czf", m_work.filePath("dot.tar.gz"), "-C", packed, "."}), 0);
        QVERIFY(QFile::setPermissions(packed + "/locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(unpackInto("dot", readFile(m_work.filePath("dot.tar.gz")), false), QString());
        QCOMPARE(readFile(m_work.filePath("dot/locked/file")), QByteArray("in a read-only folder"));
        QVERIFY(QFileInfo(m_work.filePath("dot/locked")).permission(QFile::WriteOwner));

        QCOMPARE(unpackInto("cancelled", makeArchive("demo", project("1"), committed), true), QString("cancelled"));
        QCOMPARE(entries(m_work.filePath("cancelled")), QStringList());
    }

    void leftovers_data()
    {
        QTest::addColumn<QString>("lock"); // of a staging folder left before: "none" (an older version), "living", "dead"

        QTest::newRow("no lock") << "none";
        QTest::newRow("lock of a living process") << "living"; // this test's own
        QTest::newRow("lock of a dead process") << "dead";
    }

    // Another instance sharing the data folder starts while an installation is under way: it
    // removes only what no living process holds.
    void leftovers()
    {
        QFETCH(QString, lock);
        const QString staging = repositoryFolder() + "/.unpack-demo-AbC123";
        const QString archive = QDir::temp().filePath("demo-AbC123.tar.gz");
        QVERIFY(writeFiles(staging, {{"archive/top/demo.pro", "TEMPLATE = app\n"}}));
        QVERIFY(writeFile(QDir::tempPath(), "demo-AbC123.tar.gz", "half an archive"));
        QLockFile held(staging + ".lock");
        QVERIFY(lock == "none" || held.tryLock(0));
        if (lock == "dead") {
            QProcess ended;
            ended.start("true", QStringList());
            QVERIFY(ended.waitForStarted());
            const qint64 pid = ended.processId();
            QVERIFY(ended.waitForFinished());
            const QByteArray content = readFile(staging + ".lock");
            held.unlock();
            QVERIFY(writeFile(repositoryFolder(), ".unpack-demo-AbC123.lock",
                              QByteArray::number(pid) + content.mid(content.indexOf('\n'))));
        }

        const auto example = makeExample("demo");
        // On its way now, into a staging folder of its own.
        serve(example, makeArchive("demo", project("1"), daysAgo(1)), 500);
        m_service->applyChanges(repositoryName, {"demo"}, {});
        QTRY_COMPARE(QDir(repositoryFolder()).entryList({".unpack-demo-*"}, QDir::Dirs | QDir::Hidden).size(), 2);
        { const DownloadService second(m_service->settings(), Core::ICore::settings()); }
        waitForInstallations();
        QCOMPARE(readme("demo"), QByteArray("Version 1\n"));
        const bool kept = lock == "living";
        QCOMPARE(entries(repositoryFolder()), (kept ? QStringList{".unpack-demo-AbC123", ".unpack-demo-AbC123.lock", "demo"}
                                                    : QStringList{"demo"}));
        QCOMPARE(QFileInfo::exists(archive), kept);

        held.unlock(); // its process ends: the next start removes what it left
        { const DownloadService third(m_service->settings(), Core::ICore::settings()); }
        QCOMPARE(entries(repositoryFolder()), QStringList{"demo"});
    }

    // The engine goes while an example is being unpacked: its installation stops, and its staging
    // folder goes with it (checked after every test).
    void teardownWhileInstalling()
    {
        serve(makeExample("demo"), makeHostileArchive({"f top/demo.pro", "z top/zeros=400000000"}));
        m_service->applyChanges(repositoryName, {"demo"}, {});
        QTRY_COMPARE_WITH_TIMEOUT(m_service->state(repositoryName, "demo").state, ExampleState::Installing, 20000);
        m_documentation.reset();
        m_service.reset();
        QCOMPARE(entries(repositoryFolder()), QStringList());
    }

    // The host re-reads every example set when told: a burst of installations is announced a few
    // times, the last time after the last installation.
    void burstAnnounced()
    {
        constexpr int count = 20;
        const auto installed = [] {
            const QStringList folders = entries(repositoryFolder());
            return int(std::count_if(folders.cbegin(), folders.cend(), [](const QString &folder) {
                return QFileInfo::exists(exampleFolder(folder) + "/examples-manifest.xml");
            }));
        };
        QSet<QString> paths;
        for (int i = 1; i <= count; ++i) {
            const QString path = QString("burst%1").arg(i, 2, 10, QChar('0'));
            serve(makeExample(path), makeArchive(path, project("1"), daysAgo(1)));
            paths.insert(path);
        }
        m_service->applyChanges(repositoryName, paths, {});
        QList<int> installedWhenAnnounced;
        connect(m_service.get(), &DownloadService::documentationChanged, m_service.get(),
                [&] { installedWhenAnnounced.append(installed()); });
        waitForInstallations();
        QCOMPARE(installed(), count);
        QVERIFY2(!installedWhenAnnounced.isEmpty() && installedWhenAnnounced.size() < count,
                 qPrintable(QString::number(installedWhenAnnounced.size())));
        QCOMPARE(installedWhenAnnounced.last(), count);
    }

private:
    Repository *repository() const { return m_service->repository(repositoryName).data(); }

    // The project as "git archive" gives it, the way the server sends it.
    QByteArray makeArchive(const QString &path, const Files &files, const QDateTime &commitDate)
    {
        const QString folder = m_work.filePath(QString("%1-%2").arg(path).arg(++m_archives));
        GitRepository git(folder + ".git", "master");
        if (!writeFiles(folder, files) || !git.commit(folder, commitDate, "Example " + path)) {
            qWarning() << git.errorString();
            return {};
        }
        return git.archive(QString("%1-%2-%3").arg(path, git.branch(), git.sha()));
    }

    QByteArray makeHostileArchive(const QStringList &entries)
    {
        const QString archive = m_work.filePath(QString("hostile-%1.tar.gz").arg(++m_archives));
        QStringList arguments{QFINDTESTDATA("hostilearchive.py"), archive};
        for (const QString &entry : entries)
            arguments.append(QString(entry).replace("$CANARY", canaryFolder()));
        return QProcess::execute("python3", arguments) == 0 ? readFile(archive) : QByteArray();
    }

    // Lists the examples as their server would, each in place of the one listed with its path.
    void list(const QList<Repository::ExamplePtr> &examples)
    {
        for (const Repository::ExamplePtr &example : examples) {
            const auto same = [&example](const Repository::ExamplePtr &e) { return e->path() == example->path(); };
            m_listed.erase(std::remove_if(m_listed.begin(), m_listed.end(), same), m_listed.end());
            m_listed.append(example);
        }
        emit repository()->client()->fetched(m_listed);
    }

    // Lists the example, and the server answers for its archive with `archive` (null: with no data).
    void serve(const Repository::ExamplePtr &example, const QByteArray &archive, int delayMs = 0)
    {
        const GitLabBehaviour answer = archive.isNull() ? GitLabBehaviour::noContent()
                                                        : GitLabBehaviour::reply(200, archive, "application/gzip");
        // Once: an example installed again answers with its next archive.
        m_server.setBehaviour(GitLabServer::archiveRoute(example->id()), GitLabBehaviour(answer).after(delayMs).only(1));
        list({example});
    }

    // The user adds the example, which the service downloads and installs; waits until it is
    // installed or has failed.
    void install(const Repository::ExamplePtr &example, const QByteArray &archive)
    {
        serve(example, archive);
        m_status.clear();
        MessageLog::clear();
        m_service->applyChanges(repositoryName, {example->path()}, {});
        m_documentation->clear(); // the user's change itself is announced at once
        waitForInstallations();
    }

    void waitForInstallations()
    {
        QTRY_VERIFY_WITH_TIMEOUT(m_service->findChildren<ExampleInstallation *>().isEmpty(), 60000);
        QTRY_VERIFY(!m_service->isBusy() && !m_service->hasPendingNotice()); // the host has been told
    }

    // A text ending in "*" matches any status starting with the text before it.
    bool hasStatus(const QString &text) const
    {
        return std::any_of(m_status.cbegin(), m_status.cend(), [&](const QString &status) {
            return text.endsWith('*') ? status.startsWith(text.chopped(1)) : status == text;
        });
    }

    QTemporaryDir m_work;
    GitLabServer m_server;
    Repository::Examples m_listed;
    int m_archives = 0;
    std::unique_ptr<DownloadService> m_service;
    QStringList m_status; // progress and problems
    std::unique_ptr<QSignalSpy> m_documentation;
};

QTEST_GUILESS_MAIN(tst_Installation)

#include "tst_installation.moc"
