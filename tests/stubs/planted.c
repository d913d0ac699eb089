/* A DLL planted beside the installer under the name of one it loads (mscoree.dll, mfc140.dll), as
   a web page could drop one into a Downloads folder. Whatever loads it runs its start-up code,
   which leaves the file "<its own file name>.ran" beside it, so a test can tell that it ran. */
#include <windows.h>
#include <wchar.h>

static void LeaveRanMarker(HINSTANCE self) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length + wcslen(L".ran") >= MAX_PATH) {
        return;
    }
    wcscat(path, L".ran");
    HANDLE marker =
        CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) {
        CloseHandle(marker);
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        LeaveRanMarker(instance);
    }
    return TRUE;
}
