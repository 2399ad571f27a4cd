#pragma once

#include "core_global.h"

#include <utils/qtcsettings.h>

#include <QObject>

namespace Core {

// The host's settings: the user file, with Qt's fallback to the install-wide file.
class CORE_EXPORT ICore : public QObject
{
    Q_OBJECT

public:
    static Utils::QtcSettings *settings(QSettings::Scope scope = QSettings::UserScope);

    // Host side only: sets the folders of the user and the install-wide settings and
    // recreates the settings objects. Organisation and application names must be set before.
    static void setSettingsPaths(const QString &userPath, const QString &installPath);
};

} // namespace Core
