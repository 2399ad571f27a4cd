#include "notewindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("notes"));
    NoteWindow window;
    window.resize(480, 640);
    window.show();
    return app.exec();
}
