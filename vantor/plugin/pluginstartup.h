#pragma once

#include <QLocale>
#include <QString>

QT_BEGIN_NAMESPACE
class QSettings;
class QTranslator;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// The start-up steps of the plugin entry, kept apart so that they can be tested without the host.

// Writes the mismatch message when the SSL library found at run time is not the one the plugin
// was built against. Only the numbers count: the texts differ between builds of one version.
void checkSslVersions(long buildNumber, const QString &buildString,
                      long runtimeNumber, const QString &runtimeString);

// "<application folder>/../share/qtcreator/translations", cleaned.
QString translationsFolder(const QString &applicationDirPath);

// The language the user chose for the host ("General/OverrideLanguage"), else the default locale.
QLocale translationLocale(QSettings *settings);

// Loads the plugin's translation for the locale from the folder and installs it; a missing
// file is reported as a debug message and leaves the translator uninstalled.
void installTranslator(QTranslator *translator, const QLocale &locale, const QString &folder);

} // namespace Internal
} // namespace Vantor
