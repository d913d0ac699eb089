// The process entry: loads the window's texts, creates the installer window and runs the message
// loop until the window is gone. The exit code is always 0.
#include <windows.h>

#include "app/installer_window_win.h"
#include "common/failure_report.h"
#include "common/failure_report_win.h"
#include "common/system_library_win.h"
#include "install/shared_status.h"
#include "ui/splash_image_win.h"

namespace {

constexpr UINT WINDOW_TITLE_ID = 103;
constexpr UINT WINDOW_CLASS_NAME_ID = 109;
// A title bar with the system menu and the close button; no sizing, no minimise or maximise.
constexpr DWORD WINDOW_STYLE = WS_CAPTION | WS_SYSMENU;

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    using namespace tessaly;
    // Before anything can load a DLL by name.
    RestrictDllSearch();
    SetFailureLineWriter(WriteDebugLine);
    InstallerState& state = State();
    KeepResourceModule(instance);
    // The string resources are UTF-16 already: read as they are, they show as written under any
    // ANSI code page.
    auto* title = reinterpret_cast<wchar_t*>(state.windowTitle);
    auto* className = reinterpret_cast<wchar_t*>(state.windowClassName);
    LoadStringW(instance, WINDOW_TITLE_ID, title, WINDOW_TEXT_CAPACITY);
    LoadStringW(instance, WINDOW_CLASS_NAME_ID, className, WINDOW_TEXT_CAPACITY);
    RegisterWindowClass(instance);

    // The position and size only last when there is no splash picture to fit the window to.
    HWND window = CreateWindowExW(0, className, title, WINDOW_STYLE, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 0;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
