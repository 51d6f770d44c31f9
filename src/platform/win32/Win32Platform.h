// The real platform: each method is the Windows call of the same name.
#pragma once

#include "../Platform.h"

namespace vt {

// The process-wide instance; the library and the programs install it at start.
Platform& Win32PlatformInstance();

}  // namespace vt
