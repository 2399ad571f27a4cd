#include "idlewatcher.h"
#include "optionsdialog.h"

#include <testoptionspage.h>

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

using TestPage = TestSupport::TestOptionsPage;

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
};

void tst_HostApp::pagesByCategory()
{
    TestPage help("Test.Help", QStringLiteral("Norvel OS Examples"), "H.Help");
    TestPage core("Test.Core", QStringLiteral("Environment"), "A.Core");
    TestPage help2("Test.Help2", QStringLiteral("Documentation"), "H.Help");
    Host::OptionsDialog dialog;

    QTreeWidget *tree = dialog.pageTree();
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Core"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
    QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), QStringLiteral("Environment"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Help"));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 2);
    QCOMPARE(tree->topLevelItem(1)->child(0)->text(0), QStringLiteral("Documentation"));
    QCOMPARE(tree->topLevelItem(1)->child(1)->text(0), QStringLiteral("Norvel OS Examples"));
}

void tst_HostApp::widgetCreatedWhenFirstShown()
{
    TestPage first("Test.First", QStringLiteral("First"), "H.Help");
    TestPage second("Test.Second", QStringLiteral("Second"), "H.Help");
    Host::OptionsDialog dialog;
    dialog.show();
    QCOMPARE(first.counts.created + second.counts.created, 0);

    QVERIFY(dialog.selectPage(QStringLiteral("Second")));
    QCOMPARE(second.counts.created, 1);
    QVERIFY(second.lastWidget && second.lastWidget->isVisible());
    QVERIFY(dialog.selectPage(QStringLiteral("First")));
    QVERIFY(dialog.selectPage(QStringLiteral("Second")));
    QCOMPARE(second.counts.created, 1);
    QCOMPARE(first.counts.created, 1);
    QVERIFY(!dialog.selectPage(QStringLiteral("Third")));
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

    TestPage shown("Test.Shown", QStringLiteral("Shown"), "H.Help");
    TestPage hidden("Test.Hidden", QStringLiteral("Hidden"), "H.Help");
    Host::OptionsDialog dialog;
    dialog.show();
    QVERIFY(dialog.selectPage(QStringLiteral("Shown")));
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

    Host::IdleWatcher watcher(idleMs, limitMs);
    QSignalSpy idle(&watcher, &Host::IdleWatcher::idle);
    QSignalSpy limit(&watcher, &Host::IdleWatcher::timeLimitReached);
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

QTEST_MAIN(tst_HostApp)

#include "tst_hostapp.moc"
