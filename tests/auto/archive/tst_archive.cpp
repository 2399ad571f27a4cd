#include <utils/archive.h>

#include <testprojects.h>

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
    void unpacksBelowDestination();
    void fails_data();
    void fails();
    void cancel();

private:
    // Both below the test's folder.
    std::unique_ptr<Archive> unarchive(const QString &file, const QString &destination)
    {
        return std::unique_ptr<Archive>(
            Archive::unarchive(FilePath::fromString(m_dir.filePath(file)),
                               FilePath::fromString(m_dir.filePath(destination))));
    }

    QTemporaryDir m_dir;
};

void tst_Archive::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_dir.path().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")), qPrintable(m_dir.path()));
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

void tst_Archive::unpacksBelowDestination()
{
    const QString source = m_dir.filePath("source");
    QVERIFY(TestProjects::writeFile(source, "project/main.cpp", "int main() { return 0; }\n"));
    QVERIFY(TestProjects::writeFile(source, "project/sub/notes.txt", "notes\n"));
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    QVERIFY(TestProjects::setModified(source + "/project/main.cpp", old));
    QCOMPARE(QProcess::execute("tar", {"czf", m_dir.filePath("project.tar.gz"), "-C", source, "project"}), 0);

    const std::unique_ptr<Archive> archive = unarchive("project.tar.gz", "out/nested");
    QVERIFY(archive);
    QSignalSpy output(archive.get(), &Archive::outputReceived);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), true);

    QString text;
    for (const QList<QVariant> &arguments : qAsConst(output))
        text += arguments.first().toString();
    QVERIFY2(text.contains("project/sub/notes.txt"), qPrintable(text));

    const QString dest = m_dir.filePath("out/nested");
    QCOMPARE(TestProjects::readFile(dest + "/project/main.cpp"), QByteArray("int main() { return 0; }\n"));
    QCOMPARE(QFileInfo(dest + "/project/main.cpp").lastModified().toUTC(), old);
    QVERIFY(QFileInfo::exists(dest + "/project/sub/notes.txt"));
}

void tst_Archive::fails_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("destination");

    QTest::newRow("corrupt") << "corrupt.tar.gz" << QByteArray("\x1f\x8b this is not really compressed", 34)
                             << "corrupt-out";
    // The destination cannot be made below a file, so tar cannot start in it.
    QTest::newRow("no destination") << "any.tar.gz" << QByteArray("x") << "any.tar.gz/out";
}

void tst_Archive::fails()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, destination);

    QVERIFY(TestProjects::writeFile(m_dir.path(), file, content));
    const std::unique_ptr<Archive> archive = unarchive(file, destination);
    QVERIFY(archive);
    QSignalSpy output(archive.get(), &Archive::outputReceived);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    if (QTest::currentDataTag() == QByteArray("corrupt"))
        QVERIFY(!output.isEmpty()); // tar's complaint, from its error output
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
