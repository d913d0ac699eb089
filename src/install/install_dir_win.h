// Step 2 of the install: the installation directory.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Sets the context's `installDir` to the Program Files folder + "\Tessaly\" and makes sure the
// directory exists.
bool PrepareInstallDir(InstallContext& context);

}  // namespace tessaly
