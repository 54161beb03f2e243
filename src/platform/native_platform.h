// NativePlatform: the Platform of the system the program is built for.
// Front ends create this one; everything below them holds a Platform&.
#pragma once

#ifdef _WIN32
#include "platform/windows_platform.h"
#else
#include "platform/posix_platform.h"
#endif

namespace quoldex::platform {

#ifdef _WIN32
using NativePlatform = WindowsPlatform;
#else
using NativePlatform = PosixPlatform;
#endif

}  // namespace quoldex::platform
