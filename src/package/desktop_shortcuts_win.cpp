// Step 5 of the install: one shell link on the user's desktop per Shortcut entry, written through
// the shell's COM link object.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstring>

#include "common/fixed_text.h"
#include "install/installer_state.h"
#include "package/desktop_shortcuts.h"
#include "package/entry_targets.h"

namespace tessaly {

namespace {

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
        return false;
    }
    std::memset(state.desktopDir, 0, sizeof state.desktopDir);
    if (!SHGetSpecialFolderPathA(state.mainWindow, state.desktopDir, CSIDL_DESKTOPDIRECTORY,
                                 FALSE)) {
        return false;
    }
    if (!AppendText(state.desktopDir, "\\")) {
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
        }
    }
    return true;
}

void CreateShortcut(const char* target, const char* linkPath) {
    char work[kLinkTargetCapacity];
    if (!ComposeText(work, {target})) {
        return;
    }
    const ScopedComApartment apartment;
    ScopedComPtr<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive()))) {
        return;
    }
    link->SetPath(work);
    KeepDirectoryPart(work);
    link->SetRelativePath(work, 0);
    link->SetWorkingDirectory(work);
    ScopedComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Receive()))) {
        return;
    }
    // A link path of more than 260 UTF-16 units makes the conversion fail; no link is written.
    wchar_t widePath[kLinkPathWideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kLinkPathWideCapacity) == 0) {
        return;
    }
    file->Save(widePath, TRUE);
}

}  // namespace tessaly
