// Serves every subfolder of a folder as a project of one group, like a GitLab server does.
//
//   gitlabserver --root <folder> --group <path> [--port N] [--token T] [--copies N]
//                [--tag-keys tag_list,topics] [--no-embedded-projects]
//
// Beside a project folder "<name>" the optional files "<name>.png" (its picture) and "<name>.json"
// (an object with any of "name", "path", "description", "tag_list" or "topics", "last_activity_at")
// describe it.

#include "gitlabserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_signalPipe[2] = {-1, -1};

// SIGINT and SIGTERM end the event loop, so that the git repositories in the temporary folder are removed.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0)
        return;
    auto notifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    const auto handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(s_signalPipe[0], &byte, 1);
    };
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
}

GitLabServer::ProjectOptions readOptions(const QDir &root, const QString &folder)
{
    GitLabServer::ProjectOptions options;
    options.name = folder;
    if (root.exists(folder + QStringLiteral(".png")))
        options.avatarFile = root.filePath(folder + QStringLiteral(".png"));
    QFile file(root.filePath(folder + QStringLiteral(".json")));
    if (!file.open(QIODevice::ReadOnly))
        return options;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    options.name = json.value(QStringLiteral("name")).toString(options.name);
    options.path = json.value(QStringLiteral("path")).toString();
    options.description = json.value(QStringLiteral("description")).toString();
    const QJsonValue tags = json.contains(QStringLiteral("topics")) ? json.value(QStringLiteral("topics"))
                                                                     : json.value(QStringLiteral("tag_list"));
    for (const QJsonValue &tag : tags.toArray())
        options.tags.append(tag.toString());
    options.lastActivity = QDateTime::fromString(json.value(QStringLiteral("last_activity_at")).toString(),
                                                 Qt::ISODateWithMs);
    if (options.lastActivity.isValid())
        options.commitDate = options.lastActivity;
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("gitlabserver"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves the subfolders of a folder as the projects of a group."));
    parser.addHelpOption();
    const QCommandLineOption rootOption(QStringLiteral("root"), QStringLiteral("Folder of project folders."),
                                        QStringLiteral("folder"));
    const QCommandLineOption groupOption(QStringLiteral("group"), QStringLiteral("Full path of the group."),
                                         QStringLiteral("path"), QStringLiteral("examples"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port (0: any free one)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption tokenOption(QStringLiteral("token"),
                                         QStringLiteral("Makes the group private: requests about it need the "
                                                        "header PRIVATE-TOKEN with this token."),
                                         QStringLiteral("token"));
    const QCommandLineOption copiesOption(QStringLiteral("copies"),
                                          QStringLiteral("Serves every project N times; copy k is named "
                                                         "\"<name> k\" with the path \"<path>-k\"."),
                                          QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption tagKeysOption(QStringLiteral("tag-keys"),
                                           QStringLiteral("Keys under which the projects' tags are sent, "
                                                          "separated by commas."),
                                           QStringLiteral("keys"), QStringLiteral("tag_list,topics"));
    const QCommandLineOption noEmbeddedOption(QStringLiteral("no-embedded-projects"),
                                              QStringLiteral("The group's details carry no \"projects\"; "
                                                             "only its paged projects list them."));
    parser.addOptions({rootOption, groupOption, portOption, tokenOption, copiesOption, tagKeysOption,
                       noEmbeddedOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QDir root(parser.value(rootOption));
    if (!parser.isSet(rootOption) || !root.exists()) {
        err << "No such folder: " << parser.value(rootOption) << Qt::endl;
        return 2;
    }

    bool copiesOk = false;
    const int copies = parser.value(copiesOption).toInt(&copiesOk);
    if (!copiesOk || copies < 1) {
        err << "Not a number of copies: " << parser.value(copiesOption) << Qt::endl;
        return 2;
    }

    GitLabServer server;
    const qint64 groupId = server.addGroupPath(parser.value(groupOption));
    if (!groupId) {
        err << "Not a group path: " << parser.value(groupOption) << Qt::endl;
        return 2;
    }
    server.setGroupToken(groupId, parser.value(tokenOption).toUtf8());
    server.setTagKeys(parser.value(tagKeysOption).split(QLatin1Char(','), Qt::SkipEmptyParts));
    server.setEmbedProjects(!parser.isSet(noEmbeddedOption));
    // The copies come after all originals, which so keep the ids they have without copies.
    QList<QPair<qint64, GitLabServer::ProjectOptions>> originals;
    for (const QString &folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const GitLabServer::ProjectOptions options = readOptions(root, folder);
        const qint64 id = server.addProject(groupId, root.filePath(folder), options);
        if (!id) {
            err << "Cannot serve " << folder << ": " << server.errorString() << Qt::endl;
            return 1;
        }
        originals.append({id, options});
    }
    for (int copy = 2; copy <= copies; ++copy) {
        for (const auto &[id, original] : originals) {
            GitLabServer::ProjectOptions options = original;
            const QJsonObject json = server.projectJson(id);
            options.name = json.value(QStringLiteral("name")).toString() + QStringLiteral(" %1").arg(copy);
            options.path = json.value(QStringLiteral("path")).toString() + QStringLiteral("-%1").arg(copy);
            if (!server.addProjectCopy(id, groupId, options)) {
                err << "Cannot serve a copy of " << options.name << ": " << server.errorString() << Qt::endl;
                return 1;
            }
        }
    }
    if (!server.listen(quint16(parser.value(portOption).toUInt()))) {
        err << "Cannot listen: " << server.errorString() << Qt::endl;
        return 1;
    }
    quitOnSignals(app);
    out << "Listening on " << server.url().toString() << Qt::endl;
    out << "Repository URL: " << server.groupUrl(parser.value(groupOption)).toString() << Qt::endl;
    return app.exec();
}
