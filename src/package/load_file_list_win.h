// Step 3 of the install with the platform's services.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Fills the context's `entries`: LoadFileListFrom with FetchUrl or, in an installer built with a
// key, LoadSignedFileList with FetchUrl and BuiltInIndexTrust.
bool LoadFileList(InstallContext& context);

}  // namespace tessaly
