// The restricted DLL search, system-folder loads, and the hook through which the delay-loaded
// system DLLs (src/imports) are loaded at first use.
#include "common/system_library_win.h"

#include <delayimp.h>

#include "common/fixed_text.h"

namespace tessaly {

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD directoryFlags);

// Looked up, not imported: Windows 7 has it only with its loader update, which also brings the
// LOAD_LIBRARY_SEARCH_* flags of LoadLibraryExA.
SetDefaultDllDirectoriesFunction FindSetDefaultDllDirectories() {
    return reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
}

// Before loading a delay-loaded DLL, the MinGW runtime's helper asks this hook for the module.
// Should the system folder not have it, the helper loads the bare name itself: after
// RestrictDllSearch that searches the system folder only wherever SetDefaultDllDirectories
// exists; on a Windows 7 without it, side-by-side redirection comes first, and that is where
// gdiplus.dll lives there (in WinSxS, not in System32).
FARPROC WINAPI LoadDelayedDllFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary) {
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(LoadSystemLibrary(info->szDll)));
}

}  // namespace

void RestrictDllSearch() {
    if (const SetDefaultDllDirectoriesFunction setDefaultDllDirectories =
            FindSetDefaultDllDirectories()) {
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryA("");
}

HMODULE LoadSystemLibrary(const char* name) {
    if (FindSetDefaultDllDirectories() != nullptr) {
        return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // A full path is loaded from there and nowhere else.
    char path[MAX_PATH];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0) {
        return nullptr;
    }
    if (length >= sizeof path || !AppendText(path, "\\") || !AppendText(path, name)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return LoadLibraryA(path);
}

}  // namespace tessaly

// Read by the delay-load helper of the MinGW runtime (it is declared in delayimp.h).
PfnDliHook __pfnDliNotifyHook2 = tessaly::LoadDelayedDllFromSystemFolder;
