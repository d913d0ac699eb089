// A folder of the install made, or found there, through the wide functions.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Creates the last component of `path` (its parent must exist) and verifies that the directory is
// there afterwards. `path` lies under a folder of `context`.
bool EnsureDirectory(const char* path, const InstallContext& context);

}  // namespace tessaly
