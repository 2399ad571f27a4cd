#pragma once

#include "core_global.h"

#include <QString>

QT_BEGIN_NAMESPACE
class QWidget;
QT_END_NAMESPACE

namespace Core {
namespace AsynchronousMessageBox {

// Each shows a message box with an OK button without blocking and returns it at once;
// the box deletes itself when closed.
CORE_EXPORT QWidget *warning(const QString &title, const QString &description);
CORE_EXPORT QWidget *information(const QString &title, const QString &description);
CORE_EXPORT QWidget *critical(const QString &title, const QString &description);

} // namespace AsynchronousMessageBox
} // namespace Core
