#include "plugin/settings.h"

#include <messagelog.h>
#include <testprojects.h>
#include <testsupport.h>

#include <QSettings>
#include <QtTest>

using namespace Vantor::Internal;
using TestSupport::MessageLog;

namespace {

// The messages that report a skipped entry or a missing list; "Settings:" only names the file.
QStringList reportMessages()
{
    return MessageLog::messages("tas.vantor.plugin").filter(QRegularExpression("^(?!Settings:)"));
}

// Sorted lines: "name>URL>removed examples (sorted)" for each repository, "name=date" for each
// check date ("invalid" when the date is).
QStringList describe(const Settings &settings)
{
    QStringList result;
    for (auto it = settings.repositories.cbegin(); it != settings.repositories.cend(); ++it) {
        QStringList removed(it.value().removedExamples.cbegin(), it.value().removedExamples.cend());
        removed.sort();
        result.append(it.key() + '>' + it.value().url.toString() + '>' + removed.join(','));
    }
    for (auto it = settings.updatesCheckedDate.cbegin(); it != settings.updatesCheckedDate.cend(); ++it)
        result.append(it.key() + '=' + (it.value().isValid() ? it.value().toString(Qt::ISODate) : "invalid"));
    result.sort();
    return result;
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        m_root = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH");
        MessageLog::start("tas.vantor.plugin.debug=true");
    }

    void load_data()
    {
        QTest::addColumn<QStringList>("repositories");
        QTest::addColumn<QStringList>("dates"); // not stored when empty
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("messages");

        using L = QStringList;
        const QString empty = "Empty or invalid settings. Check variable: \"Repositories\"";
        const auto wrong = [](const char *item) { return QString("Skipping wrong setting in item: \"%1\"").arg(item); };
        const auto duplicated = [](const char *what, const char *item) {
            return QString("Skipping duplicated repository %1 in item: \"%2\"").arg(what, item);
        };
        const L none;

        QTest::newRow("one empty removed") << L{"A|https://h.example/g|"} << none << L{"A>https://h.example/g>"} << none;
        QTest::newRow("two removed") << L{"A|https://h.example/g|x|y"} << none << L{"A>https://h.example/g>x,y"} << none;
        QTest::newRow("no url, no name") << L{"A", "|u"} << none << none << L{wrong("A"), wrong("|u"), empty};
        QTest::newRow("empty url, empty entry") << L{"", "A||x", "B|u"} << none << L{"B>u>"} << L{wrong("A||x")};
        QTest::newRow("unsafe names") << L{".|u1", "..|u2", "a/b|u3", "a\\b|u4", "..x|u5"} << none << L{"..x>u5>"}
                                      << L{wrong(".|u1"), wrong("..|u2"), wrong("a/b|u3"), wrong("a\\\\b|u4")};
        // "A.backup" is where the backups of "A" go.
        QTest::newRow("backup folder names") << L{"A.backup|u1", "B.BACKUP|u2", "A|u3", "A.backups|u4"} << none
                                             << L{"A.backups>u4>", "A>u3>"} << L{wrong("A.backup|u1"), wrong("B.BACKUP|u2")};
        QTest::newRow("duplicates, first wins") << L{"A|u1", "A|u2", "B|u1", "B|u3"} << none << L{"A>u1>", "B>u3>"}
                                                << L{duplicated("name", "A|u2"), duplicated("url", "B|u1")};

        const L a{"A|u"};
        // Day first; an empty name is kept.
        QTest::newRow("dates") << a << L{"A|05.03.2024", "B|2024-03-05", "|01.01.2020"}
                               << L{"=2020-01-01", "A=2024-03-05", "A>u>", "B=invalid"} << none;
        QTest::newRow("date with three fields") << a << L{"A|05.03.2024|x", "B|01.01.2020"} << L{"A>u>", "B=2020-01-01"}
                                                << L{wrong("A|05.03.2024|x")};
        QTest::newRow("date of a name twice") << a << L{"A|01.01.2020", "A|02.02.2021"} << L{"A=2020-01-01", "A>u>"}
                                              << L{duplicated("name", "A|02.02.2021")};
    }

    void load()
    {
        QFETCH(QStringList, repositories);
        QFETCH(QStringList, dates);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, messages);
        MessageLog::clear();

        QSettings file(newFile(), QSettings::IniFormat);
        file.setValue("Vantor/Repositories", repositories);
        if (!dates.isEmpty())
            file.setValue("Vantor/UpdatesCheckedDate", dates);

        Settings settings;
        settings.load(&file);
        QCOMPARE(describe(settings), expected);
        QCOMPARE(reportMessages(), messages);
        QCOMPARE(MessageLog::messages().value(0), QString("Settings: \"%1\"").arg(file.fileName()));

        // "" stands for the one empty removed example of the second row.
        if (QTest::currentDataTag() == QLatin1String("one empty removed"))
            QCOMPARE(settings.repositories.value("A").removedExamples, QSet<QString>{QString()});
    }

    void timeouts_data()
    {
        QTest::addColumn<QString>("days");
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<quint32>("expectedDays");
        QTest::addColumn<quint32>("expectedSeconds");

        QTest::newRow("absent, no repositories either") << QString() << QString() << 1u << 60u;
        QTest::newRow("numbers") << "7" << "15" << 7u << 15u;
        QTest::newRow("not a number") << "often" << "-5" << 0u << 0u;
    }

    void timeouts()
    {
        QFETCH(QString, days);
        QFETCH(QString, seconds);
        QFETCH(quint32, expectedDays);
        QFETCH(quint32, expectedSeconds);
        MessageLog::clear();

        // Texts, as a user would write them into the file.
        QSettings file(newFile(), QSettings::IniFormat);
        if (!days.isNull()) {
            file.setValue("Vantor/Repositories", "A|u");
            file.setValue("Vantor/UpdatesCheckTimeoutDays", days);
            file.setValue("Vantor/ServiceRestartTimeoutSeconds", seconds);
        }
        Settings settings;
        settings.updatesCheckTimeoutDays = 99;
        settings.serviceRestartTimeoutSeconds = 99;
        settings.repositories.insert("Old", RepositorySettings());
        settings.load(&file);
        QCOMPARE(settings.updatesCheckTimeoutDays, expectedDays);
        QCOMPARE(settings.serviceRestartTimeoutSeconds, expectedSeconds);
        // Without repositories the old ones are dropped.
        QCOMPARE(settings.repositories.keys(), days.isNull() ? QStringList() : QStringList("A"));
        QCOMPARE(reportMessages(), days.isNull() ? QStringList("Settings does not contain variable: \"Repositories\"")
                                                 : QStringList());
    }

    // Saved and loaded back, failed examples included.
    void roundTrip()
    {
        Settings original;
        original.updatesCheckTimeoutDays = 3;
        original.serviceRestartTimeoutSeconds = 120;
        original.updatesCheckedDate.insert("A", QDate(2024, 3, 5));
        original.updatesCheckedDate.insert("B", QDate());
        RepositorySettings &a = original.repositories["A"];
        a.url = QUrl("HTTPS://Host.Example:443/group/sub");
        a.removedExamples = {"one", "two"};
        original.repositories["B"].url = QUrl("http://127.0.0.1:8080/g");
        const QDateTime at(QDate(2024, 3, 5), QTime(10, 0), Qt::UTC);
        original.failedExamples["A"].insert("one", {"server", 2, at, at.addDays(-1)});

        const QString path = newFile();
        QSettings raw(path, QSettings::IniFormat);
        original.save(&raw);
        // On disk at once, not only when the settings object goes.
        QVERIFY(TestProjects::readFile(path).contains("UpdatesCheckTimeoutDays=3"));
        QStringList repositories = raw.value("Vantor/Repositories").toStringList();
        repositories.sort();
        QCOMPARE(repositories.value(1), QLatin1String("B|http://127.0.0.1:8080/g|"));
        // The URL is stored as QUrl normalises it.
        QVERIFY2(repositories.value(0) == QLatin1String("A|https://host.example:443/group/sub|one|two")
                     || repositories.value(0) == QLatin1String("A|https://host.example:443/group/sub|two|one"),
                 qPrintable(repositories.value(0)));
        QStringList dates = raw.value("Vantor/UpdatesCheckedDate").toStringList();
        dates.sort();
        QCOMPARE(dates, (QStringList{"A|05.03.2024", "B|"}));

        Settings loaded;
        loaded.load(&raw);
        QCOMPARE(loaded.updatesCheckTimeoutDays, 3u);
        QCOMPARE(loaded.serviceRestartTimeoutSeconds, 120u);
        QCOMPARE(describe(loaded), (QStringList{"A=2024-03-05", "A>https://host.example:443/group/sub>one,two",
                                                "B=invalid", "B>http://127.0.0.1:8080/g>"}));
        QCOMPARE(loaded.failedExamples, original.failedExamples);

        // What an earlier version left: examples started and never installed, tried again as
        // interrupted ones; broken entries are skipped, and the old key goes at the next save.
        raw.setValue("Vantor/UpdatesPendingExamples", QStringList{"A|x|y"});
        raw.setValue("Vantor/UpdatesFailedExamples", QStringList{"A|z|server|1", "|w|server|1||"});
        loaded.load(&raw);
        QCOMPARE(loaded.failedExamples.value("A").keys().size(), 2);
        QVERIFY(loaded.failedExamples.value("A").contains("x") && loaded.failedExamples.value("A").contains("y"));
        loaded.save(&raw);
        QVERIFY(!raw.contains("Vantor/UpdatesPendingExamples"));
    }

private:
    QString newFile() { return m_root + QString("/case%1.ini").arg(++m_fileCount); }

    QString m_root;
    int m_fileCount = 0;
};

QTEST_GUILESS_MAIN(tst_Settings)

#include "tst_settings.moc"
