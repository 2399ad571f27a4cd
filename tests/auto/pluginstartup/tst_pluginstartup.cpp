#include "plugin/logging.h"
#include "plugin/pluginstartup.h"

#include <messagelog.h>

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

namespace {

// Only the plugin's own category is enabled.
QStringList pluginMessages()
{
    return MessageLog::messages("tas.vantor.plugin");
}

} // namespace

class tst_PluginStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void sslMessageOnlyForDifferentNumbers_data();
    void sslMessageOnlyForDifferentNumbers();
    void translationsFolder_data();
    void translationsFolder();
    void translationLocale();
    void translation_data();
    void translation();
};

void tst_PluginStartup::initTestCase()
{
    MessageLog::start(QStringLiteral("tas.vantor.plugin.debug=true"));
}

void tst_PluginStartup::init()
{
    MessageLog::clear();
}

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers_data()
{
    QTest::addColumn<long>("buildNumber");
    QTest::addColumn<QString>("buildString");
    QTest::addColumn<long>("runtimeNumber");
    QTest::addColumn<QString>("runtimeString");
    QTest::addColumn<bool>("reported");

    QTest::newRow("same") << 0x30000020L << "OpenSSL 3.0.2" << 0x30000020L << "OpenSSL 3.0.2"
                          << false;
    QTest::newRow("same number, other text")
            << 0x30000020L << "OpenSSL 3.0.2 15 Mar 2022" << 0x30000020L << "OpenSSL 3.0.2 (Debian)"
            << false;
    QTest::newRow("other number, same text")
            << 0x30000020L << "OpenSSL 3" << 0x30000070L << "OpenSSL 3" << true;
    QTest::newRow("older at run time")
            << 0x30000070L << "OpenSSL 3.0.7" << 0x1010117fL << "OpenSSL 1.1.1w" << true;
}

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers()
{
    QFETCH(long, buildNumber);
    QFETCH(QString, buildString);
    QFETCH(long, runtimeNumber);
    QFETCH(QString, runtimeString);
    QFETCH(bool, reported);

    checkSslVersions(buildNumber, buildString, runtimeNumber, runtimeString);
    if (!reported) {
        QCOMPARE(pluginMessages(), QStringList());
        return;
    }
    QCOMPARE(pluginMessages(), QStringList(QStringLiteral("SSL versions mismatch!\nCompiled version:\t \"%1\" "
                                                          "\nSystem version:\t \"%2\"").arg(buildString, runtimeString)));
}

void tst_PluginStartup::translationsFolder_data()
{
    QTest::addColumn<QString>("applicationFolder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bin") << "/opt/ide/bin" << "/opt/ide/share/qtcreator/translations";
    QTest::newRow("trailing slash") << "/opt/ide/bin/" << "/opt/ide/share/qtcreator/translations";
    QTest::newRow("libexec") << "/opt/ide/libexec/qtcreator"
                             << "/opt/ide/libexec/share/qtcreator/translations";
}

void tst_PluginStartup::translationsFolder()
{
    QFETCH(QString, applicationFolder);
    QFETCH(QString, expected);
    QCOMPARE(Vantor::Internal::translationsFolder(applicationFolder), expected);
}

void tst_PluginStartup::translationLocale()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("QtCreator.ini")), QSettings::IniFormat);
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale());
    QCOMPARE(Vantor::Internal::translationLocale(nullptr), QLocale());

    settings.setValue(QStringLiteral("General/OverrideLanguage"), QStringLiteral("de"));
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale(QLocale::German));
    settings.setValue(QStringLiteral("General/OverrideLanguage"), QStringLiteral("pt_BR"));
    QCOMPARE(Vantor::Internal::translationLocale(&settings).country(), QLocale::Brazil);
}

void tst_PluginStartup::translation_data()
{
    QTest::addColumn<bool>("shipped");
    QTest::newRow("shipped") << true;
    QTest::newRow("missing") << false;
}

// The build puts the compiled translation where the host looks: <build>/share/qtcreator/translations.
// Without one, start-up goes on untranslated with one message naming the folder.
void tst_PluginStartup::translation()
{
    QFETCH(bool, shipped);
    QTemporaryDir empty;
    const QString folder = shipped ? Vantor::Internal::translationsFolder(
                                         qEnvironmentVariable("VANTOR_BUILD_DIR") + "/bin")
                                   : empty.path();
    QVERIFY2(QFile::exists(folder + "/Vantor-de.qm") == shipped, qPrintable(folder));

    QTranslator translator;
    QCOMPARE(installTranslator(&translator, QLocale(QLocale::German, QLocale::Austria), folder), shipped);
    QCOMPARE(QCoreApplication::translate("Vantor::Internal::VantorPlugin", "Examples"),
             QString(shipped ? "Beispiele" : "Examples"));
    QCOMPARE(QCoreApplication::translate("Vantor::Internal::Example", "example"),
             QString(shipped ? "Beispiel" : "example"));
    const QString failed = QString("Failed to load translator: \"%1\" \"Vantor\"").arg(folder);
    QCOMPARE(pluginMessages(), shipped ? QStringList() : QStringList(failed));
    QCoreApplication::removeTranslator(&translator);
}

QTEST_GUILESS_MAIN(tst_PluginStartup)

#include "tst_pluginstartup.moc"
