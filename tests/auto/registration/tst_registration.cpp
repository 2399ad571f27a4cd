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
    QVERIFY(folder("A").startsWith(m_dataRoot));
}

void tst_Registration::init()
{
    QDir(m_dataRoot).removeRecursively();
}

// "<A>" stands for the folder of repository A, an entry "<A>" for the whole rewritten entry of A.
QStringList tst_Registration::expand(QStringList list)
{
    for (QString &item : list) {
        if (item.startsWith('<'))
            item = QString("%1|%2|%2").arg(item.mid(1, 1), item);
        for (const char *name : {"A", "B", "C"})
            item.replace(QString("<%1>").arg(name), folder(name));
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
    QTest::newRow("name and other fields") << L{"A|u1"} << L{"A|/old|/old|x"} << L{"<A>"} << L{"A"} << true;
    QTest::newRow("already rewritten") << L{"A|u1"} << L{"<A>"} << L{"<A>"} << L{"A"} << false;
    QTest::newRow("only the first") << L{"A|u1"} << L{"A|/1|/1", "A|/2|/2"} << L{"<A>", "A|/2|/2"} << L{"A"}
                                    << true;
    QTest::newRow("two repositories in place") << L{"A|u1", "B|u2", "C|u3"} << L{"B", "Qt|/q|/q", "A|"}
                                               << L{"<B>", "Qt|/q|/q", "<A>"} << L{"A", "B"} << true;
    QTest::newRow("name is only a prefix") << L{"A|u1"} << L{"AB|/x|/x", "Qt|/q|/q"} << L{"AB|/x|/x", "Qt|/q|/q"}
                                           << L() << false;
    QTest::newRow("no entry at all") << L{"A|u1"} << L() << L() << L() << false;
    QTest::newRow("no repositories") << L() << L{"A|/a|/a"} << L{"A|/a|/a"} << L() << false;
}

void tst_Registration::rewrite()
{
    QFETCH(QStringList, repositories);
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(QStringList, created);
    QFETCH(bool, written);
    after = expand(after);
    before = expand(before);

    const QString path = QDir(qEnvironmentVariable("VANTOR_TEST_SETTINGS_PATH"))
                             .filePath(QString("rewrite%1.ini").arg(++m_fileCount));
    {
        QSettings file(path, QSettings::IniFormat);
        if (!repositories.isEmpty())
            file.setValue("Vantor/Repositories", repositories);
        if (!before.isEmpty())
            file.setValue("Help/InstalledExamples", before);
    }
    const QByteArray originalText = TestProjects::readFile(path);
    const QDateTime longAgo(QDate(2020, 1, 1), QTime(12, 0));
    QVERIFY(TestProjects::setModified(path, longAgo));

    QSignalSpy setupFinished(Core::HelpManager::Signals::instance(),
                             &Core::HelpManager::Signals::setupFinished);
    {
        QSettings file(path, QSettings::IniFormat);
        registerInstalledExamples(&file);
    }
    QCOMPARE(setupFinished.count(), created.isEmpty() ? 0 : 1);

    QSettings reread(path, QSettings::IniFormat);
    QCOMPARE(reread.value("Help/InstalledExamples").toStringList(), after);
    QCOMPARE(QFileInfo(path).lastModified() != longAgo, written);
    if (!written)
        QCOMPARE(TestProjects::readFile(path), originalText);
    for (const char *name : {"A", "B", "C"})
        QCOMPARE(QFileInfo(folder(name)).isDir(), created.contains(name));
}

QTEST_GUILESS_MAIN(tst_Registration)

#include "tst_registration.moc"
