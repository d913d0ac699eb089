// DLLs from the system folder only. The installer runs with administrator rights and is usually
// started from a Downloads folder, where a web page can drop files unasked: a DLL found there, in
// the current directory or on PATH must never be loaded in its place.
#pragma once

#include <windows.h>

namespace tessaly {

// Restricts every later search for a DLL by name, the platform's own (GDI+, WinINet, COM, the
// shell) included, to the system folder where the system can (SetDefaultDllDirectories: Windows 8,
// and Windows 7 with its loader update), and takes the current directory out of it everywhere.
// Called first thing in the process.
void RestrictDllSearch();

// Loads `name` (a file name such as "mscoree.dll") from the system folder only, the one
// GetSystemDirectoryA names (SysWOW64, for this 32-bit program on 64-bit Windows). Null when it
// cannot be loaded from there; GetLastError says why.
HMODULE LoadSystemLibrary(const char* name);

}  // namespace tessaly
