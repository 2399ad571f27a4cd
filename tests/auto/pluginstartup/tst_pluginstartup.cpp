#include "plugin/pluginstartup.h"

#include <messagelog.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

using TestSupport::MessageLog;

// Loading the shipped translation, and the one message when there is none for the locale, are
// checked through the real plugin library by tst_e2e.
class tst_PluginStartup : public QObject
{
    Q_OBJECT

private slots:
    void sslMessageOnlyForDifferentNumbers()
    {
        MessageLog::start("tas.vantor.plugin.debug=true");
        MessageLog::clear();
        checkSslVersions(0x30000020L, "OpenSSL 3.0.2", 0x30000020L, "OpenSSL 3.0.2 (Debian)");
        QCOMPARE(MessageLog::messages("tas.vantor.plugin"), QStringList());
        checkSslVersions(0x30000020L, "OpenSSL 3.0.2", 0x1010117fL, "OpenSSL 1.1.1w");
        QCOMPARE(MessageLog::messages("tas.vantor.plugin"),
                 QStringList("SSL versions mismatch!\nCompiled version:\t \"OpenSSL 3.0.2\" \n"
                             "System version:\t \"OpenSSL 1.1.1w\""));
    }

    void translationFolderAndLocale()
    {
        QCOMPARE(Vantor::Internal::translationsFolder("/opt/ide/bin/"), "/opt/ide/share/qtcreator/translations");
        QCOMPARE(Vantor::Internal::translationsFolder("/opt/ide/libexec/qtcreator"),
                 "/opt/ide/libexec/share/qtcreator/translations");
        QTemporaryDir dir;
        QSettings settings(dir.filePath("QtCreator.ini"), QSettings::IniFormat);
        QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale());
        QCOMPARE(Vantor::Internal::translationLocale(nullptr), QLocale());
        settings.setValue("General/OverrideLanguage", "pt_BR");
        QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
};

QTEST_GUILESS_MAIN(tst_PluginStartup)

#include "tst_pluginstartup.moc"
