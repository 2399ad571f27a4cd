#pragma once

#include <QtGlobal>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Vantor {
namespace Internal {

class Settings;

// Points each repository's entry of "Help/InstalledExamples" in `settings` at the folder of the
// repository of `vantorSettings`.
void registerInstalledExamples(QSettings *settings, const Settings &vantorSettings);

} // namespace Internal
} // namespace Vantor
