/* A stand-in for the runtime loader "mscoree.dll" of a machine that has only .NET runtimes older
   than version 4: it exports GetCORVersion but not CLRCreateInstance. When it is loaded it leaves
   the file "mscoree.loaded" beside itself, so a test can tell it was this library that answered. */
#include <windows.h>
#include <wchar.h>

static void LeaveLoadedMarker(HINSTANCE self) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    wchar_t* name = wcsrchr(path, L'\\');
    if (name == NULL || (size_t)(name + 1 - path) + wcslen(L"mscoree.loaded") >= MAX_PATH) {
        return;
    }
    wcscpy(name + 1, L"mscoree.loaded");
    HANDLE marker =
        CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE) {
        CloseHandle(marker);
    }
}

__declspec(dllexport) HRESULT WINAPI GetCORVersion(LPWSTR buffer, DWORD size, DWORD* length) {
    static const wchar_t version[] = L"v2.0.50727";
    const DWORD needed = sizeof version / sizeof version[0];
    if (length != NULL) {
        *length = needed;
    }
    if (buffer == NULL || size < needed) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    wcscpy(buffer, version);
    return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        LeaveLoadedMarker(instance);
    }
    return TRUE;
}
