#include "testsupport.h"

#include "testprojects.h"

#include <coreplugin/icore.h>

#include <QCoreApplication>
#include <QDir>
#include <QDomDocument>
#include <QSignalSpy>
#include <QTcpServer>

namespace TestSupport {

bool useTestSettings()
{
    QCoreApplication::setOrganizationName(QStringLiteral("QtProject"));
    QCoreApplication::setApplicationName(QStringLiteral("QtCreator"));
    const QString path = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH");
    if (path.isEmpty() || !QDir(path).removeRecursively() || !QDir().mkpath(path))
        return false;
    Core::ICore::setSettingsPaths(path, path + QStringLiteral("/install"));
    return true;
}

void writeVantorSettings(const QStringList &repositories, const QVariantMap &values)
{
    QSettings *settings = Core::ICore::settings();
    settings->remove(QStringLiteral("Vantor"));
    settings->beginGroup(QStringLiteral("Vantor"));
    settings->setValue(QStringLiteral("Repositories"), repositories);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings->setValue(it.key(), it.value());
    settings->endGroup();
    settings->sync();
}

quint16 unusedPort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost) ? server.serverPort() : 0;
}

ManifestExample readManifest(const QString &folder)
{
    QDomDocument document;
    if (!document.setContent(TestProjects::readFile(folder + QStringLiteral("/examples-manifest.xml"))))
        return {};
    const QDomElement example = document.elementsByTagName(QStringLiteral("example")).at(0).toElement();
    const auto text = [&example](const char *name) {
        return example.firstChildElement(QLatin1String(name)).text();
    };
    return {document.documentElement().attribute(QStringLiteral("module")),
            example.attribute(QStringLiteral("name")), example.attribute(QStringLiteral("projectPath")),
            example.attribute(QStringLiteral("imageUrl")), text("description"), text("tags"),
            text("fileToOpen")};
}

QJsonObject projectJson(const QString &path, const QJsonObject &fields)
{
    QJsonObject json{{QStringLiteral("id"), 42}, {QStringLiteral("name"), QStringLiteral("Example ") + path},
                     {QStringLiteral("path"), path},
                     {QStringLiteral("web_url"), QStringLiteral("http://127.0.0.1/examples/") + path}};
    for (auto it = fields.begin(); it != fields.end(); ++it)
        json.insert(it.key(), it.value());
    return json;
}

QStringList texts(const QSignalSpy &spy)
{
    QStringList result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.value(0).toString());
    return result;
}

} // namespace TestSupport
