// Step 6 of the install: opening what the index marks for launch.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Opens every Launch entry of the context with the shell, in list order, without waiting. Always
// true.
bool LaunchEntries(const InstallContext& context);

}  // namespace tessaly
