#include "testlog.h"

#include <extensionsystem/iplugin.h>
#include <extensionsystem/pluginmanager.h>
#include <extensionsystem/pluginspec.h>

#include <QtTest>

using namespace ExtensionSystem;

namespace {

// The log entries of the named plugins only, in order.
QStringList entriesOf(const QStringList &names)
{
    QStringList result;
    for (const QString &entry : qAsConst(TestLog::entries())) {
        if (names.contains(entry.section(QLatin1Char(':'), 0, 0)))
            result.append(entry);
    }
    return result;
}

} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void versions_data();
    void versions();
    void pluginsFound();
    void refused_data();
    void refused();
    void initializationOrder();
    void failedInitialization();
    void delayedInitialization();
    void shutdownOrder();

private:
    PluginManager *m_manager = nullptr;
};

void tst_PluginManager::initTestCase()
{
    m_manager = new PluginManager;
    QCOMPARE(PluginManager::instance(), m_manager);
    PluginManager::setPluginPaths({TEST_PLUGIN_DIR});

    // Every refusal is made visible as a warning for the host's log.
    for (const char *refused : {"Unmet\": Could not resolve dependency 'Nowhere(1.0.0)'",
                                "TooNew\": Could not resolve dependency 'core(4.16.0)'",
                                "TooOld\": Could not resolve dependency 'NorvelOS(4.14.9)'",
                                "Failing\": Plugin initialization failed: Broken on purpose"})
        QTest::ignoreMessage(QtWarningMsg, (QByteArray("Plugin \"") + refused).constData());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Plugin \"AfterFailing\": Cannot load plugin because "
                                                          "dependency failed to load: Failing\\(1.0.0\\)"));
    QSignalSpy changed(m_manager, &PluginManager::pluginsChanged);
    PluginManager::loadPlugins();
    QCOMPARE(changed.count(), 1);
}

void tst_PluginManager::cleanupTestCase()
{
    delete m_manager;
    QCOMPARE(PluginManager::instance(), nullptr);
}

void tst_PluginManager::versions_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("provided");

    // Alpha is 1.2.0 and compatible down to 1.0.0.
    QTest::newRow("exact") << "1.2.0" << true;
    QTest::newRow("compat boundary") << "1.0.0" << true;
    QTest::newRow("between") << "1.1.9" << true;
    QTest::newRow("fourth part") << "1.2.0.1" << false;
    QTest::newRow("below compat") << "0.9.9" << false;
    QTest::newRow("numeric, not text") << "1.10.0" << false;
    QTest::newRow("short form") << "1.2" << true;
}

void tst_PluginManager::versions()
{
    QFETCH(QString, wanted);
    QFETCH(bool, provided);
    PluginSpec *alpha = PluginManager::specForPlugin("ALPHA");
    QVERIFY(alpha);
    QCOMPARE(alpha->provides("alpha", wanted), provided);
    QVERIFY(!alpha->provides("Alph", wanted));
}

// The host's own plugins are there; a library with another IID is no plugin.
void tst_PluginManager::pluginsFound()
{
    for (const char *name : {"Core", "Help", "NorvelOS"}) {
        PluginSpec *spec = PluginManager::specForPlugin(name);
        QVERIFY2(spec, name);
        QCOMPARE(spec->version(), "4.15.2");
        QVERIFY(spec->isBuiltIn());
        QVERIFY(spec->provides(name, "4.15.2"));
    }
    QVERIFY(!PluginManager::specForPlugin("OtherIid"));
    QVERIFY(!TestLog::entries().contains("OtherIid:initialize"));
    for (PluginSpec *spec : PluginManager::plugins())
        QVERIFY(!spec->filePath().contains("pmotheriid"));
}

void tst_PluginManager::refused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("error");

    QTest::newRow("unmet") << "Unmet" << "Could not resolve dependency 'Nowhere(1.0.0)'";
    QTest::newRow("host too old") << "TooNew" << "Could not resolve dependency 'core(4.16.0)'";
    QTest::newRow("host too new") << "TooOld" << "Could not resolve dependency 'NorvelOS(4.14.9)'";
}

void tst_PluginManager::refused()
{
    QFETCH(QString, name);
    QFETCH(QString, error);
    PluginSpec *spec = PluginManager::specForPlugin(name);
    QVERIFY(spec);
    QVERIFY(spec->hasError());
    QCOMPARE(spec->errorString(), error);
    QVERIFY(!spec->plugin());
    QVERIFY(spec->state() < PluginSpec::Loaded);
    QVERIFY(PluginManager::errors().contains(name + ": " + error));
    QVERIFY(entriesOf({name}).isEmpty());
}

void tst_PluginManager::initializationOrder()
{
    QCOMPARE(entriesOf({"Alpha", "Beta"}),
             (QStringList{"Alpha:initialize", "Beta:initialize",
                          "Beta:extensionsInitialized", "Alpha:extensionsInitialized"}));
    PluginSpec *beta = PluginManager::specForPlugin("Beta");
    QVERIFY(beta);
    QCOMPARE(beta->state(), PluginSpec::Running);
    QVERIFY(!beta->hasError());
    QVERIFY(beta->plugin());
    QCOMPARE(beta->plugin()->pluginSpec(), beta);
}

void tst_PluginManager::failedInitialization()
{
    PluginSpec *failing = PluginManager::specForPlugin("Failing");
    QVERIFY(failing);
    QCOMPARE(failing->errorString(), "Plugin initialization failed: Broken on purpose");
    QCOMPARE(entriesOf({"Failing"}), QStringList{"Failing:initialize"});
    // A plugin that needs a failed one is never initialised.
    PluginSpec *after = PluginManager::specForPlugin("AfterFailing");
    QVERIFY(after);
    QVERIFY(after->hasError());
    QVERIFY(!entriesOf({"AfterFailing"}).contains("AfterFailing:initialize"));
}

void tst_PluginManager::delayedInitialization()
{
    QTRY_COMPARE(entriesOf({"Alpha", "Beta"}).mid(4),
                 (QStringList{"Beta:delayedInitialize", "Alpha:delayedInitialize"}));
    QVERIFY(!entriesOf({"Failing"}).contains("Failing:delayedInitialize"));
}

void tst_PluginManager::shutdownOrder()
{
    TestLog::entries().clear();
    PluginManager::shutdown();
    QCOMPARE(entriesOf({"Alpha", "Beta"}),
             (QStringList{"Beta:aboutToShutdown", "Alpha:aboutToShutdown", "Beta:deleted", "Alpha:deleted"}));
    // Libraries are unloaded only once the global pool no longer runs their code.
    QVERIFY(TestLog::entries().contains("BetaPool:ended"));
    QVERIFY(!entriesOf({"Failing"}).contains("Failing:aboutToShutdown"));
    QCOMPARE(PluginManager::specForPlugin("Alpha")->state(), PluginSpec::Deleted);
    QVERIFY(!PluginManager::specForPlugin("Alpha")->plugin());

    // A second shut-down, like the one of the manager's destructor, does nothing.
    TestLog::entries().clear();
    PluginManager::shutdown();
    QVERIFY(TestLog::entries().isEmpty());
}

QTEST_GUILESS_MAIN(tst_PluginManager)

#include "tst_pluginmanager.moc"
