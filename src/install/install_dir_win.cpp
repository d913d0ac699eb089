// Step 2 of the install: finds Program Files, creates the Tessaly folder in it and proves that the
// directory is there with a directory search.
#include <windows.h>
#include <shlobj.h>

#include "common/fixed_text.h"
#include "install/install_dir.h"
#include "install/install_dir_paths.h"
#include "install/installer_state.h"

namespace tessaly {

static_assert(sizeof(InstallerState::installDir) == kInstallDirCapacity,
              "the install directory is composed in the state's own text");

bool PrepareInstallDir() {
    InstallerState& state = State();
    char programFiles[512] = {};
    if (!SHGetSpecialFolderPathA(state.mainWindow, programFiles, CSIDL_PROGRAM_FILES, FALSE)) {
        return false;
    }
    if (!ComposeInstallDir(state.installDir, programFiles)) {
        return false;
    }
    if (!EnsureDirectory(state.installDir)) {
        return false;
    }
    return AppendText(state.installDir, "\\");
}

bool EnsureDirectory(const char* path) {
    // The pattern is composed first, so a path too long to verify is refused before anything is
    // created.
    char pattern[kSearchPatternCapacity];
    if (!ComposeSearchPattern(pattern, path)) {
        return false;
    }
    CreateDirectoryA(path, nullptr);  // an existing directory is fine; the search decides
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

}  // namespace tessaly
