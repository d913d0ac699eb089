// Step 5 of the install: the shortcut pass over the entry list, with the platform's actions: the
// desktop folder looked up, one link written through the shell's COM link object, all in UTF-16.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "common/scoped_win.h"
#include "package/desktop_shortcuts_win.h"
#include "package/entry_targets.h"
#include "package/install_passes.h"

namespace tessaly {

namespace {

// Save's remember flag: non-zero, so the link object takes the saved file as its current one.
constexpr BOOL REMEMBER_LINK_PATH = 2;

// The current user's file-system desktop folder, without creating it. Windows' answer is kept as
// it is for the links' paths, in the context's `desktopFolder`; `desktopDir` gets its code page 936
// text.
bool FindDesktop(char (&desktopDir)[DESKTOP_DIR_CAPACITY], InstallContext& context) {
    wchar_t desktop[WIDE_FOLDER_CAPACITY] = {};
    if (!SHGetSpecialFolderPathW(context.mainWindow, desktop, CSIDL_DESKTOPDIRECTORY, FALSE)) {
        ReportError("find the desktop", "CSIDL_DESKTOPDIRECTORY", GetLastError());
        return false;
    }
    if (!KeepWideFolder(desktop, context.desktopFolder) ||
        !ComposeText(desktopDir, {context.desktopFolder.text})) {
        ReportFailure("find the desktop", "CSIDL_DESKTOPDIRECTORY", "path too long");
        return false;
    }
    return true;
}

}  // namespace

bool CreateDesktopShortcuts(InstallContext& context) {
    return RunShortcutPass(context.entries, context.installDir, context.desktopDir,
                           {[&context](char(&desktopDir)[DESKTOP_DIR_CAPACITY]) {
                                return FindDesktop(desktopDir, context);
                            },
                            [&context](const char* target, const char* linkPath) {
                                CreateShortcut(target, linkPath, context);
                            }});
}

void CreateShortcut(const char* target, const char* linkPath, const InstallContext& context) {
    char work[LINK_TARGET_CAPACITY];
    if (!ComposeText(work, {target})) {
        ReportFailure("create link", linkPath, "target path too long");
        return;
    }
    std::u16string wideTarget;
    std::u16string wideDirectory;
    std::u16string widePath;
    const bool targetConverted = WidePath(work, context, wideTarget);
    KeepDirectoryPart(work);
    if (!targetConverted || !WidePath(work, context, wideDirectory) ||
        !WidePath(linkPath, context, widePath)) {
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
