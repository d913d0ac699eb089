// Step 4 of the install: the Download and Folder entries.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Walks the context's entry list in order: fetches every Download entry into the install directory
// and creates every Folder entry there. Stops at the first failure. False for an empty list.
bool DownloadFiles(const InstallContext& context);
// Fetches `path` from the package server and writes it to `local` under the context's install
// directory. The target is composed and checked first, so a refused one costs no request. An
// installer built with a key keeps a target that holds the content the path names already, without
// a request (DownloadAddressedFile).
bool DownloadToFile(const char* path, const char* local, const InstallContext& context);

}  // namespace tessaly
