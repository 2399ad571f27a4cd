#include "mainwindow.h"

#include "examplesview.h"
#include "optionsdialog.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>

#include <coreplugin/progressmanager/futureprogress.h>
#include <coreplugin/progressmanager/progressmanager.h>

namespace Host {

MainWindow::MainWindow(ExamplesReader *reader, QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Welcome - Examples"));
    resize(1000, 700);
    setCentralWidget(new ExamplesView(reader));

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    QAction *quit = fileMenu->addAction(tr("E&xit"), qApp, &QApplication::quit);
    quit->setShortcut(QKeySequence::Quit);
    QMenu *toolsMenu = menuBar()->addMenu(tr("&Tools"));
    toolsMenu->addAction(tr("&Options..."), this, [this] { showOptions(); });

    // The progress indicator: the running tasks of the plugins, in the status bar.
    auto progress = new QProgressBar;
    progress->setMaximumWidth(200);
    progress->hide();
    statusBar()->addPermanentWidget(progress);
    Core::ProgressManager *manager = Core::ProgressManager::instance();
    connect(manager, &Core::ProgressManager::taskAdded, this, [this, progress](Core::FutureProgress *task) {
        progress->setFormat(task->title() + QLatin1String(": %v/%m"));
        progress->setRange(0, 0);
        progress->show();
        connect(task, &Core::FutureProgress::progressChanged, progress, [progress](int value, int minimum, int maximum) {
            progress->setRange(minimum, maximum);
            progress->setValue(value);
        });
        statusBar()->showMessage(task->title());
    });
    connect(manager, &Core::ProgressManager::taskFinished, this, [this, progress, manager] {
        if (manager->tasks().isEmpty()) {
            progress->hide();
            statusBar()->clearMessage();
        }
    });
}

void MainWindow::showOptions(const QString &pageName)
{
    auto dialog = new OptionsDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!pageName.isEmpty())
        dialog->selectPage(pageName);
    dialog->open();
}

} // namespace Host
