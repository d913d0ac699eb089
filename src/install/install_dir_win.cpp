// Step 2 of the install: finds Program Files, creates the Tessaly folder in it and proves that the
// directory is there with a directory search, through the wide functions.
#include <windows.h>
#include <shlobj.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "common/scoped_win.h"
#include "install/install_dir_win.h"
#include "package/install_dir_paths.h"
#include "install/shared_status.h"

namespace tessaly {

namespace {

constexpr char PATH_TOO_LONG[] = "path too long";

}  // namespace

bool PrepareInstallDir() {
    InstallerState& state = State();
    wchar_t programFiles[WIDE_FOLDER_CAPACITY] = {};
    if (!SHGetSpecialFolderPathW(state.mainWindow, programFiles, CSIDL_PROGRAM_FILES, FALSE)) {
        ReportError("find Program Files", "CSIDL_PROGRAM_FILES", GetLastError());
        return false;
    }
    if (!KeepWideFolder(programFiles, state.programFilesFolder)) {
        ReportFailure("find Program Files", "CSIDL_PROGRAM_FILES", PATH_TOO_LONG);
        return false;
    }
    const char* programFilesText = state.programFilesFolder.text;
    if (!ComposeInstallDir(state.installDir, programFilesText)) {
        ReportFailure("create folder", programFilesText, PATH_TOO_LONG);
        return false;
    }
    if (!EnsureDirectory(state.installDir)) {
        return false;
    }
    if (!AppendText(state.installDir, "\\")) {
        ReportFailure("create folder", state.installDir, PATH_TOO_LONG);
        return false;
    }
    return true;
}

bool EnsureDirectory(const char* path) {
    // The pattern is composed first, so a path too long to verify is refused before anything is
    // created.
    char pattern[SEARCH_PATTERN_CAPACITY];
    if (!ComposeSearchPattern(pattern, path)) {
        ReportFailure("create folder", path, PATH_TOO_LONG);
        return false;
    }
    std::u16string widePath;
    std::u16string widePattern;
    if (!WidePath(path, widePath) || !WidePath(pattern, widePattern)) {
        ReportFailure("create folder", path, NOT_CODE_PAGE_936_REASON);
        return false;
    }
    // An existing directory is fine; the search decides. Why the creation failed, if it did, is
    // what a failed search is reported with.
    const DWORD createError =
        CreateDirectoryW(AsWide(widePath), nullptr) ? ERROR_SUCCESS : GetLastError();
    WIN32_FIND_DATAW found;
    const ScopedFindHandle search(FindFirstFileW(AsWide(widePattern), &found));
    if (!search.IsValid()) {
        ReportError("create folder", path,
                    createError != ERROR_SUCCESS ? createError : GetLastError());
        return false;
    }
    return true;
}

}  // namespace tessaly
