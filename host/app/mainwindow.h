#pragma once

#include <QMainWindow>

namespace Host {

class ExamplesReader;

// The IDE's window, reduced to its Welcome examples browser and the options dialog.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(ExamplesReader *reader, QWidget *parent = nullptr);

    // Opens the options dialog, on the page with that display name when there is one.
    void showOptions(const QString &pageName = QString());
};

} // namespace Host
