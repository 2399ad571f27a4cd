#include <testoptionspage.h>

#include <coreplugin/messagebox.h>
#include <utils/fancylineedit.h>

#include <QMessageBox>
#include <QPointer>
#include <QToolButton>
#include <QtTest>

using TestSupport::TestOptionsPage;

class tst_HostWidgets : public QObject
{
    Q_OBJECT

private slots:
    void optionsPage();
    void filterLineEdit();
    void messageBoxDoesNotBlock();
};

void tst_HostWidgets::optionsPage()
{
    auto registered = new TestOptionsPage("Test.Page", "Test", "H.Help");
    TestOptionsPage page("Test.Hidden", "Hidden", "H.Help", false);
    QVERIFY(Core::IOptionsPage::allOptionsPages().contains(registered));
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(&page));
    QCOMPARE(registered->id(), Utils::Id("Test.Page"));
    QCOMPARE(registered->category().toString(), QLatin1String("H.Help"));
    delete registered;
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(registered));

    QPointer<QWidget> widget = page.widget();
    QVERIFY(widget);
    QCOMPARE(page.widget(), widget.data());
    QCOMPARE(page.counts.created, 1);

    page.apply();
    QCOMPARE(page.counts.applied, 1);
    QCOMPARE(page.counts.finished, 0);
    page.finish();
    QCOMPARE(page.counts.applied, 1);
    QCOMPARE(page.counts.finished, 1);
    QVERIFY(!widget);

    // The next opening of the dialog gets a new widget.
    QVERIFY(page.widget());
    QCOMPARE(page.counts.created, 2);
    page.finish();
}

void tst_HostWidgets::filterLineEdit()
{
    QWidget window;
    auto edit = new Utils::FancyLineEdit(&window);
    edit->setFiltering(true);
    window.show();
    QToolButton *clear = edit->clearButton();
    QVERIFY(clear);
    QCOMPARE(edit->placeholderText(), QLatin1String("Filter"));
    QCOMPARE(clear->toolTip(), QLatin1String("Clear text"));
    QVERIFY(!clear->isVisible());

    QTest::keyClicks(edit, QLatin1String("abc"));
    QVERIFY(clear->isVisible());
    QVERIFY(clear->geometry().left() > edit->width() / 2);
    clear->click();
    QVERIFY(edit->text().isEmpty());
    QVERIFY(!clear->isVisible());
}

void tst_HostWidgets::messageBoxDoesNotBlock()
{
    QPointer<QWidget> box = Core::AsynchronousMessageBox::warning(QLatin1String("Title"), QLatin1String("Text"));
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    auto messageBox = qobject_cast<QMessageBox *>(box.data());
    QVERIFY(messageBox);
    QCOMPARE(messageBox->text(), QLatin1String("Text"));
    QCOMPARE(messageBox->standardButtons(), QMessageBox::Ok);
    box->close();
    QTRY_VERIFY(!box);
}

QTEST_MAIN(tst_HostWidgets)

#include "tst_hostwidgets.moc"
