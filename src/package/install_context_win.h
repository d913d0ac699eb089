// The install context: what the install worker keeps while it runs the six steps, and hands to each
// of them. The worker owns it alone; no other thread reads or writes it.
#pragma once

#include <windows.h>

#include <string>

#include "common/cp936_text.h"
#include "common/cp936_text_win.h"
#include "format/entry_paths.h"
#include "package/install_dir_paths.h"
#include "format/install_entry.h"

namespace tessaly {

struct InstallContext {
    // The installer window: the owner of what the shell shows, and where the notice and the close
    // request go. Set before the first step runs.
    HWND mainWindow;
    // Step 2 sets the installation directory, step 5 the desktop directory; each ends in a
    // backslash once complete.
    char installDir[INSTALL_DIR_CAPACITY];
    char desktopDir[DESKTOP_DIR_CAPACITY];
    // The folders `installDir` and `desktopDir` begin with, as Windows named them.
    WideFolder programFilesFolder;
    WideFolder desktopFolder;
    // The parsed file index (step 3), which steps 4 to 6 walk.
    EntryList entries;
};

// The UTF-16 path for a path the install composed under Program Files or the desktop, with those
// folders as Windows named them; see ComposeWidePath.
inline bool WidePath(const char* path, const InstallContext& context, std::u16string& wide) {
    return ComposeWidePath(path, {&context.programFilesFolder, &context.desktopFolder},
                           Cp936ToUtf16, wide);
}

}  // namespace tessaly
