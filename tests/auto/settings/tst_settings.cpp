#include "plugin/settings.h"

#include <coreplugin/icore.h>
#include <extensionsystem/pluginmanager.h>

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QSettings>
#include <QtTest>

using namespace Vantor::Internal;

namespace {

QStringList g_messages;

void collectMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "tas.vantor.plugin") == 0)
        g_messages.append(message);
}

// The messages that report a skipped entry or a missing list; "Settings:" only names the file.
QStringList reportMessages()
{
    QStringList result;
    for (const QString &message : qAsConst(g_messages)) {
        if (!message.startsWith(QLatin1String("Settings:")))
            result.append(message);
    }
    return result;
}

// One line per repository, sorted: name, URL and the sorted removed examples.
QStringList describe(const QHash<QString, RepositorySettings> &repositories)
{
    QStringList result;
    for (auto it = repositories.cbegin(); it != repositories.cend(); ++it) {
        QStringList removed(it.value().removedExamples.cbegin(), it.value().removedExamples.cend());
        removed.sort();
        result.append(it.key() + QLatin1Char('>') + it.value().url.toString() + QLatin1Char('>')
                      + removed.join(QLatin1Char(',')));
    }
    result.sort();
    return result;
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void parseRepositories_data();
    void parseRepositories();
    void missingRepositories();
    void checkedDates_data();
    void checkedDates();
    void timeouts_data();
    void timeouts();
    void roundTrip();
    void defaultsAreSaved();
    void saveCheckedDatesOnly();
    void repositoryName();
    void installWideFallback();

private:
    QString newFile();

    QString m_root;
    int m_fileCount = 0;
    QtMessageHandler m_previousHandler = nullptr;
};

void tst_Settings::initTestCase()
{
    m_root = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH");
    QVERIFY2(!m_root.isEmpty(), "VANTOR_TEST_SETTINGS_PATH must be set");
    QCoreApplication::setOrganizationName(QLatin1String("QtProject"));
    QCoreApplication::setApplicationName(QLatin1String("QtCreator"));
    QLoggingCategory::setFilterRules(QLatin1String("tas.vantor.plugin.debug=true"));
}

void tst_Settings::init()
{
    g_messages.clear();
    m_previousHandler = qInstallMessageHandler(collectMessages);
}

void tst_Settings::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
}

QString tst_Settings::newFile()
{
    return m_root + QString::fromLatin1("/case%1.ini").arg(++m_fileCount);
}

void tst_Settings::parseRepositories_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("messages");

    const QString empty = QLatin1String("Empty or invalid settings. Check variable: \"Repositories\"");
    const auto wrong = [](const char *item) {
        return QString::fromLatin1("Skipping wrong setting in item: \"%1\"").arg(QLatin1String(item));
    };

    QTest::newRow("name and url") << QStringList{"A|https://h.example/g"}
                                  << QStringList{"A>https://h.example/g>"} << QStringList();
    QTest::newRow("one empty removed") << QStringList{"A|https://h.example/g|"}
                                       << QStringList{"A>https://h.example/g>"} << QStringList();
    QTest::newRow("two removed") << QStringList{"A|https://h.example/g|x|y"}
                                 << QStringList{"A>https://h.example/g>x,y"} << QStringList();
    QTest::newRow("empty entry") << QStringList{"", "A|u"} << QStringList{"A>u>"} << QStringList();
    QTest::newRow("no separator") << QStringList{"A"} << QStringList() << QStringList{wrong("A"), empty};
    QTest::newRow("empty name") << QStringList{"|u"} << QStringList() << QStringList{wrong("|u"), empty};
    QTest::newRow("empty url") << QStringList{"A||x", "B|u"} << QStringList{"B>u>"}
                               << QStringList{wrong("A||x")};
    QTest::newRow("unsafe names")
        << QStringList{".|u1", "..|u2", "a/b|u3", "a\\b|u4", "..x|u5"} << QStringList{"..x>u5>"}
        << QStringList{wrong(".|u1"), wrong("..|u2"), wrong("a/b|u3"), wrong("a\\\\b|u4")};
    QTest::newRow("duplicates, first wins")
        << QStringList{"A|u1", "A|u2", "B|u1", "B|u3"} << QStringList{"A>u1>", "B>u3>"}
        << QStringList{"Skipping duplicated repository name in item: \"A|u2\"",
                       "Skipping duplicated repository url in item: \"B|u1\""};
    QTest::newRow("not trimmed, case matters")
        << QStringList{" A |u1", "a|u2", "A|u3"} << QStringList{" A >u1>", "A>u3>", "a>u2>"}
        << QStringList();
}

void tst_Settings::parseRepositories()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, messages);

    QSettings file(newFile(), QSettings::IniFormat);
    file.setValue(QLatin1String("Vantor/Repositories"), stored);

    Settings settings;
    settings.load(&file);
    QCOMPARE(describe(settings.repositories), expected);
    QCOMPARE(reportMessages(), messages);
    QCOMPARE(g_messages.value(0), QString::fromLatin1("Settings: \"%1\"").arg(file.fileName()));

    // "" stands for the one empty removed example of the second row.
    if (QTest::currentDataTag() == QLatin1String("one empty removed"))
        QCOMPARE(settings.repositories.value(QLatin1String("A")).removedExamples, QSet<QString>{QString()});
}

void tst_Settings::missingRepositories()
{
    QSettings file(newFile(), QSettings::IniFormat);
    file.setValue(QLatin1String("Vantor/UpdatesCheckTimeoutDays"), 4);

    Settings settings;
    settings.repositories.insert(QLatin1String("Old"), RepositorySettings());
    settings.load(&file);
    QVERIFY(settings.repositories.isEmpty());
    QCOMPARE(settings.updatesCheckTimeoutDays, 4u);
    QCOMPARE(reportMessages(), QStringList{"Settings does not contain variable: \"Repositories\""});
}

void tst_Settings::checkedDates_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("day first") << QStringList{"A|05.03.2024"} << QStringList{"A=2024-03-05"} << QStringList();
    QTest::newRow("year first is invalid") << QStringList{"A|2024-03-05"} << QStringList{"A=invalid"}
                                           << QStringList();
    QTest::newRow("three fields") << QStringList{"A|05.03.2024|x", "B|01.01.2020"}
                                  << QStringList{"B=2020-01-01"}
                                  << QStringList{"Skipping wrong setting in item: \"A|05.03.2024|x\""};
    QTest::newRow("duplicate name") << QStringList{"A|01.01.2020", "A|02.02.2021"}
                                    << QStringList{"A=2020-01-01"}
                                    << QStringList{"Skipping duplicated repository name in item: \"A|02.02.2021\""};
    QTest::newRow("empty name kept") << QStringList{"|01.01.2020"} << QStringList{"=2020-01-01"}
                                     << QStringList();
}

void tst_Settings::checkedDates()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, messages);

    QSettings file(newFile(), QSettings::IniFormat);
    file.setValue(QLatin1String("Vantor/UpdatesCheckedDate"), stored);
    file.setValue(QLatin1String("Vantor/Repositories"), QStringList{"A|u"});

    Settings settings;
    settings.load(&file);
    QStringList actual;
    for (auto it = settings.updatesCheckedDate.cbegin(); it != settings.updatesCheckedDate.cend(); ++it) {
        actual.append(it.key() + QLatin1Char('=')
                      + (it.value().isValid() ? it.value().toString(Qt::ISODate) : QString::fromLatin1("invalid")));
    }
    actual.sort();
    QCOMPARE(actual, expected);
    QCOMPARE(reportMessages(), messages);
}

void tst_Settings::timeouts_data()
{
    QTest::addColumn<QString>("days");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<quint32>("expectedDays");
    QTest::addColumn<quint32>("expectedSeconds");

    QTest::newRow("absent") << QString() << QString() << 1u << 60u;
    QTest::newRow("numbers") << "7" << "15" << 7u << 15u;
    QTest::newRow("zero switches off") << "0" << "60" << 0u << 60u;
    QTest::newRow("not a number") << "often" << "-5" << 0u << 0u;
}

void tst_Settings::timeouts()
{
    QFETCH(QString, days);
    QFETCH(QString, seconds);
    QFETCH(quint32, expectedDays);
    QFETCH(quint32, expectedSeconds);

    // Written as text, as a user would edit the file.
    const QString path = newFile();
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("[Vantor]\nRepositories=A|u\n");
    if (!days.isNull())
        out.write("UpdatesCheckTimeoutDays=" + days.toUtf8() + '\n');
    if (!seconds.isNull())
        out.write("ServiceRestartTimeoutSeconds=" + seconds.toUtf8() + '\n');
    out.close();

    QSettings file(path, QSettings::IniFormat);
    Settings settings;
    settings.updatesCheckTimeoutDays = 99;
    settings.serviceRestartTimeoutSeconds = 99;
    settings.load(&file);
    QCOMPARE(settings.updatesCheckTimeoutDays, expectedDays);
    QCOMPARE(settings.serviceRestartTimeoutSeconds, expectedSeconds);
}

void tst_Settings::roundTrip()
{
    Settings original;
    original.updatesCheckTimeoutDays = 3;
    original.serviceRestartTimeoutSeconds = 120;
    original.updatesCheckedDate.insert(QLatin1String("A"), QDate(2024, 3, 5));
    original.updatesCheckedDate.insert(QLatin1String("B"), QDate());
    RepositorySettings a;
    a.url = QUrl(QLatin1String("HTTPS://Host.Example:443/group/sub"));
    a.removedExamples = {QLatin1String("one"), QLatin1String("two")};
    a.examplesToInstall = {QLatin1String("never stored")};
    RepositorySettings b;
    b.url = QUrl(QLatin1String("http://127.0.0.1:8080/g"));
    original.repositories.insert(QLatin1String("A"), a);
    original.repositories.insert(QLatin1String("B"), b);

    const QString path = newFile();
    {
        QSettings file(path, QSettings::IniFormat);
        original.save(&file);
    }

    QSettings raw(path, QSettings::IniFormat);
    QStringList repositories = raw.value(QLatin1String("Vantor/Repositories")).toStringList();
    repositories.sort();
    QCOMPARE(repositories.value(1), QLatin1String("B|http://127.0.0.1:8080/g|"));
    // The URL is stored as QUrl normalises it.
    QVERIFY2(repositories.value(0) == QLatin1String("A|https://host.example:443/group/sub|one|two")
                 || repositories.value(0) == QLatin1String("A|https://host.example:443/group/sub|two|one"),
             qPrintable(repositories.value(0)));
    QStringList dates = raw.value(QLatin1String("Vantor/UpdatesCheckedDate")).toStringList();
    dates.sort();
    QCOMPARE(dates, (QStringList{"A|05.03.2024", "B|"}));

    Settings loaded;
    loaded.load(&raw);
    QCOMPARE(loaded.updatesCheckTimeoutDays, 3u);
    QCOMPARE(loaded.serviceRestartTimeoutSeconds, 120u);
    QCOMPARE(loaded.updatesCheckedDate.value(QLatin1String("A")), QDate(2024, 3, 5));
    QVERIFY(loaded.updatesCheckedDate.contains(QLatin1String("B")));
    QCOMPARE(describe(loaded.repositories),
             (QStringList{"A>https://host.example:443/group/sub>one,two", "B>http://127.0.0.1:8080/g>"}));
    QVERIFY(loaded.repositories.value(QLatin1String("A")).examplesToInstall.isEmpty());
}

void tst_Settings::defaultsAreSaved()
{
    const QString path = newFile();
    {
        QSettings file(path, QSettings::IniFormat);
        Settings settings;
        settings.load(&file);
        settings.save(&file);
    }
    QSettings raw(path, QSettings::IniFormat);
    QCOMPARE(raw.value(QLatin1String("Vantor/UpdatesCheckTimeoutDays")).toUInt(), 1u);
    QCOMPARE(raw.value(QLatin1String("Vantor/ServiceRestartTimeoutSeconds")).toUInt(), 60u);
    QVERIFY(raw.contains(QLatin1String("Vantor/Repositories")));
    QVERIFY(raw.contains(QLatin1String("Vantor/UpdatesCheckedDate")));
}

void tst_Settings::saveCheckedDatesOnly()
{
    QSettings file(newFile(), QSettings::IniFormat);
    file.setValue(QLatin1String("Vantor/Repositories"), QStringList{"A|u|gone"});
    file.setValue(QLatin1String("Vantor/UpdatesCheckTimeoutDays"), 5);

    Settings longLived;
    longLived.load(&file);
    // Someone else saves meanwhile; the long-lived copy must not undo it.
    file.setValue(QLatin1String("Vantor/Repositories"), QStringList{"A|u|gone|also"});
    longLived.updatesCheckTimeoutDays = 9;
    longLived.updatesCheckedDate.insert(QLatin1String("A"), QDate(2023, 12, 31));
    longLived.saveCheckedDates(&file);

    QSettings raw(file.fileName(), QSettings::IniFormat);
    QCOMPARE(raw.value(QLatin1String("Vantor/UpdatesCheckedDate")).toStringList(), QStringList{"A|31.12.2023"});
    QCOMPARE(raw.value(QLatin1String("Vantor/UpdatesCheckTimeoutDays")).toUInt(), 5u);
    QCOMPARE(raw.value(QLatin1String("Vantor/Repositories")).toStringList(), QStringList{"A|u|gone|also"});
}

void tst_Settings::repositoryName()
{
    Settings settings;
    RepositorySettings a;
    a.url = QUrl(QLatin1String("https://h.example/a"));
    RepositorySettings b;
    b.url = QUrl(QLatin1String("https://h.example/b"));
    settings.repositories.insert(QLatin1String("A"), a);
    settings.repositories.insert(QLatin1String("B"), b);
    QCOMPARE(settings.repositoryName(QUrl(QLatin1String("https://h.example/b"))), QLatin1String("B"));
    QCOMPARE(settings.repositoryName(QUrl(QLatin1String("https://h.example/c"))), QString());
}

void tst_Settings::installWideFallback()
{
    const QString userPath = m_root + QLatin1String("/user");
    const QString installPath = m_root + QLatin1String("/install");
    QVERIFY(QDir().mkpath(installPath + QLatin1String("/QtProject")));
    {
        QSettings install(installPath + QLatin1String("/QtProject/QtCreator.ini"), QSettings::IniFormat);
        install.setValue(QLatin1String("Vantor/Repositories"), QStringList{"Norvel|https://h.example/norvel"});
        install.setValue(QLatin1String("Vantor/UpdatesCheckTimeoutDays"), 5);
    }
    Core::ICore::setSettingsPaths(userPath, installPath);
    QSettings *user = Core::ICore::settings();
    QCOMPARE(user, ExtensionSystem::PluginManager::settings());
    QCOMPARE(QDir::cleanPath(user->fileName()), userPath + QLatin1String("/QtProject/QtCreator.ini"));

    Settings settings;
    settings.load(user);
    QCOMPARE(describe(settings.repositories), QStringList{"Norvel>https://h.example/norvel>"});
    QCOMPARE(settings.updatesCheckTimeoutDays, 5u);

    settings.updatesCheckTimeoutDays = 2;
    settings.repositories[QLatin1String("Norvel")].removedExamples.insert(QLatin1String("demo"));
    settings.save(user);

    // A new start reads the user's own values; the install-wide file stays as provisioned.
    Core::ICore::setSettingsPaths(userPath, installPath);
    Settings reloaded;
    reloaded.load(Core::ICore::settings());
    QCOMPARE(reloaded.updatesCheckTimeoutDays, 2u);
    QCOMPARE(describe(reloaded.repositories), QStringList{"Norvel>https://h.example/norvel>demo"});
    QSettings install(installPath + QLatin1String("/QtProject/QtCreator.ini"), QSettings::IniFormat);
    QCOMPARE(install.value(QLatin1String("Vantor/UpdatesCheckTimeoutDays")).toUInt(), 5u);
    QCOMPARE(Core::ICore::settings(QSettings::SystemScope)->value(QLatin1String("Vantor/UpdatesCheckTimeoutDays")).toUInt(), 5u);
}

QTEST_GUILESS_MAIN(tst_Settings)

#include "tst_settings.moc"
