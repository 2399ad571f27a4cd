#include "plugin/pathtemplates.h"
#include "plugin/registration.h"
#include "plugin/settings.h"

#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/helpmanager.h>

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

using namespace Vantor::Internal;

class tst_Registration : public QObject
{
    Q_OBJECT

private slots:
    void rewrite_data();
    void rewrite();
};

// "<A>" stands for the folder of repository A, an entry "<A>" for the whole rewritten entry of A.
static QStringList expand(QStringList list)
{
    for (QString &item : list) {
        if (item.startsWith('<'))
            item = QString("%1|%2|%2").arg(item.mid(1, 1), item);
        for (const char *name : {"A", "B", "C"})
            item.replace(QString("<%1>").arg(name), repositoryPathTemplate().arg(name));
    }
    return list;
}

void tst_Registration::rewrite_data()
{
    QTest::addColumn<QStringList>("repositories");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("created");
    QTest::addColumn<bool>("written"); // the settings file

    using L = QStringList;
    QTest::newRow("name only") << L{"A|u1"} << L{"Qt|/q|/q", "A", "Other|/o|/o"}
                               << L{"Qt|/q|/q", "<A>", "Other|/o|/o"} << L{"A"} << true;
    QTest::newRow("already rewritten") << L{"A|u1"} << L{"<A>"} << L{"<A>"} << L{"A"} << false;
    QTest::newRow("two repositories in place") << L{"A|u1", "B|u2", "C|u3"} << L{"B", "Qt|/q|/q", "A|"}
                                               << L{"<B>", "Qt|/q|/q", "<A>"} << L{"A", "B"} << true;
    QTest::newRow("name is only a prefix") << L{"A|u1"} << L{"AB|/x|/x", "Qt|/q|/q"} << L{"AB|/x|/x", "Qt|/q|/q"}
                                           << L() << false;
}

void tst_Registration::rewrite()
{
    QFETCH(QStringList, repositories);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(QStringList, created);
    QFETCH(bool, written);
    // Before the first use of the folder templates, as the host does before loading plugins.
    QVERIFY(TestSupport::useTestSettings());
    const QString dataRoot = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QVERIFY(repositoryPathTemplate().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT"))
            && QDir(dataRoot).removeRecursively());

    const QString path = qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH") + "/rewrite.ini";
    {
        QSettings file(path, QSettings::IniFormat);
        file.setValue("Vantor/Repositories", repositories);
        file.setValue("Help/InstalledExamples", expand(before));
    }
    const QByteArray originalText = TestProjects::readFile(path);
    const QDateTime longAgo(QDate(2020, 1, 1), QTime(12, 0));
    QVERIFY(TestProjects::setModified(path, longAgo));

    QSignalSpy setupFinished(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::setupFinished);
    {
        QSettings file(path, QSettings::IniFormat);
        Settings settings;
        settings.load(&file);
        registerInstalledExamples(&file, settings);
    }
    QCOMPARE(setupFinished.count(), created.isEmpty() ? 0 : 1);
    QCOMPARE(QSettings(path, QSettings::IniFormat).value("Help/InstalledExamples").toStringList(), expand(after));
    QCOMPARE(QFileInfo(path).lastModified() != longAgo, written);
    if (!written)
        QCOMPARE(TestProjects::readFile(path), originalText);
    for (const char *name : {"A", "B", "C"})
        QCOMPARE(QFileInfo(repositoryPathTemplate().arg(name)).isDir(), created.contains(name));
}

QTEST_GUILESS_MAIN(tst_Registration)

#include "tst_registration.moc"
