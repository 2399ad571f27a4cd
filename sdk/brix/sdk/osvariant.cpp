#include "osvariant.h"

namespace Brix {
namespace Sdk {

QString osVariant(int textStyle)
{
    switch (textStyle) {
    case 1:
        return QStringLiteral("NorvelOS");
    case 2:
        return QStringLiteral("norvelos");
    default:
        return QStringLiteral("Norvel OS");
    }
}

} // namespace Sdk
} // namespace Brix
