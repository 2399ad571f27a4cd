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
    void sslMessageOnlyForDifferentNumbers_data();
    void sslMessageOnlyForDifferentNumbers();
    void translationsFolder();
    void translationLocale();
};

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers_data()
{
    QTest::addColumn<long>("runtimeNumber");
    QTest::addColumn<QString>("runtimeString");
    QTest::addColumn<bool>("reported");

    QTest::newRow("same number, other text") << 0x30000020L << "OpenSSL 3.0.2 (Debian)" << false;
    QTest::newRow("other number") << 0x1010117fL << "OpenSSL 1.1.1w" << true;
}

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers()
{
    QFETCH(long, runtimeNumber);
    QFETCH(QString, runtimeString);
    QFETCH(bool, reported);

    MessageLog::start("tas.vantor.plugin.debug=true");
    MessageLog::clear();
    checkSslVersions(0x30000020L, "OpenSSL 3.0.2", runtimeNumber, runtimeString);
    const QString message = QString("SSL versions mismatch!\nCompiled version:\t \"OpenSSL 3.0.2\" \n"
                                    "System version:\t \"%1\"").arg(runtimeString);
    QCOMPARE(MessageLog::messages("tas.vantor.plugin"), reported ? QStringList(message) : QStringList());
}

void tst_PluginStartup::translationsFolder()
{
    QCOMPARE(Vantor::Internal::translationsFolder("/opt/ide/bin/"), "/opt/ide/share/qtcreator/translations");
    QCOMPARE(Vantor::Internal::translationsFolder("/opt/ide/libexec/qtcreator"),
             "/opt/ide/libexec/share/qtcreator/translations");
}

void tst_PluginStartup::translationLocale()
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("QtCreator.ini"), QSettings::IniFormat);
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale());
    QCOMPARE(Vantor::Internal::translationLocale(nullptr), QLocale());
    settings.setValue("General/OverrideLanguage", "pt_BR");
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale(QLocale::Portuguese, QLocale::Brazil));
}

QTEST_GUILESS_MAIN(tst_PluginStartup)

#include "tst_pluginstartup.moc"
