// Measures a full first sync of N examples by the host with the plugin, a same-day re-check, and the
// same job done by a plain "curl | tar" script with parallel jobs, all against the bundled server
// with a delay per request.
//
//   syncbench [--examples N] [--delay ms] [--jobs N] [--host program] [--pluginpath folder] [--keep]

#include <gitlabserver.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

QTextStream out(stdout);

// The bundled example projects, served again and again under new names.
struct Bundled
{
    QString folder;
    QString picture;
};

QList<Bundled> bundledProjects(const QString &root)
{
    QList<Bundled> result;
    const QDir dir(root);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        result.append({dir.filePath(name), dir.filePath(name + QStringLiteral(".png"))});
    return result;
}

// Path of every file below the folders, with its modification time and size.
QHash<QString, QPair<qint64, qint64>> snapshot(const QStringList &folders)
{
    QHash<QString, QPair<qint64, qint64>> files;
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            files.insert(info.filePath(), {info.lastModified().toMSecsSinceEpoch(), info.size()});
        }
    }
    return files;
}

int changedFiles(const QHash<QString, QPair<qint64, qint64>> &before,
                 const QHash<QString, QPair<qint64, qint64>> &after)
{
    int changed = 0;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        changed += before.value(it.key(), {-1, -1}) != it.value();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        changed += !after.contains(it.key());
    return changed;
}

// Runs a program while this thread's event loop serves the requests.
struct Finished
{
    int exitCode = -1;
    qint64 elapsedMs = 0;
    QByteArray errorOutput;
};

Finished runServing(QProcess &process, const QString &program, const QStringList &arguments)
{
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QElapsedTimer elapsed;
    elapsed.start();
    process.start(program, arguments);
    loop.exec();
    Finished result;
    result.elapsedMs = elapsed.elapsed();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.errorOutput = process.readAllStandardError();
    return result;
}

QString measured(const QByteArray &errorOutput, const QString &key)
{
    const QRegularExpression value(QStringLiteral("measure:.*\\b%1=(-?\\d+)").arg(key));
    return value.match(QString::fromUtf8(errorOutput)).captured(1);
}

const char curlScript[] = R"(set -eu
base=$1 group=$2 gid=$3 list=$4 dest=$5 jobs=$6
curl -sf "$base/api/v4/groups?search=%22$group%22" >/dev/null
curl -sf "$base/api/v4/groups/$gid" >"$dest/group.json"
page=1
while [ -n "$page" ]; do
  page=$(curl -sf -D - -o "$dest/projects-$page.json" "$base/api/v4/groups/$gid/projects?per_page=100&order_by=id&sort=asc&with_shared=false&page=$page" | tr -d '\r' | sed -n 's/^[Xx]-[Nn]ext-[Pp]age: *//p')
done
xargs -P "$jobs" -L 1 sh -c 'mkdir -p "$0/$1" && curl -sf "$2/api/v4/projects/$1/repository/archive.tar.gz" | tar -xzf - -C "$0/$1" && curl -sf -o "$0/$1/example-icon.png" "$3"' "$dest" <"$list"
)";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times a first sync of the plugin against a plain curl | tar script."));
    parser.addHelpOption();
    const QCommandLineOption examplesOption(QStringLiteral("examples"), QStringLiteral("Number of examples."),
                                            QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption delayOption(QStringLiteral("delay"), QStringLiteral("Delay per request."),
                                         QStringLiteral("ms"), QStringLiteral("50"));
    const QCommandLineOption jobsOption(QStringLiteral("jobs"), QStringLiteral("Parallel jobs of the script."),
                                        QStringLiteral("N"), QStringLiteral("6"));
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("The host program."),
                                        QStringLiteral("program"),
                                        QCoreApplication::applicationDirPath() + QStringLiteral("/qtcreator-host"));
    const QCommandLineOption pluginOption(QStringLiteral("pluginpath"),
                                          QStringLiteral("Plugin folder (default: the host's)."),
                                          QStringLiteral("folder"));
    const QCommandLineOption idleOption(QStringLiteral("idle"),
                                        QStringLiteral("The host quits after this long without news from the plugin."),
                                        QStringLiteral("seconds"), QStringLiteral("2"));
    const QCommandLineOption keepOption(QStringLiteral("keep"), QStringLiteral("Keep the work folder."));
    parser.addOptions({examplesOption, delayOption, jobsOption, hostOption, pluginOption, idleOption, keepOption});
    parser.process(app);
    const int count = parser.value(examplesOption).toInt();
    const int delay = parser.value(delayOption).toInt();
    const int jobs = parser.value(jobsOption).toInt();
    QTextStream err(stderr);

    QTemporaryDir work;
    work.setAutoRemove(!parser.isSet(keepOption));
    if (parser.isSet(keepOption))
        err << "Work folder: " << work.path() << Qt::endl;
    const QList<Bundled> bundled = bundledProjects(QStringLiteral(VANTOR_SOURCE_DIR "/demo/group"));
    // Beyond 100, the group's answer holds a full list and the plugin reads the projects page by page.
    if (!work.isValid() || bundled.isEmpty() || count < 1 || count > 10000) {
        err << "Needs a work folder, the bundled projects and 1 to 10 000 examples" << Qt::endl;
        return 2;
    }

    GitLabServer server;
    const QString groupPath = QStringLiteral("norvel/examples");
    const qint64 groupId = server.addGroupPath(groupPath);
    QFile list(work.filePath(QStringLiteral("projects.txt")));
    if (!list.open(QIODevice::WriteOnly) || !server.listen()) {
        err << "Cannot start: " << server.errorString() << Qt::endl;
        return 1;
    }
    QList<qint64> firstIds;
    for (int i = 0; i < count; ++i) {
        GitLabServer::ProjectOptions options;
        options.name = QStringLiteral("Example %1").arg(i + 1, 4, 10, QLatin1Char('0'));
        options.path = QStringLiteral("example-%1").arg(i + 1, 4, 10, QLatin1Char('0'));
        options.avatarFile = bundled.at(i % bundled.size()).picture;
        // Later ones share the first ones' commits: a thousand projects start in seconds.
        const qint64 id = i < bundled.size() ? server.addProject(groupId, bundled.at(i).folder, options)
                                             : server.addProjectCopy(firstIds.at(i % bundled.size()), groupId, options);
        if (i < bundled.size())
            firstIds.append(id);
        if (!id) {
            err << "Cannot serve a project: " << server.errorString() << Qt::endl;
            return 1;
        }
        list.write(QStringLiteral("%1 %2 %3\n")
                       .arg(id)
                       .arg(server.url().toString(), server.projectJson(id).value(QStringLiteral("avatar_url")).toString())
                       .toUtf8());
    }
    list.close();
    server.setBehaviour(QStringLiteral("."), GitLabBehaviour::delay(delay));

    // What an installation provides, as in the demo.
    const QString settings = work.filePath(QStringLiteral("settings"));
    const QString install = work.filePath(QStringLiteral("install"));
    const QString data = work.filePath(QStringLiteral("data"));
    for (const QString &folder : {settings, install + QStringLiteral("/QtProject"), data,
                                  work.filePath(QStringLiteral("tmp")), work.filePath(QStringLiteral("runtime")),
                                  work.filePath(QStringLiteral("curl"))})
        QDir().mkpath(folder);
    QFile::setPermissions(work.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile ini(install + QStringLiteral("/QtProject/QtCreator.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write(QStringLiteral("[Help]\nInstalledExamples=bench\n\n[Vantor]\nRepositories=\"bench|%1|\"\n")
                  .arg(server.groupUrl(groupPath).toString())
                  .toUtf8());
    ini.close();

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("TMPDIR"), work.filePath(QStringLiteral("tmp")));
    QStringList hostArguments{QStringLiteral("-settingspath"), settings, QStringLiteral("-installsettingspath"),
                              install, QStringLiteral("--list-examples"), QStringLiteral("--quit-when-idle"),
                              parser.value(idleOption), QStringLiteral("--timeout"), QStringLiteral("300"),
                              QStringLiteral("--measure")};
    if (parser.isSet(pluginOption))
        hostArguments << QStringLiteral("-pluginpath") << parser.value(pluginOption);

    // First sync.
    server.clearRequests();
    QProcess host;
    host.setProcessEnvironment(environment);
    host.setStandardOutputFile(QProcess::nullDevice());
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    const Finished first = runServing(host, parser.value(hostOption), hostArguments);
    QFile firstLog(work.filePath(QStringLiteral("host-first-sync.log")));
    if (firstLog.open(QIODevice::WriteOnly))
        firstLog.write(first.errorOutput);
    qint64 lastManifest = 0;
    int manifests = 0;
    QDirIterator found(data, {QStringLiteral("examples-manifest.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (found.hasNext()) {
        ++manifests;
        lastManifest = std::max(lastManifest, QFileInfo(found.next()).lastModified().toMSecsSinceEpoch());
    }
    if (first.exitCode != 0 || manifests != count) {
        err << "The host ended with " << first.exitCode << " and " << manifests << " of " << count
            << " manifests:\n" << first.errorOutput << Qt::endl;
        return 1;
    }
    const qint64 syncMs = lastManifest - started;
    const int syncRequests = server.requests().size();
    const int syncConnections = server.connectionCount();
    const int syncArchives = server.requestCount(GitLabServer::ArchiveRoute);

    // Same-day re-check.
    const QStringList watched{settings, install, data};
    const auto before = snapshot(watched);
    server.clearRequests();
    QProcess again;
    again.setProcessEnvironment(environment);
    again.setStandardOutputFile(QProcess::nullDevice());
    const Finished second = runServing(again, parser.value(hostOption), hostArguments);
    const int written = changedFiles(before, snapshot(watched));
    const int recheckRequests = server.requests().size();
    const int recheckArchives = server.requestCount(GitLabServer::ArchiveRoute);

    // The same job by a shell script.
    server.clearRequests();
    QProcess script;
    script.setProcessEnvironment(environment);
    const Finished curl = runServing(script, QStringLiteral("bash"),
                                     {QStringLiteral("-c"), QString::fromLatin1(curlScript), QStringLiteral("curl-tar"),
                                      server.url().toString(), groupPath, QString::number(groupId),
                                      list.fileName(), work.filePath(QStringLiteral("curl")), QString::number(jobs)});
    if (curl.exitCode != 0) {
        err << "The curl | tar script failed:\n" << curl.errorOutput << Qt::endl;
        return 1;
    }
    const int curlConnections = server.connectionCount();
    const int curlRequests = server.requests().size();

    const double peakMb = measured(first.errorOutput, QStringLiteral("peak-rss-kb")).toDouble() / 1024;
    out << QStringLiteral("Examples: %1, delay per request: %2 ms, script jobs: %3\n").arg(count).arg(delay).arg(jobs);
    out << "First sync by the host with the plugin:\n";
    out << QStringLiteral("  time to the last manifest:  %1 ms\n").arg(syncMs);
    out << QStringLiteral("  requests:                   %1\n").arg(syncRequests);
    out << QStringLiteral("  connections opened:         %1\n").arg(syncConnections);
    out << QStringLiteral("  archives:                   %1\n").arg(syncArchives);
    out << QStringLiteral("  peak RSS of the host:       %1 MB\n").arg(peakMb, 0, 'f', 1);
    out << QStringLiteral("  longest GUI-thread stall:   %1 ms\n").arg(measured(first.errorOutput, QStringLiteral("longest-stall-ms")));
    out << QStringLiteral("  host notifications:         %1\n").arg(measured(first.errorOutput, QStringLiteral("notifications")));
    out << QStringLiteral("Same-day re-check: %1 requests, %2 archives, %3 files written%4\n")
               .arg(recheckRequests).arg(recheckArchives).arg(written)
               .arg(second.exitCode == 0 ? QString() : QStringLiteral(" (host exit code %1)").arg(second.exitCode));
    out << QStringLiteral("curl | tar, %1 jobs:            %2 ms (%3 requests, %4 connections)\n")
               .arg(jobs).arg(curl.elapsedMs).arg(curlRequests).arg(curlConnections);
    out << QStringLiteral("Host / script:                %1\n").arg(double(syncMs) / std::max<qint64>(1, curl.elapsedMs), 0, 'f', 2);
    out.flush();
    return 0;
}
