// Step 5 of the install: one shell link on the user's desktop per Shortcut entry, written through
// the shell's COM link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstring>

#include "common/failure_report.h"
#include "common/fixed_text.h"
#include "install/installer_state.h"
#include "package/desktop_shortcuts.h"
#include "package/entry_targets.h"

namespace tessaly {

namespace {

// Save's remember flag: non-zero, so the link object takes the saved file as its current one.
constexpr BOOL REMEMBER_LINK_PATH = 2;

// COM for the length of one link: the worker thread's single-threaded apartment.
class ScopedComApartment {
  public:
    ScopedComApartment() { CoInitialize(nullptr); }
    ~ScopedComApartment() { CoUninitialize(); }
    ScopedComApartment(const ScopedComApartment&) = delete;
    ScopedComApartment& operator=(const ScopedComApartment&) = delete;
};

// Owns one interface reference.
template <typename Interface>
class ScopedComPtr {
  public:
    ScopedComPtr() = default;
    ~ScopedComPtr() {
        if (pointer_ != nullptr) {
            pointer_->Release();
        }
    }
    ScopedComPtr(const ScopedComPtr&) = delete;
    ScopedComPtr& operator=(const ScopedComPtr&) = delete;

    Interface* operator->() const { return pointer_; }
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

}  // namespace

bool CreateDesktopShortcuts() {
    InstallerState& state = State();
    if (state.entries.empty()) {
        ReportFailure("create links", "the file index", "no entries");
        return false;
    }
    std::memset(state.desktopDir, 0, sizeof state.desktopDir);
    if (!SHGetSpecialFolderPathA(state.mainWindow, state.desktopDir, CSIDL_DESKTOPDIRECTORY,
                                 FALSE)) {
        ReportError("find the desktop", "CSIDL_DESKTOPDIRECTORY", GetLastError());
        return false;
    }
    if (!AppendText(state.desktopDir, "\\")) {
        ReportFailure("find the desktop", state.desktopDir, "path too long");
        return false;
    }
    for (const InstallEntry& entry : state.entries) {
        if (entry.kind != Shortcut) {
            continue;
        }
        char target[kTargetPathCapacity];
        char linkPath[kLinkPathCapacity];
        if (ComposeLinkTarget(target, state.installDir, entry.path) &&
            ComposeLinkPath(linkPath, state.desktopDir, entry.local)) {
            CreateShortcut(target, linkPath);
        } else {
            ReportFailure("create link", entry.local, kRefusedPathReason);
        }
    }
    return true;
}

void CreateShortcut(const char* target, const char* linkPath) {
    char work[kLinkTargetCapacity];
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
    wchar_t widePath[kLinkPathWideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kLinkPathWideCapacity) == 0) {
        ReportError("create link", linkPath, GetLastError());
        return;
    }
    result = file->Save(widePath, REMEMBER_LINK_PATH);
    if (FAILED(result)) {
        ReportHresult("create link", linkPath, result);
    }
}

}  // namespace tessaly
