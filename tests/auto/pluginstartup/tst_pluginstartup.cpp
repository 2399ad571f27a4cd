#include "plugin/logging.h"
#include "plugin/pluginstartup.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace Vantor::Internal;

namespace {

QStringList capturedMessages;

void captureMessages(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    capturedMessages.append(QString::fromLatin1(context.category) + QLatin1String(": ") + message);
}

} // namespace

class tst_PluginStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sslMessageOnlyForDifferentNumbers_data();
    void sslMessageOnlyForDifferentNumbers();
    void translationsFolder_data();
    void translationsFolder();
    void translationLocale();
    void shippedTranslation();
    void missingTranslation();

private:
    QtMessageHandler m_previousHandler = nullptr;
};

void tst_PluginStartup::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tas.vantor.plugin.debug=true"));
}

void tst_PluginStartup::init()
{
    capturedMessages.clear();
    m_previousHandler = qInstallMessageHandler(captureMessages);
}

void tst_PluginStartup::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
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
        QCOMPARE(capturedMessages, QStringList());
        return;
    }
    QCOMPARE(capturedMessages.size(), 1);
    QCOMPARE(capturedMessages.first(),
             QStringLiteral("tas.vantor.plugin: SSL versions mismatch!\nCompiled version:\t \"%1\" "
                            "\nSystem version:\t \"%2\"").arg(buildString, runtimeString));
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

// The build puts the compiled translation where the host looks: <build>/share/qtcreator/translations.
void tst_PluginStartup::shippedTranslation()
{
    const QString folder = Vantor::Internal::translationsFolder(
                qEnvironmentVariable("VANTOR_BUILD_DIR") + QLatin1String("/bin"));
    QVERIFY2(QFile::exists(folder + QLatin1String("/Vantor-de.qm")), qPrintable(folder));

    QTranslator translator;
    QVERIFY(installTranslator(&translator, QLocale(QLocale::German, QLocale::Austria), folder));
    QCOMPARE(QCoreApplication::translate("Vantor::Internal::VantorPlugin", "Examples"),
             QStringLiteral("Beispiele"));
    QCOMPARE(QCoreApplication::translate("Vantor::Internal::Example", "example"),
             QStringLiteral("Beispiel"));
    QCOMPARE(capturedMessages, QStringList());
    QCoreApplication::removeTranslator(&translator);
}

void tst_PluginStartup::missingTranslation()
{
    QTemporaryDir folder;
    QTranslator translator;
    QVERIFY(!installTranslator(&translator, QLocale(QLocale::German), folder.path()));
    QCOMPARE(capturedMessages, QStringList(QStringLiteral(
                 "tas.vantor.plugin: Failed to load translator: \"%1\" \"Vantor\"").arg(folder.path())));
    QCOMPARE(QCoreApplication::translate("Vantor::Internal::VantorPlugin", "Examples"),
             QStringLiteral("Examples"));
}

QTEST_GUILESS_MAIN(tst_PluginStartup)

#include "tst_pluginstartup.moc"
