#pragma once

#include "core_global.h"

#include <QObject>

namespace Core {
namespace HelpManager {

class CORE_EXPORT Signals : public QObject
{
    Q_OBJECT

public:
    static Signals *instance();

signals:
    void setupFinished();
    void documentationChanged();
};

} // namespace HelpManager
} // namespace Core
