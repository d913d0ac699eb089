// Step 2 of the install: finds Program Files and creates the Tessaly folder in it.
#include "install/install_dir_win.h"

#include <shlobj.h>

#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "package/ensure_directory_win.h"

namespace tessaly {

namespace {

constexpr char PATH_TOO_LONG[] = "path too long";

}  // namespace

bool PrepareInstallDir(InstallContext& context) {
    wchar_t programFiles[WIDE_FOLDER_CAPACITY] = {};
    if (!SHGetSpecialFolderPathW(context.mainWindow, programFiles, CSIDL_PROGRAM_FILES, FALSE)) {
        ReportError("find Program Files", "CSIDL_PROGRAM_FILES", GetLastError());
        return false;
    }
    if (!KeepWideFolder(programFiles, context.programFilesFolder)) {
        ReportFailure("find Program Files", "CSIDL_PROGRAM_FILES", PATH_TOO_LONG);
        return false;
    }
    const char* programFilesText = context.programFilesFolder.text;
    if (!ComposeInstallDir(context.installDir, programFilesText)) {
        ReportFailure("create folder", programFilesText, PATH_TOO_LONG);
        return false;
    }
    if (!EnsureDirectory(context.installDir, context)) {
        return false;
    }
    if (!AppendText(context.installDir, "\\")) {
        ReportFailure("create folder", context.installDir, PATH_TOO_LONG);
        return false;
    }
    return true;
}

}  // namespace tessaly
