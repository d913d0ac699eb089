// Step 5 of the install: the shortcut pass over the entry list, with the platform's actions: the
// desktop folder looked up, one link written through the shell's COM link object, all in UTF-16.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "common/scoped_win.h"
#include "install/shared_status.h"
#include "package/desktop_shortcuts_win.h"
#include "package/entry_targets.h"
#include "package/install_passes.h"

namespace tessaly {

namespace {

// Save's remember flag: non-zero, so the link object takes the saved file as its current one.
constexpr BOOL REMEMBER_LINK_PATH = 2;

// The current user's file-system desktop folder, without creating it. Windows' answer is kept as
// it is for the links' paths; `desktopDir` gets its code page 936 text.
bool FindDesktop(char (&desktopDir)[DESKTOP_DIR_CAPACITY]) {
    InstallerState& state = State();
    wchar_t desktop[WIDE_FOLDER_CAPACITY] = {};
    if (!SHGetSpecialFolderPathW(state.mainWindow, desktop, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        ReportError("find the desktop", "CSIDL_DESKTOPDIRECTORY", GetLastError());
        return false;
    }
    if (!KeepWideFolder(desktop, state.desktopFolder) ||
        !ComposeText(desktopDir, {state.desktopFolder.text})) {
        ReportFailure("find the desktop", "CSIDL_DESKTOPDIRECTORY", "path too long");
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
    std::u16string wideTarget;
    std::u16string wideDirectory;
    std::u16string widePath;
    const bool targetConverted = WidePath(work, wideTarget);
    KeepDirectoryPart(work);
    if (!targetConverted || !WidePath(work, wideDirectory) || !WidePath(linkPath, widePath)) {
        ReportFailure("create link", linkPath, NOT_CODE_PAGE_936_REASON);
        return;
    }
    // The link path is handed over in at most 260 UTF-16 units, terminator included.
    if (widePath.size() >= LINK_PATH_WIDE_CAPACITY) {
        ReportFailure("create link", linkPath, "link path too long");
        return;
    }
    const ScopedComApartment apartment;
    ScopedComPtr<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.Receive());
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
        return;
    }
    link->SetPath(AsWide(wideTarget));
    link->SetRelativePath(AsWide(wideDirectory), 0);
    link->SetWorkingDirectory(AsWide(wideDirectory));
    ScopedComPtr<IPersistFile> file;
    result = link->QueryInterface(IID_IPersistFile, file.Receive());
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
        return;
    }
    result = file->Save(AsWide(widePath), REMEMBER_LINK_PATH);
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
    }
}

}  // namespace tessaly
