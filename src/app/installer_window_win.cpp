// The installer window's class and procedure. Creating the window starts everything else: GDI+,
// the splash picture, the animation timer and, last, the install worker.
#include "app/installer_window_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include "common/cp936_text_win.h"
#include "common/scoped_win.h"
#include "install/install_notice.h"
#include "install/install_steps.h"
#include "install/install_worker_win.h"
#include "ui/display_scale_win.h"
#include "ui/splash_image_win.h"
#include "ui/status_painter_win.h"

namespace tessaly {

namespace {

constexpr WORD LARGE_ICON_ID = 107;
constexpr WORD SMALL_ICON_ID = 108;

// The record the process entry handed to CreateWindowExW; null for the few messages that come
// before WM_NCCREATE.
InstallerWindowState* FindState(HWND window) {
    return reinterpret_cast<InstallerWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT OnNcCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, WM_NCCREATE, wParam, lParam);
}

LRESULT OnCreate(HWND window, InstallerWindowState& state, WPARAM wParam, LPARAM lParam) {
    Gdiplus::GdiplusStartupInput startupInput;  // version 1, no callback, nothing suppressed
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &startupInput, nullptr);
    state.gdiplusToken = token;

    state.splashImage = LoadSplashImage(state.resourceModule);
    FitWindowToImage(window, state.splashImage.get(), WindowDpi(window, state.announcedDpi));
    const StatusSnapshot opening = state.shared->ReadStatus();
    state.accessibleStatus.Attach(window, opening.text, opening.failed);
    SetTimer(window, ANIMATION_TIMER_ID, ANIMATION_PERIOD_MS, nullptr);

    // The worker relies on the window handle and the settled splash picture, so it starts last.
    // Without it nothing would ever replace the first status text: the install fails at its first
    // step.
    if (!StartInstallWorker(window, *state.shared)) {
        state.shared->SetStatus(INSTALL_STEPS[0].failureText, 1);
    }
    return DefWindowProcW(window, WM_CREATE, wParam, lParam);
}

LRESULT OnDestroy(InstallerWindowState& state) {
    state.accessibleStatus.Detach();
    // The picture's bitmaps are GDI+ objects: they must go while GDI+ still runs.
    state.splashImage.reset();
    if (state.gdiplusToken != 0) {
        Gdiplus::GdiplusShutdown(state.gdiplusToken);
    }
    PostQuitMessage(0);
    return 0;
}

LRESULT OnPaint(HWND window, const InstallerWindowState& state) {
    const ScopedPaint paint(window);
    // One copy of what the worker published, so the colour and the text agree.
    const StatusSnapshot status = state.shared->ReadStatus();
    PaintStatus(paint.Get(), window, state.splashImage.get(),
                {status.text, status.failed, state.tick, WindowDpi(window, state.announcedDpi)});
    return 0;
}

LRESULT OnTimer(HWND window, InstallerWindowState& state, WPARAM timerId, LPARAM lParam) {
    if (timerId != ANIMATION_TIMER_ID) {
        return DefWindowProcW(window, WM_TIMER, timerId, lParam);
    }
    state.tick += 1;
    InvalidateRect(window, nullptr, FALSE);
    const StatusSnapshot status = state.shared->ReadStatus();
    state.accessibleStatus.Announce(window, status.text, status.failed);
    return 0;
}

// The window moved to a display of another DPI (or that display's scale changed): the system
// suggests the window's new place and size, scaled for that DPI. The painter scales the picture and
// the text from the window's DPI on the next paint.
LRESULT OnDpiChanged(HWND window, InstallerWindowState& state, WPARAM dpis, LPARAM suggestedRect) {
    state.announcedDpi = LOWORD(dpis);
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

void RegisterWindowClass(HINSTANCE instance, const wchar_t* className) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(LARGE_ICON_ID));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(SMALL_ICON_ID));
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    RegisterClassExW(&windowClass);
}

LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        return OnNcCreate(window, wParam, lParam);
    }
    InstallerWindowState* state = FindState(window);
    if (state == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            return OnCreate(window, *state, wParam, lParam);
        case WM_DESTROY:
            return OnDestroy(*state);
        case WM_PAINT:
            return OnPaint(window, *state);
        case WM_ERASEBKGND:
            return 1;  // the picture covers the whole client area; erasing would only flicker
        case WM_TIMER:
            return OnTimer(window, *state, wParam, lParam);
        case WM_INSTALL_NOTICE:
            return OnInstallNotice(window, lParam);
        case WM_DPICHANGED:
            return OnDpiChanged(window, *state, wParam, lParam);
        case WM_GETOBJECT:
            return state->accessibleStatus.AnswerGetObject(window, wParam, lParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace tessaly
