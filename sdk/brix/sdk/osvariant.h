#pragma once

#include <QString>

#if defined(BRIXSDK_LIBRARY)
#  define BRIXSDK_EXPORT Q_DECL_EXPORT
#else
#  define BRIXSDK_EXPORT Q_DECL_IMPORT
#endif

namespace Brix {
namespace Sdk {

// The operating system's display name; text style 0 is the plain name.
BRIXSDK_EXPORT QString osVariant(int textStyle = 0);

} // namespace Sdk
} // namespace Brix
