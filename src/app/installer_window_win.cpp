// The installer window's class and procedure. Creating the window starts everything else: GDI+,
// the splash picture, the animation timer and, last, the install worker.
#include "app/installer_window_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include "common/cp936_text_win.h"
#include "common/failure_report.h"
#include "common/scoped_win.h"
#include "install/install_notice.h"
#include "install/install_steps.h"
#include "install/install_worker_win.h"
#include "install/shared_status.h"
#include "ui/display_scale.h"
#include "ui/splash_image_win.h"
#include "ui/status_painter.h"

namespace tessaly {

namespace {

constexpr WORD LARGE_ICON_ID = 107;
constexpr WORD SMALL_ICON_ID = 108;
constexpr char NOTICE_CAPTION[] = "安装提示：";

LRESULT OnCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    InstallerState& state = State();

    Gdiplus::GdiplusStartupInput startupInput;  // version 1, no callback, nothing suppressed
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startupInput, nullptr);
    state.gdiplusToken = token;

    FitWindowToImage(window);
    SetTimer(window, ANIMATION_TIMER_ID, ANIMATION_PERIOD_MS, nullptr);

    // The worker relies on finding the window handle and the settled splash picture, so it
    // starts last. Nothing ever waits for it; its handle is not needed. Without it nothing would
    // ever replace the first status text: the install fails at its first step.
    state.mainWindow = window;
    const ScopedKernelHandle worker(CreateThread(nullptr, 0, InstallWorker, nullptr, 0, nullptr));
    if (!worker.IsValid()) {
        ReportError("start the install", "CreateThread", GetLastError());
        SetStatus(INSTALL_STEPS[0].failureText, 1);
    }
    return DefWindowProcW(window, WM_CREATE, wParam, lParam);
}

LRESULT OnDestroy() {
    const ULONG_PTR token = State().gdiplusToken;
    if (token != 0) {
        Gdiplus::GdiplusShutdown(token);
    }
    PostQuitMessage(0);
    return 0;
}

LRESULT OnPaint(HWND window) {
    const ScopedPaint paint(window);
    PaintStatus(paint.Get(), window);
    return 0;
}

LRESULT OnTimer(HWND window, WPARAM timerId, LPARAM lParam) {
    if (timerId != ANIMATION_TIMER_ID) {
        return DefWindowProcW(window, WM_TIMER, timerId, lParam);
    }
    State().tick += 1;
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}

// The window moved to a display of another DPI (or that display's scale changed): the system
// suggests the window's new place and size, scaled for that DPI. The painter scales the picture and
// the text from the window's DPI on the next paint.
LRESULT OnDpiChanged(HWND window, WPARAM dpis, LPARAM suggestedRect) {
    KeepAnnouncedDpi(LOWORD(dpis));
    const RECT& suggested = *reinterpret_cast<const RECT*>(suggestedRect);
    SetWindowPos(window, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}

// The worker waits inside its synchronous send until the box is closed, so the text stays valid.
LRESULT OnInstallNotice(HWND window, LPARAM noticeText) {
    MessageBoxW(window, AsWide(Cp936ToUtf16(reinterpret_cast<const char*>(noticeText))),
                AsWide(Cp936ToUtf16(NOTICE_CAPTION)), MB_OK);
    return 0;
}

}  // namespace

void RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(LARGE_ICON_ID));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(SMALL_ICON_ID));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = reinterpret_cast<const wchar_t*>(State().windowClassName);
    RegisterClassExW(&windowClass);
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window, wParam, lParam);
        case WM_DESTROY:
            return OnDestroy();
        case WM_PAINT:
            return OnPaint(window);
        case WM_ERASEBKGND:
            return 1;  // the picture covers the whole client area; erasing would only flicker
        case WM_TIMER:
            return OnTimer(window, wParam, lParam);
        case WM_INSTALL_NOTICE:
            return OnInstallNotice(window, lParam);
        case WM_DPICHANGED:
            return OnDpiChanged(window, wParam, lParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace tessaly
