#include "plugin/pathtemplates.h"
#include "plugin/registration.h"

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
    void initTestCase();
    void init();
    void rewrite_data();
    void rewrite();

private:
    static QString folder(const QString &name) { return repositoryPathTemplate().arg(name); }
    static QStringList expand(QStringList list);

    QString m_dataRoot;
    int m_fileCount = 0;
};

void tst_Registration::initTestCase()
{
    // Before the first use of the folder templates, as the host does before loading plugins.
    QVERIFY(TestSupport::useTestSettings());
    m_dataRoot = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    const QString testRoot = qEnvironmentVariable("VANTOR_TEST_ROOT");
    QVERIFY2(!testRoot.isEmpty() && m_dataRoot.startsWith(testRoot), qPrintable(m_dataRoot));
    QVERIFY(folder(QLatin1String("A")).startsWith(m_dataRoot));
}

void tst_Registration::init()
{
    QDir(m_dataRoot).removeRecursively();
}

// "<A>" stands for the folder of repository A.
QStringList tst_Registration::expand(QStringList list)
{
    for (QString &item : list) {
        for (const char *name : {"A", "B", "C"})
            item.replace(QString::fromLatin1("<%1>").arg(QLatin1String(name)), folder(QLatin1String(name)));
    }
    return list;
}

void tst_Registration::rewrite_data()
{
    QTest::addColumn<QStringList>("repositories");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("created");

    QTest::newRow("name only") << QStringList{"A|u1"} << QStringList{"Qt|/q|/q", "A", "Other|/o|/o"}
                               << QStringList{"Qt|/q|/q", "A|<A>|<A>", "Other|/o|/o"} << QStringList{"A"};
    QTest::newRow("name and other fields") << QStringList{"A|u1"} << QStringList{"A|/old|/old|x"}
                                           << QStringList{"A|<A>|<A>"} << QStringList{"A"};
    QTest::newRow("already rewritten") << QStringList{"A|u1"} << QStringList{"A|<A>|<A>"}
                                       << QStringList{"A|<A>|<A>"} << QStringList{"A"};
    QTest::newRow("only the first") << QStringList{"A|u1"} << QStringList{"A|/1|/1", "A|/2|/2"}
                                    << QStringList{"A|<A>|<A>", "A|/2|/2"} << QStringList{"A"};
    QTest::newRow("two repositories in place")
        << QStringList{"A|u1", "B|u2", "C|u3"} << QStringList{"B", "Qt|/q|/q", "A|"}
        << QStringList{"<B>", "Qt|/q|/q", "<A>"} << QStringList{"A", "B"};
    QTest::newRow("name is only a prefix") << QStringList{"A|u1"} << QStringList{"AB|/x|/x", "Qt|/q|/q"}
                                           << QStringList{"AB|/x|/x", "Qt|/q|/q"} << QStringList();
    QTest::newRow("no entry at all") << QStringList{"A|u1"} << QStringList() << QStringList()
                                     << QStringList();
    QTest::newRow("no repositories") << QStringList() << QStringList{"A|/a|/a"} << QStringList{"A|/a|/a"}
                                     << QStringList();
}

void tst_Registration::rewrite()
{
    QFETCH(QStringList, repositories);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(QStringList, created);
    // Rows write "<B>" for the whole rewritten entry of B.
    for (QString &item : after) {
        if (item.startsWith(QLatin1Char('<')))
            item = QString::fromLatin1("%1|%2|%2").arg(item.mid(1, 1), item);
    }
    after = expand(after);
    before = expand(before);

    const QString path = QDir(qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH"))
                             .filePath(QString::fromLatin1("rewrite%1.ini").arg(++m_fileCount));
    {
        QSettings file(path, QSettings::IniFormat);
        if (!repositories.isEmpty())
            file.setValue(QLatin1String("Vantor/Repositories"), repositories);
        if (!before.isEmpty())
            file.setValue(QLatin1String("Help/InstalledExamples"), before);
    }
    const QByteArray originalText = TestProjects::readFile(path);

    QSignalSpy setupFinished(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::setupFinished);
    {
        QSettings file(path, QSettings::IniFormat);
        registerInstalledExamples(&file);
    }
    const bool changed = !created.isEmpty();
    QCOMPARE(setupFinished.count(), changed ? 1 : 0);

    QSettings reread(path, QSettings::IniFormat);
    QCOMPARE(reread.value(QLatin1String("Help/InstalledExamples")).toStringList(), after);
    if (!changed)
        QCOMPARE(TestProjects::readFile(path), originalText);
    for (const char *name : {"A", "B", "C"}) {
        const bool expected = created.contains(QLatin1String(name));
        QCOMPARE(QFileInfo(folder(QLatin1String(name))).isDir(), expected);
    }
}

QTEST_GUILESS_MAIN(tst_Registration)

#include "tst_registration.moc"
