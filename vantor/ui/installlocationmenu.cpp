#include "installlocationmenu.h"

#include "plugin/logging.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QListWidget>
#include <QMenu>

namespace Vantor {
namespace Internal {

void installLocationMenu(QListWidget *list, const std::function<QUrl(const QString &)> &toUrl)
{
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, list, [list, toUrl](const QPoint &pos) {
        if (!list->itemAt(pos))
            return;
        QMenu menu;
        QAction *open = menu.addAction(
            QCoreApplication::translate("Vantor::Internal::Plugin", "Open location..."));
        if (menu.exec(list->viewport()->mapToGlobal(pos)) != open)
            return;
        // Every selected item, not only the one under the cursor.
        const QList<QListWidgetItem *> items = list->selectedItems();
        for (const QListWidgetItem *item : items) {
            const QString location = item->data(Qt::UserRole).toString();
            if (!QDesktopServices::openUrl(toUrl(location)))
                qCDebug(pluginLog) << "Unable to open location:" << location;
        }
    });
}

} // namespace Internal
} // namespace Vantor
