// Step 2 of the install: the installation directory.
#pragma once

namespace tessaly {

// Sets `installDir` to the Program Files folder + "\Tessaly\" and makes sure the directory exists.
bool PrepareInstallDir();
// Creates the last component of `path` (its parent must exist) and verifies that the directory is
// there afterwards.
bool EnsureDirectory(const char* path);

}  // namespace tessaly
