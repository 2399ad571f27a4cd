#include "messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace Core {
namespace AsynchronousMessageBox {

static QWidget *message(QMessageBox::Icon icon, const QString &title, const QString &description)
{
    auto box = new QMessageBox(icon, title, description, QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

QWidget *warning(const QString &title, const QString &description)
{
    return message(QMessageBox::Warning, title, description);
}

QWidget *information(const QString &title, const QString &description)
{
    return message(QMessageBox::Information, title, description);
}

QWidget *critical(const QString &title, const QString &description)
{
    return message(QMessageBox::Critical, title, description);
}

} // namespace AsynchronousMessageBox
} // namespace Core
