/* A stand-in for the Visual C++ 2015 MFC runtime library: the Wine tests put it into the prefix's
   system folder, where the runtime's installer puts the real one, so that the runtime probe finds
   "mfc140.dll". It exports nothing. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
