#include <utils/archive.h>

#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The host's unpacker as the plugin meets it.
class tst_Archive : public QObject
{
    Q_OBJECT

private slots:
    void unarchive_data()
    {
        QTest::addColumn<bool>("valid");      // a real archive, else text under an archive's name
        QTest::addColumn<QString>("action");  // "cancel" at once, "delete" in the finished slot, or none
        QTest::addColumn<bool>("success");
        QTest::addColumn<QString>("lastLine");

        QTest::newRow("unpacked") << true << "" << true << "top/file";
        QTest::newRow("damaged") << false << "" << false << "Command failed.";
        QTest::newRow("deleted by the caller") << false << "delete" << false << "Command failed.";
        QTest::newRow("cancelled") << true << "cancel" << false << QString();
    }

    void unarchive()
    {
        QFETCH(bool, valid);
        QFETCH(QString, action);
        QFETCH(bool, success);

        QTemporaryDir work;
        const QString file = work.filePath("example.tar.gz");
        QVERIFY(QDir().mkpath(work.filePath("tree/top")));
        QFile content(valid ? work.filePath("tree/top/file") : file);
        QVERIFY(content.open(QIODevice::WriteOnly) && content.write("not an archive\n") > 0);
        content.close();
        if (valid)
            QCOMPARE(QProcess::execute("tar", {"czf", file, "-C", work.filePath("tree"), "top"}), 0);

        QPointer<Utils::Archive> archive = Utils::Archive::unarchive(Utils::FilePath::fromString(file),
                                                                     Utils::FilePath::fromString(work.filePath("out")));
        QVERIFY(archive);
        QString output;
        QList<bool> results;
        connect(archive, &Utils::Archive::outputReceived, this, [&](const QString &text) { output += text; });
        connect(archive, &Utils::Archive::finished, this, [&](bool ok) {
            results.append(ok);
            if (action == "delete")
                delete archive;
        });
        if (action == "cancel")
            archive->cancel();
        QTRY_VERIFY(!archive); // it goes by itself once it has finished
        QCOMPARE(results, QList<bool>{success});

        const QStringList lines = output.split('\n', Qt::SkipEmptyParts);
        if (action == "cancel") {
            QCOMPARE(lines, QStringList());
            return;
        }
        QCOMPARE(lines.value(0), "Running " + QStandardPaths::findExecutable("tar") + " xvzf " + file);
        QTEST(lines.last(), "lastLine");
        // The tool's complaints arrive among the listing.
        const QRegularExpression complaint("^(tar|gzip): ");
        QCOMPARE(std::any_of(lines.cbegin(), lines.cend(), [&](const QString &line) {
            return complaint.match(line).hasMatch();
        }), !valid);
        QCOMPARE(QFileInfo::exists(work.filePath("out/top/file")), valid);
    }
};

QTEST_GUILESS_MAIN(tst_Archive)

#include "tst_archive.moc"
