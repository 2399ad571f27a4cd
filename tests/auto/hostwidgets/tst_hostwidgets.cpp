#include <coreplugin/dialogs/ioptionspage.h>
#include <coreplugin/messagebox.h>
#include <utils/fancylineedit.h>

#include <QMessageBox>
#include <QPointer>
#include <QToolButton>
#include <QtTest>

namespace {

class CountingWidget : public Core::IOptionsPageWidget
{
public:
    explicit CountingWidget(QStringList *calls) : m_calls(calls) {}
    void apply() override { m_calls->append(QLatin1String("apply")); }
    void finish() override { m_calls->append(QLatin1String("finish")); }

private:
    QStringList *m_calls;
};

class TestPage : public Core::IOptionsPage
{
public:
    TestPage(QStringList *calls, bool registerGlobally)
        : Core::IOptionsPage(nullptr, registerGlobally)
    {
        setId("Test.Page");
        setCategory("H.Help");
        setDisplayName(QLatin1String("Test"));
        setWidgetCreator([this, calls] {
            ++created;
            return new CountingWidget(calls);
        });
    }
    int created = 0;
};

} // namespace

class tst_HostWidgets : public QObject
{
    Q_OBJECT

private slots:
    void optionsPageRegistry();
    void optionsPageWidget();
    void filterLineEdit();
    void messageBoxDoesNotBlock();
};

void tst_HostWidgets::optionsPageRegistry()
{
    QStringList calls;
    auto page = new TestPage(&calls, true);
    TestPage hidden(&calls, false);
    QVERIFY(Core::IOptionsPage::allOptionsPages().contains(page));
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(&hidden));
    QCOMPARE(page->id(), Utils::Id("Test.Page"));
    QCOMPARE(page->category().toString(), QLatin1String("H.Help"));
    delete page;
    QVERIFY(!Core::IOptionsPage::allOptionsPages().contains(page));
}

void tst_HostWidgets::optionsPageWidget()
{
    QStringList calls;
    TestPage page(&calls, true);
    QPointer<QWidget> widget = page.widget();
    QVERIFY(widget);
    QCOMPARE(page.widget(), widget.data());
    QCOMPARE(page.created, 1);

    page.apply();
    QCOMPARE(calls, QStringList{"apply"});
    page.finish();
    QCOMPARE(calls, (QStringList{"apply", "finish"}));
    QVERIFY(!widget);

    // The next opening of the dialog gets a new widget.
    QVERIFY(page.widget());
    QCOMPARE(page.created, 2);
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
