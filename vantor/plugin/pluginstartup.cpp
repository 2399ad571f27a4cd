#include "pluginstartup.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QTranslator>
#include <QVariant>

namespace Vantor {
namespace Internal {

void checkSslVersions(long buildNumber, const QString &buildString,
                      long runtimeNumber, const QString &runtimeString)
{
    if (buildNumber == runtimeNumber)
        return;
    qCDebug(pluginLog) << "SSL versions mismatch!\nCompiled version:\t" << buildString
                       << "\nSystem version:\t" << runtimeString;
}

QString translationsFolder(const QString &applicationDirPath)
{
    const QString shareFolder = QDir::cleanPath(applicationDirPath + QLatin1Char('/')
                                                + QLatin1String("../share/qtcreator"));
    return QDir::cleanPath(shareFolder + QLatin1String("/translations"));
}

QLocale translationLocale(QSettings *settings)
{
    const QVariant language = settings
            ? settings->value(QLatin1String("General/OverrideLanguage"), QVariant())
            : QVariant();
    return language.isValid() ? QLocale(language.toString()) : QLocale();
}

void installTranslator(QTranslator *translator, const QLocale &locale, const QString &folder)
{
    const QString fileName = QLatin1String("Vantor");
    if (!translator->load(locale, fileName, QLatin1String("-"), folder)) {
        qCDebug(pluginLog) << "Failed to load translator:" << folder << fileName;
        return;
    }
    QCoreApplication::installTranslator(translator);
}

} // namespace Internal
} // namespace Vantor
