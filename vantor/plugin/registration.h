#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

// Points each repository's entry of "Help/InstalledExamples" at the repository's folder.
void registerInstalledExamples(QSettings *settings);

} // namespace Internal
} // namespace Vantor
