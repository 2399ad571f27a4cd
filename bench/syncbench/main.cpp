// Measures a full first sync of N examples by the host with the plugin, a same-day re-check, and the
// same job done by a plain "curl | tar" script with parallel jobs, all against the bundled server
// with a delay per request; beyond 100 examples the group's projects come page by page, for the
// plugin and the script alike. Then a sync of a few large archives of incompressible content against
// the same script, and a gzip bomb.
//
//   syncbench [--examples N] [--delay ms] [--jobs N] [--large N] [--large-mib N] [--host program]
//             [--pluginpath folder] [--keep]

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
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <limits>

namespace {

QTextStream out(stdout);
QTextStream err(stderr);

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

double peakMb(const Finished &host)
{
    return measured(host.errorOutput, QStringLiteral("peak-rss-kb")).toDouble() / 1024;
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

struct Options
{
    int delay = 50;
    int jobs = 6;
    QString host;
    QString pluginPath;
};

// One group of the server and its projects, as the plugin and the script see them.
struct Group
{
    QString path;
    qint64 id = 0;
    QList<qint64> projects;
};

// The folders and settings of one run of the host, as an installation provides them.
class HostRun
{
public:
    HostRun(const QString &root, const Group &group, const GitLabServer &server, const Options &options)
        : m_root(root)
        , m_options(options)
    {
        for (const QString &folder : {settings(), install() + QStringLiteral("/QtProject"), data(),
                                      root + QStringLiteral("/tmp"), root + QStringLiteral("/runtime"),
                                      curlFolder()})
            QDir().mkpath(folder);
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile ini(install() + QStringLiteral("/QtProject/QtCreator.ini"));
        if (ini.open(QIODevice::WriteOnly))
            ini.write(QStringLiteral("[Help]\nInstalledExamples=bench\n\n[Vantor]\nRepositories=\"bench|%1|\"\n")
                          .arg(server.groupUrl(group.path).toString())
                          .toUtf8());
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            m_environment.remove(QLatin1String(name));
        m_environment.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));
        m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_environment.insert(QStringLiteral("XDG_DATA_HOME"), data());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root + QStringLiteral("/runtime"));
        m_environment.insert(QStringLiteral("TMPDIR"), root + QStringLiteral("/tmp"));
        // Messages carry the wall-clock time, in milliseconds since the epoch.
        m_environment.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{time yyyy-MM-ddTHH:mm:ss.zzz} %{message}"));

        QFile list(listFile());
        if (list.open(QIODevice::WriteOnly)) {
            for (const qint64 id : group.projects)
                list.write(QStringLiteral("%1 %2 %3\n")
                               .arg(id)
                               .arg(server.url().toString(),
                                    server.projectJson(id).value(QStringLiteral("avatar_url")).toString())
                               .toUtf8());
        }
    }

    QString settings() const { return m_root + QStringLiteral("/settings"); }
    QString install() const { return m_root + QStringLiteral("/install"); }
    QString data() const { return m_root + QStringLiteral("/data"); }
    QString curlFolder() const { return m_root + QStringLiteral("/curl"); }
    QString listFile() const { return m_root + QStringLiteral("/projects.txt"); }

    // The host quits once the plugin has announced nothing for `idle` seconds.
    Finished host(const QString &idle)
    {
        QStringList arguments{QStringLiteral("-settingspath"), settings(), QStringLiteral("-installsettingspath"),
                              install(), QStringLiteral("--list-examples"), QStringLiteral("--quit-when-idle"),
                              idle, QStringLiteral("--timeout"), QStringLiteral("300"),
                              QStringLiteral("--measure")};
        if (!m_options.pluginPath.isEmpty())
            arguments << QStringLiteral("-pluginpath") << m_options.pluginPath;
        QProcess host;
        host.setProcessEnvironment(m_environment);
        host.setStandardOutputFile(QProcess::nullDevice());
        m_started = QDateTime::currentMSecsSinceEpoch();
        const Finished finished = runServing(host, m_options.host, arguments);
        QFile log(m_root + QStringLiteral("/host-%1.log").arg(++m_runs));
        if (log.open(QIODevice::WriteOnly))
            log.write(finished.errorOutput);
        return finished;
    }

    Finished script(const GitLabServer &server, const Group &group)
    {
        QProcess script;
        script.setProcessEnvironment(m_environment);
        return runServing(script, QStringLiteral("bash"),
                          {QStringLiteral("-c"), QString::fromLatin1(curlScript), QStringLiteral("curl-tar"),
                           server.url().toString(), group.path, QString::number(group.id), listFile(),
                           curlFolder(), QString::number(m_options.jobs)});
    }

    // Wall-clock time of the host's start, in milliseconds since the epoch.
    qint64 started() const { return m_started; }

    // Last-modified times of the manifests written, by example folder.
    QHash<QString, qint64> manifests() const
    {
        QHash<QString, qint64> found;
        QDirIterator it(data(), {QStringLiteral("examples-manifest.xml")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            found.insert(info.dir().dirName(), info.lastModified().toMSecsSinceEpoch());
        }
        return found;
    }

private:
    QString m_root;
    Options m_options;
    QProcessEnvironment m_environment;
    qint64 m_started = 0;
    int m_runs = 0;
};

qint64 percentile(QList<qint64> values, int percent)
{
    if (values.isEmpty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(std::min<int>(values.size() - 1, values.size() * percent / 100));
}

// Where the time of a sync went, from the server's log: how many requests the plugin kept in flight,
// how long a kept connection waited for its next request after an answer, and how long an archive's
// manifest came after its last byte left. The host started at `hostStart` on the server's clock and
// at `hostStartWall` on the wall clock of the manifests' times.
void printFlow(const GitLabServer &server, const QHash<QString, qint64> &manifests, qint64 hostStart,
               qint64 hostStartWall, qint64 syncMs, int delay)
{
    const QList<HttpRequest> requests = server.requests();
    // The group search, the group and its project pages come one after another.
    const QRegularExpression serial(GitLabServer::SearchRoute + QLatin1Char('|') + GitLabServer::GroupRoute
                                    + QLatin1Char('|') + GitLabServer::ProjectsRoute);
    const QRegularExpression archiveId(QStringLiteral("/projects/(\\d+)/repository/archive"));
    int serialRequests = 0;
    qint64 begin = std::numeric_limits<qint64>::max();
    qint64 end = 0;
    qint64 busy = 0;
    QHash<int, QList<HttpRequest>> byConnection;
    QList<qint64> toManifest;
    qint64 firstRequest = -1;
    for (const HttpRequest &request : requests) {
        if (serial.match(QString::fromLatin1(request.path)).hasMatch()) {
            if (firstRequest < 0)
                firstRequest = request.receivedAt;
            ++serialRequests;
            continue;
        }
        begin = std::min(begin, request.receivedAt);
        end = std::max(end, request.answeredAt);
        busy += request.answeredAt - request.receivedAt;
        byConnection[request.connection].append(request);
        const QRegularExpressionMatch archive = archiveId.match(QString::fromLatin1(request.path));
        if (archive.hasMatch()) {
            const QString path = server.projectJson(archive.captured(1).toLongLong()).value(QStringLiteral("path")).toString();
            if (manifests.contains(path))
                toManifest.append(manifests.value(path) - hostStartWall + hostStart - request.answeredAt);
        }
    }
    QList<qint64> waits;
    for (const QList<HttpRequest> &connection : qAsConst(byConnection)) {
        for (int i = 1; i < connection.size(); ++i)
            waits.append(connection.at(i).receivedAt - connection.at(i - 1).answeredAt);
    }
    const int inFlight = server.maxInFlight();
    const qint64 limit = (requests.size() - serialRequests) * qint64(delay) / std::max(1, inFlight)
                         + serialRequests * qint64(delay);
    out << QStringLiteral("  round-trip limit:           %1 ms (%2 requests x %3 ms / %4 in flight + %5 x %3 ms)\n")
               .arg(limit).arg(requests.size() - serialRequests).arg(delay).arg(inFlight).arg(serialRequests);
    out << QStringLiteral("  last manifest / limit:      %1\n").arg(double(syncMs) / std::max<qint64>(1, limit), 0, 'f', 2);
    out << QStringLiteral("  first request, last answer: %1 ms, %2 ms after the start\n")
               .arg(firstRequest - hostStart).arg(end - hostStart);
    out << QStringLiteral("  requests in flight:         %1 on average, %2 at most\n")
               .arg(double(busy) / std::max<qint64>(1, end - begin), 0, 'f', 1).arg(inFlight);
    out << QStringLiteral("  kept connection idle:       %1 ms median, %2 ms at the 90th percentile\n")
               .arg(percentile(waits, 50)).arg(percentile(waits, 90));
    out << QStringLiteral("  archive sent to manifest:   %1 ms median, %2 ms at the 90th percentile\n")
               .arg(percentile(toManifest, 50)).arg(percentile(toManifest, 90));
}

// When the first message that contains `text` was written, in milliseconds since the epoch; -1 when
// none was.
qint64 messageTime(const QByteArray &errorOutput, const QString &text)
{
    for (const QString &line : QString::fromUtf8(errorOutput).split(QLatin1Char('\n'))) {
        if (line.contains(text))
            return QDateTime::fromString(line.section(QLatin1Char(' '), 0, 0), Qt::ISODateWithMs).toMSecsSinceEpoch();
    }
    return -1;
}

// A project folder with a picture and one file of `mib` MiB of random bytes, packed by tar.
QByteArray largeArchive(const QString &work, int mib)
{
    const QString folder = work + QStringLiteral("/large/example");
    QDir().mkpath(folder);
    QFile pro(folder + QStringLiteral("/large.pro"));
    QFile main(folder + QStringLiteral("/main.cpp"));
    QFile payload(folder + QStringLiteral("/payload.bin"));
    if (!pro.open(QIODevice::WriteOnly) || !main.open(QIODevice::WriteOnly) || !payload.open(QIODevice::WriteOnly))
        return {};
    pro.write("TEMPLATE = app\nSOURCES += main.cpp\n");
    main.write("int main() { return 0; }\n");
    QVector<quint32> block(1 << 18); // 1 MiB
    for (int i = 0; i < mib; ++i) {
        QRandomGenerator::global()->fillRange(block.data(), block.size());
        payload.write(reinterpret_cast<const char *>(block.constData()), block.size() * 4);
    }
    payload.close();
    const QString archive = work + QStringLiteral("/large.tar.gz");
    if (QProcess::execute(QStringLiteral("tar"), {QStringLiteral("-czf"), archive, QStringLiteral("-C"),
                                                  work + QStringLiteral("/large"), QStringLiteral("example")}) != 0)
        return {};
    QDir(work + QStringLiteral("/large")).removeRecursively();
    QFile file(archive);
    const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    file.remove();
    return bytes;
}

// 2 GiB of zeros after a project file, under a header that claims one byte, so that only reading
// finds out; made by the test suite's tool for hostile archives.
QByteArray bombArchive(const QString &work)
{
    const QString archive = work + QStringLiteral("/bomb.tar.gz");
    if (QProcess::execute(QStringLiteral("python3"),
                          {QStringLiteral(VANTOR_SOURCE_DIR "/tests/auto/installation/hostilearchive.py"), archive,
                           QStringLiteral("f top/bomb.pro"), QStringLiteral("y top/zeros=%1").arg(qint64(2) << 30)})
        != 0)
        return {};
    QFile file(archive);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times a first sync of the plugin against a plain curl | tar script."));
    parser.addHelpOption();
    const QCommandLineOption examplesOption(QStringLiteral("examples"), QStringLiteral("Number of examples, up to 10 000 (beyond 100 the plugin reads the group's projects page by page)."),
                                            QStringLiteral("N"), QStringLiteral("100"));
    const QCommandLineOption delayOption(QStringLiteral("delay"), QStringLiteral("Delay per request."),
                                         QStringLiteral("ms"), QStringLiteral("50"));
    const QCommandLineOption jobsOption(QStringLiteral("jobs"), QStringLiteral("Parallel jobs of the script."),
                                        QStringLiteral("N"), QStringLiteral("6"));
    const QCommandLineOption largeOption(QStringLiteral("large"),
                                         QStringLiteral("Number of large archives, 0 for none."),
                                         QStringLiteral("N"), QStringLiteral("6"));
    const QCommandLineOption largeSizeOption(QStringLiteral("large-mib"),
                                             QStringLiteral("Size of a large archive."),
                                             QStringLiteral("MiB"), QStringLiteral("200"));
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
    parser.addOptions({examplesOption, delayOption, jobsOption, largeOption, largeSizeOption, hostOption,
                       pluginOption, idleOption, keepOption});
    parser.process(app);
    const int count = parser.value(examplesOption).toInt();
    const int largeCount = parser.value(largeOption).toInt();
    const int largeMib = parser.value(largeSizeOption).toInt();
    Options options;
    options.delay = parser.value(delayOption).toInt();
    options.jobs = parser.value(jobsOption).toInt();
    options.host = parser.value(hostOption);
    const QString idle = parser.value(idleOption);
    // Nothing is announced while large archives are on their way.
    const QString largeIdle = QString::number(std::max(15, idle.toInt()));
    options.pluginPath = parser.value(pluginOption);

    QTemporaryDir work;
    work.setAutoRemove(!parser.isSet(keepOption));
    if (parser.isSet(keepOption))
        err << "Work folder: " << work.path() << Qt::endl;
    const QList<Bundled> bundled = bundledProjects(QStringLiteral(VANTOR_SOURCE_DIR "/demo/group"));
    // Beyond 100, the group's answer holds a full list and the plugin reads the projects page by page.
    if (!work.isValid() || bundled.isEmpty() || count < 1 || count > 10000 || largeCount < 0 || largeCount > 100
        || largeMib < 1) {
        err << "Needs a work folder, the bundled projects, 1 to 10 000 examples and 0 to 100 large ones" << Qt::endl;
        return 2;
    }

    GitLabServer server;
    // Started with the server's own clock, so that its log and the files written can be compared.
    QElapsedTimer serverClock;
    serverClock.start();
    const qint64 serverStarted = QDateTime::currentMSecsSinceEpoch();
    if (!server.listen()) {
        err << "Cannot start: " << server.errorString() << Qt::endl;
        return 1;
    }
    // Each project is one of the bundled ones under a new name; `archive`, when given, is served instead of its own.
    const auto addGroup = [&](const QString &path, int projects, const QString &prefix, const QByteArray &archive) {
        Group group{path, server.addGroupPath(path), {}};
        for (int i = 0; i < projects; ++i) {
            GitLabServer::ProjectOptions project;
            project.name = QStringLiteral("%1 %2").arg(prefix).arg(i + 1, 4, 10, QLatin1Char('0'));
            project.path = QStringLiteral("%1-%2").arg(prefix.toLower()).arg(i + 1, 4, 10, QLatin1Char('0'));
            project.avatarFile = bundled.at(i % bundled.size()).picture;
            // Later ones share the first ones' commits: a thousand projects start in seconds.
            const qint64 id = i < bundled.size()
                                  ? server.addProject(group.id, bundled.at(i).folder, project)
                                  : server.addProjectCopy(group.projects.at(i % bundled.size()), group.id, project);
            if (!id)
                return Group();
            group.projects.append(id);
            if (!archive.isEmpty())
                server.setBehaviour(GitLabServer::archiveRoute(id),
                                    GitLabBehaviour::reply(200, archive, "application/octet-stream").after(options.delay));
        }
        return group;
    };
    const Group examples = addGroup(QStringLiteral("norvel/examples"), count, QStringLiteral("Example"), {});
    Group large;
    Group bomb;
    qint64 bombSize = 0;
    if (largeCount > 0) {
        const QByteArray archive = largeArchive(work.path(), largeMib);
        const QByteArray bombBytes = bombArchive(work.path());
        bombSize = bombBytes.size();
        if (archive.isEmpty() || bombBytes.isEmpty()) {
            err << "Cannot make the large archive or the bomb" << Qt::endl;
            return 1;
        }
        large = addGroup(QStringLiteral("norvel/large"), largeCount, QStringLiteral("Large"), archive);
        bomb = addGroup(QStringLiteral("norvel/bomb"), 1, QStringLiteral("Bomb"), bombBytes);
    }
    if (examples.id == 0 || (largeCount > 0 && (large.id == 0 || bomb.id == 0))) {
        err << "Cannot serve a project: " << server.errorString() << Qt::endl;
        return 1;
    }
    server.setBehaviour(QStringLiteral("."), GitLabBehaviour::delay(options.delay));

    // First sync.
    HostRun run(work.filePath(QStringLiteral("examples")), examples, server, options);
    server.clearRequests();
    server.resetMaxInFlight();
    const qint64 hostStart = serverClock.elapsed();
    const Finished first = run.host(idle);
    const QHash<QString, qint64> manifests = run.manifests();
    if (first.exitCode != 0 || manifests.size() != count) {
        err << "The host ended with " << first.exitCode << " and " << manifests.size() << " of " << count
            << " manifests:\n" << first.errorOutput << Qt::endl;
        return 1;
    }
    const auto lastOf = [](const QHash<QString, qint64> &times) {
        return times.isEmpty() ? 0 : *std::max_element(times.cbegin(), times.cend());
    };
    const qint64 syncMs = lastOf(manifests) - run.started();
    const int syncRequests = server.requests().size();
    const int syncConnections = server.connectionCount();
    const int syncArchives = server.requestCount(GitLabServer::ArchiveRoute);
    out << QStringLiteral("Examples: %1, delay per request: %2 ms, script jobs: %3\n").arg(count).arg(options.delay).arg(options.jobs);
    out << "First sync by the host with the plugin:\n";
    out << QStringLiteral("  time to the last manifest:  %1 ms\n").arg(syncMs);
    printFlow(server, manifests, hostStart, run.started(), syncMs, options.delay);
    out << QStringLiteral("  requests:                   %1\n").arg(syncRequests);
    out << QStringLiteral("  connections opened:         %1\n").arg(syncConnections);
    out << QStringLiteral("  archives:                   %1\n").arg(syncArchives);
    out << QStringLiteral("  peak RSS of the host:       %1 MB\n").arg(peakMb(first), 0, 'f', 1);
    out << QStringLiteral("  longest GUI-thread stall:   %1 ms (%2 ms on a core, %3 ms waiting for one)\n")
               .arg(measured(first.errorOutput, QStringLiteral("longest-stall-ms")),
                    measured(first.errorOutput, QStringLiteral("stall-running-ms")),
                    measured(first.errorOutput, QStringLiteral("stall-waiting-ms")));
    out << QStringLiteral("  longest re-reading by host: %1 ms (of its examples, at a notification)\n")
               .arg(measured(first.errorOutput, QStringLiteral("longest-reread-ms")));
    out << QStringLiteral("  host notifications:         %1\n").arg(measured(first.errorOutput, QStringLiteral("notifications")));
    out.flush();

    // Same-day re-check.
    const QStringList watched{run.settings(), run.install(), run.data()};
    const auto before = snapshot(watched);
    server.clearRequests();
    const Finished second = run.host(idle);
    const int written = changedFiles(before, snapshot(watched));
    out << QStringLiteral("Same-day re-check: %1 requests, %2 archives, %3 files written%4\n")
               .arg(server.requests().size()).arg(server.requestCount(GitLabServer::ArchiveRoute)).arg(written)
               .arg(second.exitCode == 0 ? QString() : QStringLiteral(" (host exit code %1)").arg(second.exitCode));

    // The same job by a shell script.
    server.clearRequests();
    const Finished curl = run.script(server, examples);
    if (curl.exitCode != 0) {
        err << "The curl | tar script failed:\n" << curl.errorOutput << Qt::endl;
        return 1;
    }
    out << QStringLiteral("curl | tar, %1 jobs:            %2 ms (%3 requests, %4 connections)\n")
               .arg(options.jobs).arg(curl.elapsedMs).arg(server.requests().size()).arg(server.connectionCount());
    out << QStringLiteral("Host / script:                %1\n").arg(double(syncMs) / std::max<qint64>(1, curl.elapsedMs), 0, 'f', 2);
    out.flush();
    if (largeCount == 0)
        return 0;

    // Large archives: memory stays flat and the time near the script's.
    HostRun largeRun(work.filePath(QStringLiteral("large")), large, server, options);
    const Finished largeSync = largeRun.host(largeIdle);
    const QHash<QString, qint64> largeManifests = largeRun.manifests();
    QDir(largeRun.data()).removeRecursively(); // room on the disk for the script's copy
    const Finished largeCurl = largeRun.script(server, large);
    if (largeSync.exitCode != 0 || largeManifests.size() != largeCount || largeCurl.exitCode != 0) {
        err << "The large archives failed: host " << largeSync.exitCode << " with " << largeManifests.size()
            << " manifests, script " << largeCurl.exitCode << ":\n"
            << largeSync.errorOutput << largeCurl.errorOutput << Qt::endl;
        return 1;
    }
    QDir(largeRun.curlFolder()).removeRecursively();
    const qint64 largeMs = lastOf(largeManifests) - largeRun.started();
    out << QStringLiteral("Large archives: %1 of %2 MiB, incompressible (one archive made by tar, served under %1 names):\n")
               .arg(largeCount).arg(largeMib);
    out << QStringLiteral("  time to the last manifest:  %1 ms\n").arg(largeMs);
    out << QStringLiteral("  peak RSS of the host:       %1 MB\n").arg(peakMb(largeSync), 0, 'f', 1);
    out << QStringLiteral("  curl | tar, %1 jobs:          %2 ms\n").arg(options.jobs).arg(largeCurl.elapsedMs);
    out << QStringLiteral("  host / script:              %1\n").arg(double(largeMs) / std::max<qint64>(1, largeCurl.elapsedMs), 0, 'f', 2);
    out.flush();

    // A gzip bomb: refused by reading, before anything of it reaches the disk.
    HostRun bombRun(work.filePath(QStringLiteral("bomb")), bomb, server, options);
    server.clearRequests();
    const Finished bombSync = bombRun.host(largeIdle);
    qint64 bombSent = -1;
    for (const HttpRequest &request : server.requests()) {
        if (QRegularExpression(GitLabServer::ArchiveRoute).match(QString::fromLatin1(request.path)).hasMatch())
            bombSent = serverStarted + request.answeredAt;
    }
    const qint64 refusedAt = messageTime(bombSync.errorOutput, QStringLiteral("larger than"));
    int bombFiles = 0;
    QDirIterator left(bombRun.data(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (left.hasNext())
        bombFiles += left.next().contains(QLatin1String("/bench/"));
    out << QStringLiteral("Gzip bomb, 2 GiB of zeros under a header of 1 byte, in a %1 MiB archive: ")
               .arg(double(bombSize) / (1 << 20), 0, 'f', 1);
    if (refusedAt < 0)
        out << QStringLiteral("not refused (host exit code %1)\n").arg(bombSync.exitCode);
    else
        out << QStringLiteral("refused %1 ms after it was sent, %2 files of the repository left, peak RSS %3 MB\n")
                   .arg(refusedAt - bombSent).arg(bombFiles).arg(peakMb(bombSync), 0, 'f', 1);
    out.flush();
    return 0;
}
