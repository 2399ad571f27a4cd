#include <utils/archive.h>

#include <testprojects.h>
#include <testsupport.h>

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using Utils::Archive;
using Utils::FilePath;

class tst_Archive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void supportsFile_data();
    void supportsFile();
    void unarchive_data();
    void unarchive();
    void cancel();

private:
    // Both below the test's folder.
    std::unique_ptr<Archive> unarchive(const QString &file, const QString &destination)
    {
        return std::unique_ptr<Archive>(Archive::unarchive(FilePath::fromString(m_dir.filePath(file)),
                                                           FilePath::fromString(m_dir.filePath(destination))));
    }

    QTemporaryDir m_dir;
    const QDateTime m_old{QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC};
};

void tst_Archive::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_dir.path().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")), qPrintable(m_dir.path()));
    const QString source = m_dir.filePath("source");
    QVERIFY(TestProjects::writeFile(source, "project/main.cpp", "int main() { return 0; }\n"));
    QVERIFY(TestProjects::writeFile(source, "project/sub/notes.txt", "notes\n"));
    QVERIFY(TestProjects::setModified(source + "/project/main.cpp", m_old));
    QCOMPARE(QProcess::execute("tar", {"czf", m_dir.filePath("project.tar.gz"), "-C", source, "project"}), 0);
    QVERIFY(TestProjects::writeFile(m_dir.path(), "corrupt.tar.gz", QByteArray("\x1f\x8b not really compressed", 24)));
    QVERIFY(TestProjects::writeFile(m_dir.path(), "any.tar.gz", "x"));
}

void tst_Archive::supportsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("supported");

    QTest::newRow("tar.gz") << "example.tar.gz" << true;
    QTest::newRow("upper-case tgz") << "EXAMPLE.TGZ" << true;
    QTest::newRow("zip") << "example.zip" << false;
    QTest::newRow("plain gz") << "example.gz" << false;
    QTest::newRow("tar.gz in the middle") << "example.tar.gz.part" << false;
}

void tst_Archive::supportsFile()
{
    QFETCH(QString, name);
    QFETCH(bool, supported);
    QString reason;
    QCOMPARE(Archive::supportsFile(FilePath::fromString("/x/" + name), &reason), supported);
    QCOMPARE(reason.isEmpty(), supported);
    if (supported)
        return;
    // Nothing is started for an unsupported file, and no destination made.
    QVERIFY(TestProjects::writeFile(m_dir.path(), name, "PK"));
    QVERIFY(!unarchive(name, name + "-out"));
    QVERIFY(!QFileInfo::exists(m_dir.filePath(name + "-out")));
}

void tst_Archive::unarchive_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<bool>("success");

    QTest::newRow("below the destination") << "project.tar.gz" << "out/nested" << true;
    QTest::newRow("corrupt") << "corrupt.tar.gz" << "corrupt-out" << false;
    // The destination cannot be made below a file, so tar cannot start in it.
    QTest::newRow("no destination") << "any.tar.gz" << "any.tar.gz/out" << false;
}

void tst_Archive::unarchive()
{
    QFETCH(QString, file);
    QFETCH(QString, destination);
    QFETCH(bool, success);

    const std::unique_ptr<Archive> archive = unarchive(file, destination);
    QVERIFY(archive);
    QSignalSpy output(archive.get(), &Archive::outputReceived);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), success);
    // Also tar's complaint, from its error output.
    const QString text = TestSupport::texts(output).join(QString());
    QVERIFY2(file != "corrupt.tar.gz" || !text.isEmpty(), "no output");
    if (!success)
        return;
    QVERIFY2(text.contains("project/sub/notes.txt"), qPrintable(text));
    const QString dest = m_dir.filePath(destination);
    QCOMPARE(TestProjects::readFile(dest + "/project/main.cpp"), QByteArray("int main() { return 0; }\n"));
    QCOMPARE(QFileInfo(dest + "/project/main.cpp").lastModified().toUTC(), m_old);
    QVERIFY(QFileInfo::exists(dest + "/project/sub/notes.txt"));
}

void tst_Archive::cancel()
{
    // tar waits for a writer on the named pipe until it is cancelled.
    QCOMPARE(QProcess::execute("mkfifo", {m_dir.filePath("pipe.tar.gz")}), 0);
    const std::unique_ptr<Archive> archive = unarchive("pipe.tar.gz", "pipe-out");
    QVERIFY(archive);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QTest::qWait(200);
    QCOMPARE(finished.count(), 0);
    archive->cancel();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QTest::qWait(200);
    archive->cancel();
    QCOMPARE(finished.count(), 1);
}

QTEST_GUILESS_MAIN(tst_Archive)

#include "tst_archive.moc"
