#pragma once

#include "utils_global.h"

#include <QSettings>

namespace Utils {

// The host's settings type: a QSettings, as far as the plugins are concerned.
class QTCREATOR_UTILS_EXPORT QtcSettings : public QSettings
{
public:
    using QSettings::QSettings;
};

} // namespace Utils
