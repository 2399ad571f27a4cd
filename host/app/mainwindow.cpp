#include "mainwindow.h"

#include "examplesview.h"
#include "optionsdialog.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>

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
