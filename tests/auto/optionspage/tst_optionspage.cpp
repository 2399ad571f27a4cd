#include "plugin/pathtemplates.h"
#include "plugin/plugin.h"
#include "plugin/vantorpluginprivate.h"
#include "repository/apiclient.h"
#include "service/downloadservice.h"
#include "ui/examplesdialog.h"
#include "ui/optionswidget.h"

#include <gitlabserver.h>
#include <testprojects.h>
#include <testsupport.h>

#include <coreplugin/helpmanager.h>
#include <coreplugin/progressmanager/futureprogress.h>
#include <coreplugin/progressmanager/progressmanager.h>
#include <coreplugin/icore.h>

#include <QComboBox>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Vantor::Internal;

namespace {

const QString demo = "demo";
const QDateTime activity(QDate(2024, 3, 5), QTime(12, 0, 0), Qt::UTC); // of every project on the server

QString folder(const QString &relative, const QString &repository = demo)
{
    return repositoryPathTemplate().arg(repository) + '/' + relative;
}

bool install(const QString &relative, int secondsOlder = 0, const QString &repository = demo)
{
    return TestProjects::writeFile(folder(relative, repository), "examples-manifest.xml", "<instructionals/>\n")
           && TestProjects::setModified(folder(relative, repository) + "/examples-manifest.xml",
                                        activity.addSecs(-secondsOlder));
}

QStringList texts(const QListWidget *list, bool visibleOnly = false)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row) {
        if (!visibleOnly || !list->item(row)->isHidden())
            result.append(list->item(row)->text());
    }
    return result;
}

void select(QListWidget *list, const QStringList &items)
{
    for (const QString &text : items)
        list->findItems(text, Qt::MatchExactly).value(0)->setSelected(true);
}

// The removed examples stored for the first repository.
QStringList storedRemoved()
{
    return Core::ICore::settings()->value("Vantor/Repositories").toStringList().value(0).split('|').mid(2);
}

} // namespace

class tst_OptionsPage : public QObject
{
    Q_OBJECT

public:
    // The file URL handler: the names of the folders opened.
    Q_INVOKABLE void openLocation(const QUrl &url)
    {
        m_opened.append(QFileInfo(url.toLocalFile()).fileName());
        m_openedUrls.append(url.toString());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestSupport::useTestSettings());
        QVERIFY(folder("x").startsWith(qEnvironmentVariable("VANTOR_TEST_ROOT")));
        QVERIFY(m_server.listen());
        const qint64 group = m_server.addGroupPath("norvel/examples");
        for (const QString name : {"hello:Hello Widgets", "tool:Console Tool", "chart:Chart View"}) {
            const QString path = name.section(':', 0, 0);
            const QString avatar = m_work.filePath(path + ".png");
            QVERIFY(TestProjects::writePng(avatar, {64, 64}) && TestProjects::writeQmakeProject(m_work.filePath(path), path));
            const GitLabServer::ProjectOptions options{name.section(':', 1), path, {}, {}, {}, activity, avatar};
            m_ids.insert(path, m_server.addProject(group, m_work.filePath(path), options));
            QVERIFY2(m_ids.value(path), qPrintable(m_server.errorString()));
        }
        m_demo = demo + '|' + m_server.groupUrl("norvel/examples").toString() + '|';
    }

    void init()
    {
        // The staging folders of the last test's installations may still be going in the background.
        QTRY_VERIFY(QDir(repositoryPathTemplate().arg(QString())).removeRecursively());
        m_server.clearRequests();
    }

    void cleanup()
    {
        m_widget.reset();
        m_plugin.reset();
    }

    // The page itself, as the host shows it, is checked through the host by tst_e2e.
    void repositories()
    {
        for (const char *path : {"hello", "tool", "extra"})
            QVERIFY(install(path, 0, "Gamma"));
        for (const char *path : {"box", "alpha"})
            QVERIFY(install(path, 0, "alpha"));
        const QString unreachable = QString("|http://127.0.0.1:%1/").arg(TestSupport::unusedPort());
        open({"beta" + unreachable + "b|", "alpha" + unreachable + "a|", "Gamma" + unreachable + "g|"},
             {{"UpdatesCheckTimeoutDays", 150}, {"UpdatesCheckedDate", QStringList("alpha|01.02.2024")}});
        auto combo = child<QComboBox>("repositoryComboBox");
        QCOMPARE(QStringList({combo->itemText(0), combo->itemText(1), combo->itemText(2)}),
                 QStringList({"Gamma", "alpha", "beta"}));
        QCOMPARE(combo->currentIndex(), 0);
        const QString tip = combo->itemData(1, Qt::ToolTipRole).toString();
        QVERIFY(tip.contains(">" + QDir::toNativeSeparators(repositoryPathTemplate().arg("alpha")) + "</td>"));
        QVERIFY(tip.contains(">" + unreachable.mid(1) + "a</td>"));

        QVERIFY(!child<QLineEdit>("filterLineEdit")->placeholderText().isEmpty()); // the host's filtering mode
        child<QLineEdit>("filterLineEdit")->setText("EX");
        QCOMPARE(texts(list(), true), QStringList("extra"));
        combo->setCurrentText("alpha");
        QCOMPARE(texts(list(), true), QStringList({"alpha", "box"}));
        // Nothing to add from an unreachable server, nothing selected to remove: a box says so.
        child<QPushButton>("addButton")->click();
        child<QPushButton>("removeButton")->click();
        QStringList boxes;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto box = qobject_cast<QMessageBox *>(widget)) {
                boxes.append(box->windowTitle() + ": " + box->text());
                delete box;
            }
        }
        boxes.sort();
        QCOMPARE(boxes, QStringList({"Examples Not Found: Check your online connection and try again later!",
                                     "Examples Not Selected: Select examples to remove, press Remove button, then "
                                     "press Apply button to apply changes."}));
        QCOMPARE(texts(list()), QStringList({"alpha", "box"}));

        // An interval beyond the spin box shows, and is saved, as its maximum.
        QCOMPARE(child<QSpinBox>("timeoutSpinBox")->value(), 99);
        m_widget->apply();
        QCOMPARE(Core::ICore::settings()->value("Vantor/UpdatesCheckTimeoutDays").toInt(), 99);
    }

    void addAndApply_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("listed");

        QTest::newRow("accepted") << QStringList{"tool", "chart"} << true << QStringList{"Hello", "chart", "tool"};
        QTest::newRow("cancelled") << QStringList{"tool"} << false << QStringList{"Hello"};
        QTest::newRow("listed in another case") << QStringList{"hello"} << true << QStringList{"Hello"};
    }

    void addAndApply()
    {
        QFETCH(QStringList, chosen);
        QFETCH(bool, accepted);
        QFETCH(QStringList, listed);
        QVERIFY(install("Hello"));
        open({m_demo + "tool"});

        QTimer::singleShot(0, [&] {
            auto dialog = qobject_cast<ExamplesDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            // The filter looks at the path, the name ("Chart View") and the rest, in any letter case.
            auto filter = dialog->findChild<QLineEdit *>("filterLineEdit");
            QVERIFY(!filter->placeholderText().isEmpty()); // the host's filtering mode
            // The pictures of examples not installed come from the server while the dialog is open.
            const auto dialogList = dialog->findChild<QListWidget *>("examplesListWidget");
            QTRY_VERIFY(!dialogList->findItems("chart", Qt::MatchExactly).value(0)->icon().isNull());
            filter->setText("OO");
            QCOMPARE(texts(dialog->findChild<QListWidget *>("examplesListWidget"), true), QStringList("tool"));
            filter->setText("VIEW");
            QCOMPARE(texts(dialog->findChild<QListWidget *>("examplesListWidget"), true), QStringList("chart"));
            filter->clear();
            select(dialog->findChild<QListWidget *>("examplesListWidget"), chosen);
            dialog->findChild<QDialogButtonBox *>()->button(accepted ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
        child<QPushButton>("addButton")->click();
        QCOMPARE(texts(list()), listed);

        QSignalSpy changed(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged);
        m_widget->apply();
        const QStringList added = listed.mid(1);
        QCOMPARE(changed.count(), added.isEmpty() ? 0 : 1);
        QCOMPARE(storedRemoved().contains("tool"), !added.contains("tool"));
        for (const QString &path : added)
            QTRY_VERIFY(QFileInfo::exists(folder(path + "/examples-manifest.xml")));
        // Once everything is installed, the status line is empty again.
        QTRY_COMPARE(child<QLabel>("statusLabel")->text(), QString());
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), added.size());
    }

    void removeDeletesOnlyTheShownFolder_data()
    {
        QTest::addColumn<bool>("linkInItsPlace");

        QTest::newRow("folder") << false;
        QTest::newRow("replaced by a link to elsewhere") << true;
    }

    // The item "y" shows x/y; the folder "y" is a decoy, and "elsewhere" lies outside the repository.

    void removeDeletesOnlyTheShownFolder()
    {
        QFETCH(bool, linkInItsPlace);
        const QString elsewhere = m_work.filePath("elsewhere");
        QVERIFY(install("x/y") && TestProjects::writeFile(folder("y"), "keep.txt", "decoy\n"));
        QVERIFY(TestProjects::writeFile(elsewhere, "keep.txt", "outside\n") && QFile::link(elsewhere, folder("link")));
        open();
        QCOMPARE(texts(list()), QStringList("y"));

        select(list(), {"y"});
        child<QPushButton>("removeButton")->click();
        QCOMPARE(list()->count(), 0);
        if (linkInItsPlace)
            QVERIFY(QDir(folder("x/y")).removeRecursively() && QFile::link(elsewhere, folder("x/y")));
        QSignalSpy changed(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged);
        m_widget->apply();

        QVERIFY(!QFileInfo(folder("x/y")).exists() && !QFileInfo(folder("x/y")).isSymLink());
        QVERIFY(QFileInfo::exists(folder("y/keep.txt")) && QFileInfo::exists(elsewhere + "/keep.txt"));
        QVERIFY(QFileInfo(folder("link")).isSymLink());
        QVERIFY(storedRemoved().contains("y"));
        QCOMPARE(changed.count(), 1);
        QTest::qWait(100);
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 0);
    }

    void removedWhileInstalling_data()
    {
        QTest::addColumn<QString>("removedAt");

        QTest::newRow("while downloading") << "Downloading example: Console Tool";
        QTest::newRow("while unpacking") << "Unpacking example: Console Tool";
    }

    // Removed on another page (settings stored) while its download runs: it is not installed.

    void removedWhileInstalling()
    {
        QFETCH(QString, removedAt);
        QVERIFY(install("tool", 1)); // its update is on its way when it is removed
        open();
        DownloadService *service = Plugin::downloadService();
        QSignalSpy statuses(service, &DownloadService::progressChanged);
        connect(service, &DownloadService::progressChanged, m_widget.get(), [&](const QString &status) {
            if (status == removedAt)
                service->applyChanges(demo, {}, {"tool"});
        });
        service->applyChanges(demo, {"tool"}, {});

        const QString dropped = "Example Console Tool was removed, so it is not installed";
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("statusLabel")->text(), dropped, 10000);
        QCOMPARE(service->state(demo, "tool").state, ExampleState::Removed);
        QCOMPARE(TestSupport::texts(statuses).contains("Unpacking example: Console Tool"), removedAt.startsWith("Unpacking"));
        QCOMPARE(QDir(folder(QString())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
        QCOMPARE(QDir::temp().entryList({"tool-*"}), QStringList());
    }

    void itemsMenuPicturesAndRescan()
    {
        QVERIFY(install("hello") && install("tool", 1) && install("Chart", 1));
        open();
        // Only a manifest older than the server's last activity of its path, in the same case, is an update.
        for (const QString path : {"Chart", "hello", "tool"}) {
            const QListWidgetItem *item = list()->findItems(path, Qt::MatchExactly).value(0);
            const QString canonical = QDir(folder(path)).canonicalPath();
            const bool update = path == "tool";
            QCOMPARE(item->data(Qt::UserRole).toString(), canonical);
            QVERIFY(item->toolTip().contains(">" + QDir::toNativeSeparators(canonical) + "</td>"));
            QVERIFY(item->toolTip().contains(update ? ">Update available</td>" : ">Updated</td>"));
            QCOMPARE(item->background().color(), update ? QColor("#E2B2B6") : QColor(Qt::black));
            QCOMPARE(item->background().style(), update ? Qt::SolidPattern : Qt::NoBrush);
        }
        // A right-click on one of the selected items opens the folders of all selected ones.
        select(list(), {"Chart", "tool"});
        QDesktopServices::setUrlHandler("file", this, "openLocation");
        QTimer::singleShot(0, [] {
            auto menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu && menu->actions().value(0)->text() == "Open location...");
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().value(0)).center());
        });
        emit list()->customContextMenuRequested(list()->visualItemRect(list()->findItems("Chart", Qt::MatchExactly)[0]).center());
        QDesktopServices::unsetUrlHandler("file");
        m_opened.sort();
        QCOMPARE(m_opened, QStringList({"Chart", "tool"}));

        // Pictures of the page and of the dialog for people, in the build folder.
        m_widget->resize(640, 440);
        ExamplesDialog dialog(Plugin::downloadService()->examples(demo));
        dialog.show();
        QVERIFY(QDir().mkpath(SCREENSHOT_FOLDER));
        // At 100 % and 200 % scale, as people with dense screens see them.
        for (const qreal scale : {1.0, 2.0}) {
            const QString suffix = scale > 1 ? "@2x.png" : ".png";
            for (QWidget *shown : {static_cast<QWidget *>(m_widget.get()), static_cast<QWidget *>(&dialog)}) {
                QPixmap picture(shown->size() * scale);
                picture.setDevicePixelRatio(scale);
                shown->render(&picture);
                const QString name = shown == &dialog ? "/examples-dialog" : "/options-page";
                QVERIFY(picture.save(SCREENSHOT_FOLDER + name + suffix));
            }
        }

        // A scan after the service's work tells the host only when the number of examples changed.
        QList<int> listed; // rows when the host was told
        connect(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged,
                m_widget.get(), [&] { listed.append(list()->count()); });
        QVERIFY(install("extra"));
        m_widget->scanInstalledExamples();
        QCOMPARE(listed, QList<int>({4}));
        QVERIFY(QDir(folder("extra")).removeRecursively() && install("more"));
        m_widget->scanInstalledExamples();
        QCOMPARE(listed, QList<int>({4}));
        QCOMPARE(texts(list()), QStringList({"Chart", "hello", "more", "tool"}));
    }

    // Apply hands the user's changes over once; later changes in the same dialog work.
    void changesAfterApply()
    {
        open({m_demo + "tool"}); // "tool" removed before
        QSignalSpy changed(Core::HelpManager::Signals::instance(), &Core::HelpManager::Signals::documentationChanged);
        addInDialog({"tool", "chart"});
        m_widget->apply();
        m_widget->apply(); // then OK: nothing twice
        QCOMPARE(changed.count(), 1);
        for (const char *path : {"tool", "chart"})
            QTRY_VERIFY(QFileInfo::exists(folder(path + QString("/examples-manifest.xml"))));
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 2);
        QCOMPARE(storedRemoved(), QStringList(""));

        // Removed after it was added and applied: gone, and kept from coming back.
        QTRY_COMPARE(texts(list()), QStringList({"chart", "tool"}));
        select(list(), {"tool"});
        child<QPushButton>("removeButton")->click();
        m_widget->apply();
        QVERIFY(!QFileInfo::exists(folder("tool")));
        QCOMPARE(storedRemoved(), QStringList("tool"));
        QCOMPARE(texts(list()), QStringList("chart"));

        // Added again after that apply: downloaded again, no longer removed.
        addInDialog({"tool"});
        m_widget->apply();
        QTRY_VERIFY(QFileInfo::exists(folder("tool/examples-manifest.xml")));
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 3);
        QCOMPARE(storedRemoved(), QStringList(""));
        QTRY_COMPARE(texts(list()), QStringList({"chart", "tool"}));
    }

    // Remove takes only the selected items the user can see; a refill keeps removed ones out.
    void removeActsOnVisibleSelection()
    {
        QVERIFY(install("hello") && install("tool") && install("chart"));
        open();
        select(list(), {"hello"});
        child<QLineEdit>("filterLineEdit")->setText("o");
        QVERIFY(list()->findItems("hello", Qt::MatchExactly)[0]->isHidden() == false);
        child<QLineEdit>("filterLineEdit")->setText("t");
        select(list(), {"tool"});
        child<QPushButton>("removeButton")->click();
        child<QLineEdit>("filterLineEdit")->clear();
        QCOMPARE(texts(list()), QStringList({"chart", "hello"}));
        m_widget->showExamples(demo);
        QCOMPARE(texts(list()), QStringList({"chart", "hello"}));
        m_widget->apply();
        QVERIFY(QFileInfo::exists(folder("hello/examples-manifest.xml")));
        QVERIFY(!QFileInfo::exists(folder("tool")));
    }

    // One of three archives fails: the problem stays on the status line once the others are in.
    void problemStaysOnStatusLine()
    {
        m_server.setBehaviour(GitLabServer::archiveRoute(m_ids.value("tool")), GitLabBehaviour::reply(500));
        open();
        addInDialog({"hello", "tool", "chart"});
        m_widget->apply();
        QTRY_VERIFY(!Plugin::downloadService()->isBusy());
        const QString status = child<QLabel>("statusLabel")->text();
        QVERIFY2(status.startsWith("Network error: ") && status.contains("tried again later"), qPrintable(status));
        QCOMPARE(child<QLabel>("statusLabel")->textFormat(), Qt::PlainText);
        QTest::qWait(DownloadService::NotifyIntervalMs * 2);
        QCOMPARE(child<QLabel>("statusLabel")->text(), status);
        m_server.clearBehaviours();
    }

    // The server chooses the web address: only http and https reach the desktop.
    void dialogOpensOnlyWebAddresses()
    {
        Repository::Examples examples;
        for (const QString url : {"http://host/a", "https://host/b", "file:///etc/passwd", "vnc://host/c"})
            examples.append(Repository::ExamplePtr::create(
                TestSupport::projectJson(QUrl(url).path().mid(1).replace('/', '-'), {{"web_url", url}})));
        ExamplesDialog dialog(examples);
        dialog.show();
        m_openedUrls.clear();
        auto dialogList = dialog.findChild<QListWidget *>("examplesListWidget");
        dialogList->selectAll();
        for (const char *scheme : {"http", "https", "file", "vnc"})
            QDesktopServices::setUrlHandler(scheme, this, "openLocation");
        QTimer::singleShot(0, [] {
            auto menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().value(0)).center());
        });
        emit dialogList->customContextMenuRequested(dialogList->visualItemRect(dialogList->item(0)).center());
        for (const char *scheme : {"http", "https", "file", "vnc"})
            QDesktopServices::unsetUrlHandler(scheme);
        QCOMPARE(m_openedUrls, QStringList({"http://host/a", "https://host/b"}));
    }

    // A sync at start with one archive failing: what the page shows afterwards.
    void statesAfterSync()
    {
        m_server.setBehaviour(GitLabServer::archiveRoute(m_ids.value("tool")), GitLabBehaviour::reply(500));
        open({m_demo}, {{"UpdatesCheckTimeoutDays", 1}});
        QTRY_VERIFY_WITH_TIMEOUT(!Plugin::downloadService()->isBusy() && list()->count() == 3, 10000);
        const auto state = [this](const QString &path) {
            return list()->findItems(path, Qt::MatchExactly).value(0)->data(Qt::UserRole + 1).toString();
        };
        QCOMPARE(state("hello"), QString("Installed"));
        QVERIFY2(state("tool").startsWith("Failed: Network error: "), qPrintable(state("tool")));
        QVERIFY(!list()->findItems("chart", Qt::MatchExactly).value(0)->icon().isNull());
        QVERIFY(list()->findItems("tool", Qt::MatchExactly).value(0)->icon().isNull());
        QVERIFY(list()->findItems("chart", Qt::MatchExactly).value(0)->toolTip().contains(">Updated</td>"));
        QCOMPARE(child<QLabel>("statusLabel")->text(), QString("2 examples installed, 1 failed (see the list)"));
        QCOMPARE(child<QLabel>("lastCheckLabel")->text().left(14), QString("Last checked: "));
        child<QSpinBox>("timeoutSpinBox")->setValue(0);
        QCOMPARE(child<QSpinBox>("timeoutSpinBox")->text(), QString("Never"));
        QCOMPARE(child<QLabel>("lastCheckLabel")->text(), QString("Automatic updates are off"));
        m_server.clearBehaviours();
    }

    // "Check now" runs the check although today's is done; the hourly timer, once the date moved.
    void checksWhileOpen()
    {
        QVERIFY(install("hello", 3600));
        const QString today = demo + '|' + QDate::currentDate().toString("dd.MM.yyyy");
        open({m_demo + "tool|chart"}, {{"UpdatesCheckTimeoutDays", 1}, {"UpdatesCheckedDate", QStringList(today)}});
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 0);
        auto checkNow = child<QPushButton>("checkNowButton");
        checkNow->click();
        QVERIFY(!checkNow->isEnabled());
        // "hello" changed on the server since its manifest was written.
        QTRY_VERIFY_WITH_TIMEOUT(checkNow->isEnabled() && m_server.requestCount(GitLabServer::ArchiveRoute) == 1, 10000);
        QCOMPARE(m_server.requestCount(GitLabServer::archiveRoute(m_ids.value("hello"))), 1);

        // Deleted by hand: back once the check falls due, not before.
        QTRY_VERIFY(QFileInfo::exists(folder("hello/examples-manifest.xml")));
        QVERIFY(QDir(folder("hello")).removeRecursively());
        Plugin::downloadService()->checkDue(QDate::currentDate()); // checked today: not due
        QTest::qWait(300);
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);
        Plugin::downloadService()->checkDue(QDate::currentDate().addDays(2));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.requestCount(GitLabServer::ArchiveRoute), 2, 10000);
        QTRY_VERIFY(!Plugin::downloadService()->isBusy());
    }

    // Cancelling the task in the host's progress indicator drops what has not started.
    void cancelThroughProgress()
    {
        ApiClient::downloadPool()->setMaxThreadCount(1);
        m_server.setBehaviour(GitLabServer::ArchiveRoute, GitLabBehaviour::delay(300));
        open();
        addInDialog({"hello", "tool", "chart"});
        m_widget->apply();
        QTRY_COMPARE(Core::ProgressManager::instance()->tasks().size(), 1);
        Core::FutureProgress *task = Core::ProgressManager::instance()->tasks().first();
        QCOMPARE(task->title(), QString("Updating Norvel OS examples"));
        QTRY_COMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);
        task->cancel();
        QTRY_VERIFY(Core::ProgressManager::instance()->tasks().isEmpty());
        QTest::qWait(400);
        QCOMPARE(m_server.requestCount(GitLabServer::ArchiveRoute), 1);
        // One installed, and nothing left of the others' staging folders.
        QTRY_COMPARE(QDir(folder(QString())).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
        ApiClient::downloadPool()->setMaxThreadCount(ApiClient::DownloadWorkers);
        m_server.clearBehaviours();
    }

private:
    // Chooses the examples in the selection dialog and accepts it.
    void addInDialog(const QStringList &paths)
    {
        QTimer::singleShot(0, [paths] {
            auto dialog = qobject_cast<ExamplesDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            select(dialog->findChild<QListWidget *>("examplesListWidget"), paths);
            dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        });
        child<QPushButton>("addButton")->click();
    }

    // The plugin's private object (page and service) over these settings, and the page's widget.
    // Waits for the server's list when a repository is the test server's group.
    void open(const QStringList &repositories = {}, const QVariantMap &values = {{"UpdatesCheckTimeoutDays", 0}})
    {
        TestSupport::writeVantorSettings(repositories.isEmpty() ? QStringList(m_demo) : repositories, values);
        m_plugin = std::make_unique<VantorPluginPrivate>();
        if (repositories.isEmpty() || repositories.first().startsWith(m_demo.chopped(1)))
            QTRY_VERIFY_WITH_TIMEOUT(!Plugin::downloadService()->examples(demo).isEmpty(), 10000);
        m_widget = std::make_unique<OptionsWidget>();
        m_widget->show();
    }
    template<typename T> T *child(const char *name) const { return m_widget->findChild<T *>(name); }
    QListWidget *list() const { return child<QListWidget>("examplesListWidget"); }

    GitLabServer m_server;
    QTemporaryDir m_work;
    QString m_demo; // the settings entry of the server's group
    std::unique_ptr<VantorPluginPrivate> m_plugin;
    std::unique_ptr<OptionsWidget> m_widget;
    QStringList m_opened;
    QStringList m_openedUrls;
    QHash<QString, qint64> m_ids; // of the server's projects, by path
};

QTEST_MAIN(tst_OptionsPage)

#include "tst_optionspage.moc"
