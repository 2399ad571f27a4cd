#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

QT_BEGIN_NAMESPACE
class QSignalSpy;
QT_END_NAMESPACE

// Set-up that the suites share.
namespace TestSupport {

// Organisation and application names as the host sets them before it loads plugins, and the
// host's settings in the test's own VANTOR_TEST_SETTINGS_PATH (the install-wide file in "install"
// below it), emptied first so that no earlier run counts. False outside CTest's environment.
bool useTestSettings();
// Replaces the "Vantor" group of the host's user settings: the repository entries, then `values`
// (keys within the group).
void writeVantorSettings(const QStringList &repositories, const QVariantMap &values = {});
// A port on 127.0.0.1 that nothing listens on.
quint16 unusedPort();

// The first example of the "examples-manifest.xml" in `folder`, as the host reads it; `module` is
// the root element's. Empty fields when the file cannot be read.
struct ManifestExample
{
    QString module, name, projectPath, imageUrl, description, tags, fileToOpen;
};
ManifestExample readManifest(const QString &folder);

// A project as the server lists it, with what makes it a valid example ("id", "name" "Example
// <path>", "path", "web_url"); `fields` added or replacing those.
QJsonObject projectJson(const QString &path, const QJsonObject &fields = {});

// The first argument of every signal the spy caught, as text.
QStringList texts(const QSignalSpy &spy);

} // namespace TestSupport
