#pragma once

#include <QString>
#include <QUrl>

#include <functional>

QT_BEGIN_NAMESPACE
class QListWidget;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Gives the list the context menu "Open location...", which opens the location stored under
// Qt::UserRole of every selected item, turned into a URL by `toUrl`.
void installLocationMenu(QListWidget *list, const std::function<QUrl(const QString &)> &toUrl);

} // namespace Internal
} // namespace Vantor
