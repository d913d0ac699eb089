// Step 5 of the install: the shortcut pass over the entry list, with the platform's actions: the
// desktop folder looked up, one link written through the shell's COM link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "common/scoped_win.h"
#include "install/installer_state.h"
#include "package/desktop_shortcuts.h"
#include "package/entry_targets.h"
#include "package/install_passes.h"

namespace tessaly {

namespace {

// Save's remember flag: non-zero, so the link object takes the saved file as its current one.
constexpr BOOL REMEMBER_LINK_PATH = 2;

// The current user's file-system desktop folder, without creating it.
bool FindDesktop(char (&desktopDir)[DESKTOP_DIR_CAPACITY]) {
    if (!SHGetSpecialFolderPathA(State().mainWindow, desktopDir, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        ReportError("find the desktop", "CSIDL_DESKTOPDIRECTORY", GetLastError());
        return false;
    }
    return true;
}

}  // namespace

bool CreateDesktopShortcuts() {
    InstallerState& state = State();
    return RunShortcutPass(state.entries, state.installDir, state.desktopDir,
                           {FindDesktop, CreateShortcut});
}

void CreateShortcut(const char* target, const char* linkPath) {
    char work[LINK_TARGET_CAPACITY];
    if (!ComposeText(work, {target})) {
        ReportFailure("create link", linkPath, "target path too long");
        return;
    }
    const ScopedComApartment apartment;
    ScopedComPtr<IShellLinkA> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.Receive());
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
        return;
    }
    link->SetPath(work);
    KeepDirectoryPart(work);
    link->SetRelativePath(work, 0);
    link->SetWorkingDirectory(work);
    ScopedComPtr<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, file.Receive());
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
        return;
    }
    // A link path of more than 260 UTF-16 units makes the conversion fail; no link is written.
    wchar_t widePath[LINK_PATH_WIDE_CAPACITY];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, LINK_PATH_WIDE_CAPACITY) == 0) {
        ReportError("create link", linkPath, GetLastError());
        return;
    }
    result = file->Save(widePath, REMEMBER_LINK_PATH);
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
    }
}

}  // namespace tessaly
