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
    void initTestCase();
    void sslMessageOnlyForDifferentNumbers_data();
    void sslMessageOnlyForDifferentNumbers();
    void translationsFolder_data();
    void translationsFolder();
    void translationLocale();
};

void tst_PluginStartup::initTestCase()
{
    MessageLog::start("tas.vantor.plugin.debug=true");
}

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers_data()
{
    QTest::addColumn<long>("buildNumber");
    QTest::addColumn<QString>("buildString");
    QTest::addColumn<long>("runtimeNumber");
    QTest::addColumn<QString>("runtimeString");
    QTest::addColumn<bool>("reported");

    QTest::newRow("same") << 0x30000020L << "OpenSSL 3.0.2" << 0x30000020L << "OpenSSL 3.0.2" << false;
    QTest::newRow("same number, other text")
        << 0x30000020L << "OpenSSL 3.0.2 15 Mar 2022" << 0x30000020L << "OpenSSL 3.0.2 (Debian)" << false;
    QTest::newRow("other number, same text") << 0x30000020L << "OpenSSL 3" << 0x30000070L << "OpenSSL 3" << true;
    QTest::newRow("older at run time") << 0x30000070L << "OpenSSL 3.0.7" << 0x1010117fL << "OpenSSL 1.1.1w" << true;
}

void tst_PluginStartup::sslMessageOnlyForDifferentNumbers()
{
    QFETCH(long, buildNumber);
    QFETCH(QString, buildString);
    QFETCH(long, runtimeNumber);
    QFETCH(QString, runtimeString);
    QFETCH(bool, reported);

    MessageLog::clear();
    checkSslVersions(buildNumber, buildString, runtimeNumber, runtimeString);
    const QString message = QString("SSL versions mismatch!\nCompiled version:\t \"%1\" \nSystem version:\t \"%2\"")
                                .arg(buildString, runtimeString);
    QCOMPARE(MessageLog::messages("tas.vantor.plugin"), reported ? QStringList(message) : QStringList());
}

void tst_PluginStartup::translationsFolder_data()
{
    QTest::addColumn<QString>("applicationFolder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("bin") << "/opt/ide/bin" << "/opt/ide/share/qtcreator/translations";
    QTest::newRow("trailing slash") << "/opt/ide/bin/" << "/opt/ide/share/qtcreator/translations";
    QTest::newRow("libexec") << "/opt/ide/libexec/qtcreator" << "/opt/ide/libexec/share/qtcreator/translations";
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
    QSettings settings(dir.filePath("QtCreator.ini"), QSettings::IniFormat);
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale());
    QCOMPARE(Vantor::Internal::translationLocale(nullptr), QLocale());

    settings.setValue("General/OverrideLanguage", "de");
    QCOMPARE(Vantor::Internal::translationLocale(&settings), QLocale(QLocale::German));
    settings.setValue("General/OverrideLanguage", "pt_BR");
    QCOMPARE(Vantor::Internal::translationLocale(&settings).country(), QLocale::Brazil);
}

QTEST_GUILESS_MAIN(tst_PluginStartup)

#include "tst_pluginstartup.moc"
