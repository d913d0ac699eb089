// Step 5 of the install: desktop links.
#pragma once

namespace tessaly {

// Writes one desktop link per Shortcut entry. False when the list is empty or the desktop folder
// cannot be found; a single link that cannot be written is passed over.
bool CreateDesktopShortcuts();
// Writes the shell link `linkPath` pointing at `target`.
void CreateShortcut(const char* target, const char* linkPath);

}  // namespace tessaly
