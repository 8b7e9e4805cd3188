#pragma once
#include "Utils/Platform.h"

namespace qb {

// Message boxes of the system, owned by no window (the host's stays usable behind them).
PlatformServices Win32PlatformServices();

}  // namespace qb
