#include <utils/archive.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
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
    void unsupportedGivesNull();
    void unpacksBelowDestination();
    void corruptArchiveFails();
    void failedStartFinishesOnce();
    void cancel();

private:
    bool writeFile(const QString &path, const QByteArray &content);

    QTemporaryDir m_dir;
};

void tst_Archive::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(m_dir.path().startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")), qPrintable(m_dir.path()));
}

bool tst_Archive::writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

void tst_Archive::supportsFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("supported");

    QTest::newRow("tar.gz") << "/x/example.tar.gz" << true;
    QTest::newRow("upper-case tgz") << "/x/EXAMPLE.TGZ" << true;
    QTest::newRow("zip") << "/x/example.zip" << false;
    QTest::newRow("plain gz") << "/x/example.gz" << false;
    QTest::newRow("tar.gz in the middle") << "/x/example.tar.gz.part" << false;
}

void tst_Archive::supportsFile()
{
    QFETCH(QString, name);
    QFETCH(bool, supported);
    QString reason;
    QCOMPARE(Archive::supportsFile(FilePath::fromString(name), &reason), supported);
    QCOMPARE(reason.isEmpty(), supported);
}

void tst_Archive::unsupportedGivesNull()
{
    const QString zip = m_dir.filePath(QLatin1String("example.zip"));
    QVERIFY(writeFile(zip, "PK"));
    const QString dest = m_dir.filePath(QLatin1String("zip-out"));
    std::unique_ptr<Archive> archive(Archive::unarchive(FilePath::fromString(zip), FilePath::fromString(dest)));
    QVERIFY(!archive);
    QVERIFY(!QFileInfo::exists(dest));
}

void tst_Archive::unpacksBelowDestination()
{
    const QString source = m_dir.filePath(QLatin1String("source"));
    QVERIFY(writeFile(source + QLatin1String("/project/main.cpp"), "int main() { return 0; }\n"));
    QVERIFY(writeFile(source + QLatin1String("/project/sub/notes.txt"), "notes\n"));
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    {
        QFile file(source + QLatin1String("/project/main.cpp"));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const QString tarball = m_dir.filePath(QLatin1String("project.tar.gz"));
    QCOMPARE(QProcess::execute(QLatin1String("tar"),
                               {QLatin1String("czf"), tarball, QLatin1String("-C"), source,
                                QLatin1String("project")}),
             0);

    const QString dest = m_dir.filePath(QLatin1String("out/nested"));
    std::unique_ptr<Archive> archive(Archive::unarchive(FilePath::fromString(tarball), FilePath::fromString(dest)));
    QVERIFY(archive);
    QSignalSpy output(archive.get(), &Archive::outputReceived);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), true);

    QString text;
    for (const QList<QVariant> &arguments : qAsConst(output))
        text += arguments.first().toString();
    QVERIFY2(text.contains(QLatin1String("project/sub/notes.txt")), qPrintable(text));

    QFile unpacked(dest + QLatin1String("/project/main.cpp"));
    QVERIFY(unpacked.open(QIODevice::ReadOnly));
    QCOMPARE(unpacked.readAll(), QByteArray("int main() { return 0; }\n"));
    QCOMPARE(QFileInfo(unpacked).lastModified().toUTC(), old);
    QVERIFY(QFileInfo::exists(dest + QLatin1String("/project/sub/notes.txt")));
}

void tst_Archive::corruptArchiveFails()
{
    const QString tarball = m_dir.filePath(QLatin1String("corrupt.tar.gz"));
    QVERIFY(writeFile(tarball, QByteArray("\x1f\x8b this is not really compressed", 34)));
    const QString dest = m_dir.filePath(QLatin1String("corrupt-out"));
    std::unique_ptr<Archive> archive(Archive::unarchive(FilePath::fromString(tarball), FilePath::fromString(dest)));
    QVERIFY(archive);
    QSignalSpy output(archive.get(), &Archive::outputReceived);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
    QVERIFY(!output.isEmpty()); // tar's complaint, from its error output
}

void tst_Archive::failedStartFinishesOnce()
{
    // The destination cannot be made below a file, so tar cannot start in it.
    const QString blocker = m_dir.filePath(QLatin1String("blocker"));
    QVERIFY(writeFile(blocker, "file"));
    const QString tarball = m_dir.filePath(QLatin1String("any.tar.gz"));
    QVERIFY(writeFile(tarball, "x"));
    std::unique_ptr<Archive> archive(
        Archive::unarchive(FilePath::fromString(tarball), FilePath::fromString(blocker + QLatin1String("/out"))));
    QVERIFY(archive);
    QSignalSpy finished(archive.get(), &Archive::finished);
    QVERIFY(finished.wait(10000));
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().toBool(), false);
}

void tst_Archive::cancel()
{
    // tar waits for a writer on the named pipe until it is cancelled.
    const QString pipe = m_dir.filePath(QLatin1String("pipe.tar.gz"));
    QCOMPARE(QProcess::execute(QLatin1String("mkfifo"), {pipe}), 0);
    std::unique_ptr<Archive> archive(
        Archive::unarchive(FilePath::fromString(pipe), FilePath::fromString(m_dir.filePath(QLatin1String("pipe-out")))));
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
