// Asking the window system which DPI the installer window is drawn at.
#include <windows.h>

#include "common/scoped_win.h"
#include "ui/display_scale_win.h"

namespace tessaly {

namespace {

// Windows 10 1607 and later; looked up at run time so that the program still starts on Windows 7.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

void ReleaseScreenDc(HDC dc) {
    ReleaseDC(nullptr, dc);
}

}  // namespace

std::int32_t WindowDpi(HWND window, std::int32_t announcedDpi) {
    static const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow != nullptr) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return static_cast<std::int32_t>(dpi);
        }
    }
    if (announcedDpi > 0) {
        return announcedDpi;
    }
    // Windows 7 and 8 scale every window of a DPI-aware program by the one system DPI.
    const ScopedHandle<HDC, ReleaseScreenDc> screen(GetDC(nullptr));
    const int dpi = screen.Get() != nullptr ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
    return dpi > 0 ? dpi : DEFAULT_DPI;
}

}  // namespace tessaly
