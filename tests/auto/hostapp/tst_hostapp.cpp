#include "examplesreader.h"
#include "idlewatcher.h"
#include "optionsdialog.h"

#include <testoptionspage.h>
#include <testprojects.h>

#include <coreplugin/messagebox.h>
#include <utils/fancylineedit.h>

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

using namespace Host;
using TestPage = TestSupport::TestOptionsPage;

// The host application and the stand-in widgets it is built from. What the Welcome screen lists
// is checked through the whole host by tst_e2e; the examples reader here meets the entries and
// manifests that test never does.
class tst_HostApp : public QObject
{
    Q_OBJECT

private slots:
    void pagesByCategory();
    void widgetCreatedWhenFirstShown();
    void applyAndFinish_data();
    void applyAndFinish();
    void idleWatcher_data();
    void idleWatcher();
    void exampleSets_data();
    void exampleSets();
    void examplesReader();
    void optionsPageRegistry();
    void filterLineEdit();
    void messageBoxDoesNotBlock();

private:
    QString path(const QString &relative) const { return m_dir.filePath(relative); }
    void write(const QString &relative, const QByteArray &content)
    {
        QVERIFY(TestProjects::writeFile(m_dir.path(), relative, content));
    }
    static QByteArray manifest(const QByteArray &examples)
    {
        return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<instructionals module=\"demo\">\n"
               "<examples>\n" + examples + "</examples>\n</instructionals>\n";
    }

    QTemporaryDir m_dir;
};

void tst_HostApp::pagesByCategory()
{
    TestPage help("Test.Help", "Norvel OS Examples", "H.Help");
    TestPage core("Test.Core", "Environment", "A.Core");
    TestPage help2("Test.Help2", "Documentation", "H.Help");
    OptionsDialog dialog;

    QTreeWidget *tree = dialog.pageTree();
    QStringList pages; // "category: page" in tree order
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
            pages.append(tree->topLevelItem(i)->text(0) + ": " + tree->topLevelItem(i)->child(j)->text(0));
    }
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(pages, QStringList({"Core: Environment", "Help: Documentation", "Help: Norvel OS Examples"}));
}

void tst_HostApp::widgetCreatedWhenFirstShown()
{
    TestPage first("Test.First", "First", "H.Help");
    TestPage second("Test.Second", "Second", "H.Help");
    OptionsDialog dialog;
    dialog.show();
    QCOMPARE(first.counts.created + second.counts.created, 0);

    QVERIFY(dialog.selectPage("Second"));
    QCOMPARE(second.counts.created, 1);
    QVERIFY(second.lastWidget && second.lastWidget->isVisible());
    QVERIFY(dialog.selectPage("First"));
    QVERIFY(dialog.selectPage("Second"));
    QCOMPARE(second.counts.created, 1);
    QCOMPARE(first.counts.created, 1);
    QVERIFY(!dialog.selectPage("Third"));
}

void tst_HostApp::applyAndFinish_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("applied");

    QTest::newRow("ok") << int(QDialogButtonBox::Ok) << 1;
    QTest::newRow("cancel") << int(QDialogButtonBox::Cancel) << 0;
}

void tst_HostApp::applyAndFinish()
{
    QFETCH(int, button);
    QFETCH(int, applied);

    TestPage shown("Test.Shown", "Shown", "H.Help");
    TestPage hidden("Test.Hidden", "Hidden", "H.Help");
    OptionsDialog dialog;
    dialog.show();
    QVERIFY(dialog.selectPage("Shown"));
    QPointer<TestPage::Widget> widget = shown.lastWidget;

    dialog.buttonBox()->button(QDialogButtonBox::Apply)->click();
    QCOMPARE(shown.counts.applied, 1);
    QCOMPARE(shown.counts.finished, 0);

    dialog.buttonBox()->button(QDialogButtonBox::StandardButton(button))->click();
    QCOMPARE(shown.counts.applied, 1 + applied);
    QCOMPARE(shown.counts.finished, 1);
    QVERIFY2(!widget, "finish deletes the page's widget");
    QCOMPARE(hidden.counts.created, 0);
}

void tst_HostApp::idleWatcher_data()
{
    QTest::addColumn<int>("idleMs");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<int>("ticks"); // of activity, every 50 ms; -1: without end

    QTest::newRow("idle after the last activity") << 150 << 5000 << 6;
    QTest::newRow("time limit while busy") << 200 << 400 << -1;
}

void tst_HostApp::idleWatcher()
{
    QFETCH(int, idleMs);
    QFETCH(int, limitMs);
    QFETCH(int, ticks);

    IdleWatcher watcher(idleMs, limitMs);
    QSignalSpy idle(&watcher, &IdleWatcher::idle);
    QSignalSpy limit(&watcher, &IdleWatcher::timeLimitReached);
    QTimer activity;
    int ticked = 0;
    connect(&activity, &QTimer::timeout, this, [&] {
        watcher.activity();
        if (++ticked == ticks)
            activity.stop();
    });
    watcher.start();
    activity.start(50);

    const bool quiet = ticks > 0;
    QVERIFY((quiet ? idle : limit).wait(3000));
    // Six ticks of 50 ms, then 150 ms of quiet; coarse timers may fire a little early.
    QVERIFY2(!quiet || watcher.elapsed() >= 400, qPrintable(QString::number(watcher.elapsed())));
    QTest::qWait(300);
    QCOMPARE(idle.count(), quiet ? 1 : 0);
    QCOMPARE(limit.count(), quiet ? 0 : 1);
}

void tst_HostApp::exampleSets_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("taken");

    QTest::newRow("four fields") << "Demo|%1|%1|extra" << true;
    QTest::newRow("manifest folder differs from examples folder") << "Demo|%1|/elsewhere" << true;
    QTest::newRow("two fields") << "Demo|%1" << false;
    QTest::newRow("name only") << "Demo" << false;
    QTest::newRow("manifest folder missing") << "Demo|%1/missing|%1" << false;
    QTest::newRow("manifest folder is a file") << "Demo|%1/file.txt|%1" << false;
    QTest::newRow("empty manifest folder") << "Demo||%1" << false;
}

void tst_HostApp::exampleSets()
{
    QFETCH(QString, entry);
    QFETCH(bool, taken);
    write("file.txt", "x");

    const QStringList entries = {QString("Other|%1|%1").arg(m_dir.path()), entry.arg(m_dir.path())};
    const QList<ExampleSet> sets = ExamplesReader::parseExampleSets(entries);
    QCOMPARE(sets.size(), taken ? 2 : 1);
    QCOMPARE(sets.first().displayName, "Other");
    if (taken) {
        const QStringList fields = entries.last().split(QLatin1Char('|'));
        QCOMPARE(sets.last().displayName, "Demo");
        QCOMPARE(sets.last().manifestFolder, fields.at(1));
        QCOMPARE(sets.last().examplesFolder, fields.at(2));
    }
}

void tst_HostApp::examplesReader()
{
    // Manifests in one tree, some sources in another, as with the IDE's own examples.
    write("set/clock/clock.pro", "TEMPLATE = app\n");
    write("set/clock/both.pro", "");
    write("set/clock/qml/main.qml", "ApplicationWindow {}\n");
    QVERIFY(TestProjects::writePng(path("set/clock/example-icon.png"), {32, 16}));
    write("sources/both.pro", "");
    write("sources/a/a.pro", "");
    write("sources/a/main.cpp", "int main() {}\n");
    write("set/clock/examples-manifest.xml", manifest(
              "<example name=\"Clock\" projectPath=\"clock.pro\" imageUrl=\""
              + path("set/clock/example-icon.png").toUtf8() + "\">\n"
              "<description><![CDATA[Shows <the> time & date]]></description>\n"
              "<tags>qml,clock, time</tags>\n<platforms>Tas</platforms>\n"
              "<fileToOpen>/qml/main.qml</fileToOpen>\n</example>\n"
              "<example name=\"Alarm\" projectPath=\"clock.pro\" imageUrl=\"dummy.png\"><tags></tags></example>\n"
              "<example name=\"Gone\" projectPath=\"gone.pro\" imageUrl=\"\"/>\n"
              "<example name=\"Sources elsewhere\" projectPath=\"a/a.pro\"><fileToOpen>a/main.cpp</fileToOpen>"
              "</example>\n<example name=\"Both\" projectPath=\"both.pro\"/>\n"));
    // Only "examples-manifest.xml" in an immediate subfolder counts.
    const auto example = [](const char *name) {
        return QByteArray("<example name=\"") + name + "\" projectPath=\"app.pro\"/>\n";
    };
    for (const char *folder : {"set", "set/two/deeper", "set/three"})
        write(QString(folder) + "/app.pro", "TEMPLATE = app\n");
    write("set/examples-manifest.xml", manifest(example("Top")));
    write("set/two/deeper/examples-manifest.xml", manifest(example("Deeper")));
    write("set/three/other-manifest.xml", manifest(example("Other name")));

    ExampleSet set;
    set.manifestFolder = path("set");
    set.examplesFolder = path("sources");
    const QList<ExampleItem> examples = ExamplesReader::readExamples(set);
    // "Gone" names a project file that does not exist.
    QStringList names;
    for (const ExampleItem &item : examples)
        names.append(item.name);
    QCOMPARE(names, QStringList({"Alarm", "Both", "Clock", "Sources elsewhere"}));

    const ExampleItem &alarm = examples.at(0);
    QCOMPARE(alarm.imageUrl, "dummy.png");
    QVERIFY(!alarm.hasImage);
    QCOMPARE(alarm.image, ExamplesReader::placeholderImage());
    QVERIFY(alarm.tags.isEmpty());
    QVERIFY(alarm.fileToOpen.isEmpty());
    QCOMPARE(examples.at(1).projectPath, path("set/clock/both.pro"));

    const ExampleItem &clock = examples.at(2);
    QCOMPARE(clock.manifestPath, path("set/clock/examples-manifest.xml"));
    QCOMPARE(clock.description, "Shows <the> time & date");
    QCOMPARE(clock.projectPath, path("set/clock/clock.pro"));
    QCOMPARE(clock.fileToOpen, path("set/clock/qml/main.qml"));
    QCOMPARE(clock.tags, QStringList({"qml", "clock", "time"}));
    QVERIFY(clock.hasImage);
    QCOMPARE(clock.image.size(), QSize(32, 16));

    QCOMPARE(examples.at(3).projectPath, path("sources/a/a.pro"));
    QCOMPARE(examples.at(3).fileToOpen, path("sources/a/main.cpp"));
}

void tst_HostApp::optionsPageRegistry()
{
    auto registered = new TestPage("Test.Page", "Test", "H.Help");
    TestPage page("Test.Hidden", "Hidden", "H.Help", false);
    QVERIFY(Core::IOptionsPage::allOptionsPages().contains(registered));
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(&page));
    QCOMPARE(registered->id(), Utils::Id("Test.Page"));
    QCOMPARE(registered->category().toString(), "H.Help");
    delete registered;
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(registered));

    // What the dialog does with a page is checked above; a page outside the registry, too, gets
    // a new widget after finish().
    QPointer<QWidget> widget = page.widget();
    QCOMPARE(page.widget(), widget.data());
    page.finish();
    QVERIFY(!widget);
    QVERIFY(page.widget());
    QCOMPARE(page.counts.created, 2);
    page.finish();
}

void tst_HostApp::filterLineEdit()
{
    QWidget window;
    auto edit = new Utils::FancyLineEdit(&window);
    edit->setFiltering(true);
    window.show();
    QToolButton *clear = edit->clearButton();
    QVERIFY(clear);
    QCOMPARE(edit->placeholderText(), "Filter");
    QCOMPARE(clear->toolTip(), "Clear text");
    QVERIFY(!clear->isVisible());

    QTest::keyClicks(edit, "abc");
    QVERIFY(clear->isVisible());
    QVERIFY(clear->geometry().left() > edit->width() / 2);
    clear->click();
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!clear->isVisible());
}

void tst_HostApp::messageBoxDoesNotBlock()
{
    QPointer<QWidget> box = Core::AsynchronousMessageBox::warning("Title", "Text");
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    auto messageBox = qobject_cast<QMessageBox *>(box.data());
    QVERIFY(messageBox);
    QCOMPARE(messageBox->text(), "Text");
    QCOMPARE(messageBox->standardButtons(), QMessageBox::Ok);
    box->close();
    QTRY_VERIFY(!box);
}

QTEST_MAIN(tst_HostApp)

#include "tst_hostapp.moc"
