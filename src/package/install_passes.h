// The rules of the three passes over the entry list (steps 4 to 6 of the install): which entries
// each pass acts on, in which order, with which composed path, and when it stops. The platform
// calls are handed in as actions, so the passes run the same on any host.
#pragma once

#include <functional>

#include "format/entry_paths.h"
#include "format/install_entry.h"

namespace tessaly {

struct DownloadPassActions {
    // Fetches the server path `path` and writes it to `local` under the install directory.
    std::function<bool(const char* path, const char* local)> downloadToFile;
    // Creates the directory `folderPath` (its parent exists) or finds it there.
    std::function<bool(const char* folderPath)> ensureDirectory;
};

// Step 4: every Download and Folder entry, first to last: a download with the entry's two columns,
// a folder with its path composed under `installDir`. Stops with false at the first entry whose
// action fails or whose folder path is refused; false for an empty list. Other kinds are passed
// over.
bool RunDownloadPass(const EntryList& entries, const char* installDir,
                     const DownloadPassActions& actions);

struct ShortcutPassActions {
    // Writes the user's desktop folder, without a trailing backslash, into `desktopDir`.
    std::function<bool(char (&desktopDir)[DESKTOP_DIR_CAPACITY])> findDesktop;
    // Writes the link `linkPath` pointing at `target`; its outcome is not reported.
    std::function<void(const char* target, const char* linkPath)> createShortcut;
};

// Step 5: false for an empty list, or when the desktop folder is not found (it is looked up even
// when no entry is a Shortcut); `desktopDir` then holds the folder with a trailing backslash. Every
// Shortcut entry whose target and link path compose gets one link, in list order; the others are
// passed over. True otherwise.
bool RunShortcutPass(const EntryList& entries, const char* installDir,
                     char (&desktopDir)[DESKTOP_DIR_CAPACITY], const ShortcutPassActions& actions);

// Step 6: opens every Launch entry whose path composes under `installDir`, in list order, without
// waiting for anything. Always true, also for an empty list.
bool RunLaunchPass(const EntryList& entries, const char* installDir,
                   const std::function<void(const char* launchPath)>& open);

}  // namespace tessaly
