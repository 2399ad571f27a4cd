#include "service/archivecontents.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace Vantor::Internal;

Q_DECLARE_METATYPE(ArchiveContents::Verdict)

class tst_ArchiveContents : public QObject
{
    Q_OBJECT

private slots:
    void verdict_data()
    {
        QTest::addColumn<QStringList>("archive"); // in the notation of hostilearchive.py
        QTest::addColumn<QString>("form");        // "" as made, "half", "text" or "plain" (gzip taken off)
        QTest::addColumn<int>("maximumEntries");
        QTest::addColumn<qint64>("maximumBytes");
        QTest::addColumn<ArchiveContents::Verdict>("verdict");
        QTest::addColumn<QStringList>("special"); // when accepted; else the refused name, if any

        using V = ArchiveContents::Verdict;
        const QStringList three{"f a", "f b", "f c"};
        const QStringList none;
        const qint64 gibibyte = qint64(1) << 30;
        QTest::newRow("at the entry limit") << three << "" << 3 << gibibyte << V::Accepted << none;
        QTest::newRow("one entry over") << three << "" << 2 << gibibyte << V::TooManyEntries << none;
        // Holes: the headers state the size, hardly any data follows.
        QTest::newRow("at the size limit") << QStringList{"h hole=1024"} << "" << 9 << qint64(1024) << V::Accepted << none;
        QTest::newRow("over the size limit") << QStringList{"h hole=1025"} << "" << 9 << qint64(1024) << V::TooLarge << none;
        QTest::newRow("gzip bomb") << QStringList{"f top/demo.pro", QString("z top/zeros=%1").arg(2 * gibibyte)}
                                   << "" << 100000 << gibibyte << V::TooLarge << none;
        // One byte by its header, a mebibyte of zeros by its data: only reading finds out.
        QTest::newRow("header that lies") << QStringList{"f top/demo.pro", "y top/zeros=1048576"}
                                          << "" << 9 << qint64(65536) << V::TooLarge << none;
        QTest::newRow("special entries")
            << QStringList{"f top/demo.pro", "l top/link>demo.pro", "p top/pipe", "c top/null", "k top/hard>top/demo.pro"}
            << "" << 9 << gibibyte << V::Accepted << QStringList{"top/hard", "top/link", "top/null", "top/pipe"};
        QTest::newRow("absolute name") << QStringList{"f top/demo.pro", "r /tmp/evil.txt"} << "" << 9 << gibibyte
                                       << V::UnsafeName << QStringList{"/tmp/evil.txt"};
        QTest::newRow("parent name") << QStringList{"f top/demo.pro", "r top/../../evil.txt"} << "" << 9 << gibibyte
                                     << V::UnsafeName << QStringList{"top/../../evil.txt"};
        QTest::newRow("hard link out") << QStringList{"k top/passwd>/etc/passwd"} << "" << 9 << gibibyte
                                       << V::UnsafeName << QStringList{"/etc/passwd"};
        QTest::newRow("not an archive") << three << "text" << 9 << gibibyte << V::Unreadable << none;
        QTest::newRow("cut in half") << QStringList{"f top/demo.pro", "z top/zeros=1048576"} << "half" << 9 << gibibyte
                                     << V::Unreadable << none;
        // The unpacker takes gzip only.
        QTest::newRow("tar without gzip") << three << "plain" << 9 << gibibyte << V::Unreadable << none;
    }

    void verdict()
    {
        QFETCH(QStringList, archive);
        QFETCH(QString, form);
        QFETCH(int, maximumEntries);
        QFETCH(qint64, maximumBytes);
        QFETCH(ArchiveContents::Verdict, verdict);
        QFETCH(QStringList, special);

        QTemporaryDir work;
        const QString file = work.filePath("archive.tar.gz");
        QCOMPARE(QProcess::execute("python3", QStringList{QFINDTESTDATA("../installation/hostilearchive.py"), file}
                                                  + archive), 0);
        const QMap<QString, QString> forms{{"text", "echo not an archive > \"$0\""},
                                           {"half", "truncate -s $(($(stat -c %s \"$0\") / 2)) \"$0\""},
                                           {"plain", "gzip -dc < \"$0\" > \"$0.tar\" && mv \"$0.tar\" \"$0\""}};
        if (!form.isEmpty())
            QCOMPARE(QProcess::execute("sh", {"-c", forms.value(form), file}), 0);
        QFile in(file);
        QVERIFY(in.open(QIODevice::ReadOnly));
        const QByteArray data = in.readAll();

        const ArchiveContents::Limits limits{maximumBytes, maximumEntries};
        for (const bool fromFile : {true, false}) {
            QElapsedTimer timer;
            timer.start();
            const ArchiveContents contents = fromFile ? ArchiveContents::readFile(file, limits)
                                                      : ArchiveContents::readData(data, limits);
            QVERIFY2(timer.elapsed() < 5000, "reading went on past the limit");
            QCOMPARE(contents.verdict(), verdict);
            QVERIFY(contents.entries().size() <= maximumEntries);
            if (verdict == ArchiveContents::Verdict::TooLarge)
                QVERIFY(qMax(contents.declaredBytes(), contents.readBytes()) > maximumBytes);
            // Stopped within a block of the limit, not after the last byte.
            QVERIFY(contents.readBytes() <= maximumBytes + (1 << 17));
            if (verdict == ArchiveContents::Verdict::Accepted) {
                QStringList names;
                for (const ArchiveContents::Entry &entry : contents.specialEntries())
                    names.append(entry.name);
                names.sort();
                QCOMPARE(names, special);
            } else if (verdict == ArchiveContents::Verdict::UnsafeName) {
                QCOMPARE(QStringList(contents.refusalDetail()), special);
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_ArchiveContents)

#include "tst_archivecontents.moc"
