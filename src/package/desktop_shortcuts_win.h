// Step 5 of the install: desktop links.
#pragma once

#include "package/install_context_win.h"

namespace tessaly {

// Finds the desktop (the context's `desktopDir` and `desktopFolder`) and writes one desktop link
// per Shortcut entry. False when the list is empty or the desktop folder cannot be found; a single
// link that cannot be written is passed over.
bool CreateDesktopShortcuts(InstallContext& context);
// Writes the shell link `linkPath` pointing at `target`; both lie under folders of `context`.
void CreateShortcut(const char* target, const char* linkPath, const InstallContext& context);

}  // namespace tessaly
